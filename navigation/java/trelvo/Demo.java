package trelvo;

import java.awt.image.BufferedImage;
import java.io.File;
import java.io.IOException;
import java.util.ArrayList;
import java.util.List;
import javax.imageio.ImageIO;

/**
 * Command-line front end of the navigation library.
 *
 * <pre>
 * java -Dtrelvo.library=/path/libtrelvo.so -jar trelvo.jar [options] [goalX,goalY ...]
 *   --start X,Y     robot start position on the map, millimetres (default 15000,15000)
 *   --map FILE      map to start from (default: a new, unexplored map)
 *   --save FILE     save the map here after the moves
 *   --png FILE      write the map image here as a PNG after the moves
 *   --say TEXT      have the robot say TEXT after starting
 * </pre>
 *
 * Goals are grid cells of 100 mm. Exit status: 0 when every move arrived, 1 when one did not,
 * 2 for a usage error or a failed start.
 */
public final class Demo {
    private static final int SIZE = 300;

    private int startX = 15000;
    private int startY = 15000;
    private String mapFile = "";
    private String saveFile;
    private String pngFile;
    private String sayText;
    private final List<int[]> goals = new ArrayList<>();

    private Demo() {}

    public static void main(String[] args) {
        Demo demo = new Demo();
        if (!demo.parse(args)) {
            System.err.println(
                    "usage: Demo [--start X,Y] [--map FILE] [--save FILE] [--png FILE]"
                            + " [--say TEXT] [goalX,goalY ...]");
            System.exit(2);
        }
        System.exit(demo.run());
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
                if (a.equals("--start") && hasValue) {
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
        for (int[] g : goals) {
            boolean arrived = rovak.moveRovak(g[0], g[1]);
            System.out.println("Demo: move " + g[0] + "," + g[1] + " " + arrived);
            report(rovak);
            allArrived &= arrived;
        }
        if (saveFile != null) {
            rovak.saveMap(saveFile);
            System.out.println("Demo: map saved to " + saveFile);
        }
        if (pngFile != null && !writePng(rovak.getMap(), pngFile)) {
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

    private static boolean writePng(int[] pixels, String file) {
        if (pixels == null || pixels.length != SIZE * SIZE) {
            System.out.println("Demo: no map image");
            return false;
        }
        BufferedImage image = new BufferedImage(SIZE, SIZE, BufferedImage.TYPE_INT_ARGB);
        image.setRGB(0, 0, SIZE, SIZE, pixels, 0, SIZE);
        try {
            ImageIO.write(image, "png", new File(file));
        } catch (IOException e) {
            System.out.println("Demo: cannot write " + file + ": " + e.getMessage());
            return false;
        }
        System.out.println("Demo: image written to " + file);
        return true;
    }
}
