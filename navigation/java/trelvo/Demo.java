package trelvo;

import java.io.File;
import java.io.IOException;
import java.util.ArrayList;
import java.util.List;

/**
 * Command-line front end of the navigation library.
 *
 * <pre>
 * java -Dtrelvo.library=/path/libtrelvo.so -jar trelvo.jar [options] [goalX,goalY ...]
 * </pre>
 *
 * See {@link #HELP} for the options. Goals are grid cells of 100 mm; the start is in
 * millimetres. Exit status: 0 when every move arrived (and for --help), 1 when one did not, 2
 * for a usage error or a failed start.
 */
public final class Demo {
    private static final String OPTIONS =
            "[--start X,Y] [--map FILE] [--save FILE] [--png FILE] [--say TEXT] [goalX,goalY ...]";
    /** The help text after its usage line. */
    private static final String HELP = String.join("\n",
            "Starts the navigator of libtrelvo, drives the robot to each goal in turn, then saves",
            "the map and writes its picture.",
            "",
            "  goalX,goalY   a goal as a grid CELL: 0 to 299 each; a cell is 100 mm square, so",
            "                cell = millimetres / 100 (170,150 lies 2 m right of 150,150)",
            "  --start X,Y   the robot's start position on the map in MILLIMETRES",
            "                (default 15000,15000: cell 150,150, the middle of the 30 m map)",
            "  --map FILE    map file to start from (default: a new, unexplored map)",
            "  --save FILE   save the map here after the moves",
            "  --png FILE    write a picture here after the moves: the map at 3 pixels per",
            "                cell, the route planned for each move, the goals, the robot's",
            "                position and heading, and a key to the colours",
            "  --say TEXT    have the robot say TEXT after starting",
            "  --help        this text",
            "",
            "The library is loaded from the file named by -Dtrelvo.library=PATH (given before",
            "-jar or the class), else from java.library.path. The robot is reached through the",
            "scheduler at $ROVAK_SCHEDULER_HOST:$ROVAK_SCHEDULER_PORT (default localhost:7073).",
            "",
            "Exit status: 0 when every move arrived, 1 when one did not (or the picture could",
            "not be written), 2 for a usage error or a failed start.",
            "");

    private int startX = 15000;
    private int startY = 15000;
    private String mapFile = "";
    private String saveFile;
    private String pngFile;
    private String sayText;
    private final List<int[]> goals = new ArrayList<>();
    private boolean help;

    private Demo() {}

    public static void main(String[] args) {
        Demo demo = new Demo();
        if (!demo.parse(args)) {
            System.err.println("usage: " + commandName() + " " + OPTIONS);
            System.err.println("(" + commandName() + " --help tells more)");
            System.exit(2);
        }
        if (demo.help) {
            System.out.print("usage: " + commandName() + " " + OPTIONS + "\n" + HELP);
            System.out.flush();
            System.exit(0);
        }
        System.exit(demo.run());
    }

    /**
     * How this program was started, for the usage line: "java -jar" and the jar as it was named
     * when run with -jar, "java trelvo.Demo" when run by its class name.
     */
    static String commandName() {
        String command = System.getProperty("sun.java.command", "");
        String first = command.trim().split("\\s+", 2)[0];
        if (first.endsWith(".jar")) {
            return "java -jar " + first;
        }
        return "java " + Demo.class.getName();
    }

    private static int[] pair(String text) {
        String[] parts = text.split(",");
        if (parts.length != 2) {
            throw new NumberFormatException(text);
        }
        return new int[] {Integer.parseInt(parts[0].trim()), Integer.parseInt(parts[1].trim())};
    }

    private boolean parse(String[] args) {
        try {
            for (int i = 0; i < args.length; i++) {
                String a = args[i];
                boolean hasValue = i + 1 < args.length;
                if (a.equals("--help") || a.equals("-h")) {
                    help = true;
                } else if (a.equals("--start") && hasValue) {
                    int[] p = pair(args[++i]);
                    startX = p[0];
                    startY = p[1];
                } else if (a.equals("--map") && hasValue) {
                    mapFile = args[++i];
                } else if (a.equals("--save") && hasValue) {
                    saveFile = args[++i];
                } else if (a.equals("--png") && hasValue) {
                    pngFile = args[++i];
                } else if (a.equals("--say") && hasValue) {
                    sayText = args[++i];
                } else if (a.startsWith("--")) {
                    return false;
                } else {
                    goals.add(pair(a));
                }
            }
        } catch (NumberFormatException e) {
            return false;
        }
        return true;
    }

    private int run() {
        ConectorJNI rovak = new ConectorJNI();
        if (!rovak.startRovak(startX, startY, mapFile)) {
            System.out.println("Demo: start failed");
            return 2;
        }
        report(rovak);
        if (sayText != null) {
            System.out.println("Demo: speak " + rovak.textToSpeech(sayText));
        }
        boolean allArrived = true;
        List<int[]> routes = new ArrayList<>();
        for (int[] g : goals) {
            boolean arrived = rovak.moveRovak(g[0], g[1]);
            System.out.println("Demo: move " + g[0] + "," + g[1] + " " + arrived);
            int[] route = rovak.getRoute();
            routes.add(route);
            System.out.println("Demo: route" + cells(route));
            report(rovak);
            allArrived &= arrived;
        }
        if (saveFile != null) {
            rovak.saveMap(saveFile);
            System.out.println("Demo: map saved to " + saveFile);
        }
        if (pngFile != null && !writePng(rovak, routes)) {
            allArrived = false;
        }
        rovak.finishRovak();
        System.out.println("Demo: finished");
        return allArrived ? 0 : 1;
    }

    private static void report(ConectorJNI rovak) {
        float[] b = rovak.getBatteryStatus();
        float[] p = rovak.getPosition();
        if (b != null) {
            System.out.printf("Demo: battery %.0f %.0f %.0f %.0f%n", b[0], b[1], b[2], b[3]);
        }
        if (p != null) {
            System.out.printf("Demo: position %.0f %.0f %.0f%n", p[0], p[1], p[2]);
        }
    }

    /** " x,y x,y ..." for a route of cell pairs; " none" for none. */
    private static String cells(int[] route) {
        if (route == null || route.length < 2) {
            return " none";
        }
        StringBuilder text = new StringBuilder();
        for (int i = 0; i + 1 < route.length; i += 2) {
            text.append(' ').append(route[i]).append(',').append(route[i + 1]);
        }
        return text.toString();
    }

    /** The picture of the map with the goals, their routes and the pose where the robot ended. */
    private boolean writePng(ConectorJNI rovak, List<int[]> routes) {
        int[] pixels = rovak.getMap();
        if (pixels == null || pixels.length != MapPicture.CELLS * MapPicture.CELLS) {
            System.out.println("Demo: no map image");
            return false;
        }
        MapPicture picture = new MapPicture(pixels);
        for (int i = 0; i < goals.size(); i++) {
            picture.addMove(goals.get(i)[0], goals.get(i)[1], routes.get(i));
        }
        picture.setPose(rovak.getPosition());
        try {
            picture.write(new File(pngFile));
        } catch (IOException e) {
            System.out.println("Demo: cannot write " + pngFile + ": " + e.getMessage());
            return false;
        }
        System.out.println("Demo: image written to " + pngFile + " (" + MapPicture.WIDTH + " x "
                + MapPicture.HEIGHT + " pixels, " + MapPicture.SCALE + " per cell)");
        return true;
    }
}
