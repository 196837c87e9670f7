import java.awt.image.BufferedImage;
import java.io.File;
import java.io.IOException;
import java.util.Arrays;
import javax.imageio.ImageIO;
import trelvo.MapPicture;

/**
 * Checks the navigation picture. Without arguments it draws pictures of made-up maps, routes and
 * poses and checks their pixels. With a PNG file and expectations it reads the file back and
 * checks the colour at each place: "NAME:cell:X,Y" at the centre of cell (X, Y) (fractions
 * allowed, for points between two cell centres) or "NAME:mm:X,Y" at a map position in
 * millimetres, NAME one of route, pose, free, obstacle, unexplored. Prints one line per check and
 * exits 0 when all passed.
 *
 * <p>The expected places follow the picture's stated layout, worked out here on their own: 3
 * pixels per cell, grid row 299 at the top, the map in the top-left 900 x 900 pixels.
 */
public final class PictureCheck {
    private static final int ROUTE = 0xFF8000;
    private static final int POSE = 0x00B4FF;
    private static final int FREE = 0xFFFFFF;
    private static final int OBSTACLE = 0x000000;
    private static final int UNEXPLORED = 0x808080;
    private static final int BAND = 0x00FF00;
    private static final int ROBOT = 0x0000FF;

    private static int failures = 0;

    private static void check(String what, boolean ok) {
        System.out.println("check " + what + " " + (ok ? "ok" : "FAILED"));
        if (!ok) {
            failures++;
        }
    }

    private static int rgb(BufferedImage image, int x, int y) {
        return image.getRGB(x, y) & 0xFFFFFF;
    }

    /** The pixel holding the centre of cell (x, y). */
    private static int[] cellPixel(double x, double y) {
        return new int[] {(int) Math.floor(3 * x + 1.5), (int) Math.floor(3 * (299 - y) + 1.5)};
    }

    private static int[] mmPixel(double x, double y) {
        return new int[] {(int) Math.floor(x * 0.03), (int) Math.floor(900 - y * 0.03)};
    }

    private static void expect(BufferedImage image, String what, int[] at, int colour) {
        int got = rgb(image, at[0], at[1]);
        check(what + " at pixel " + at[0] + "," + at[1] + " is " + Integer.toHexString(colour)
                        + " (got " + Integer.toHexString(got) + ")",
                got == colour);
    }

    /** Every pixel of the cell's 3 x 3 block has the colour. */
    private static void expectCell(BufferedImage image, String what, int cx, int cy, int colour) {
        boolean all = true;
        for (int dx = 0; dx < 3; dx++) {
            for (int dy = 0; dy < 3; dy++) {
                all &= rgb(image, 3 * cx + dx, 3 * (299 - cy) + dy) == colour;
            }
        }
        check(what + " fills cell " + cx + "," + cy, all);
    }

    /** A map image: unexplored, a free square from cell 100 to 199, and a few marked cells. */
    private static int[] madeUpMap() {
        int[] map = new int[300 * 300];
        Arrays.fill(map, 0xFF000000 | UNEXPLORED);
        for (int y = 100; y < 200; y++) {
            for (int x = 100; x < 200; x++) {
                map[(299 - y) * 300 + x] = 0xFF000000 | FREE;
            }
        }
        map[(299 - 190) * 300 + 120] = 0xFF000000 | OBSTACLE;
        map[(299 - 190) * 300 + 121] = 0xFF000000 | BAND;
        map[(299 - 190) * 300 + 122] = 0xFF000000 | ROBOT;
        return map;
    }

    private static BufferedImage draw(float x, float y, float heading) {
        MapPicture picture = new MapPicture(madeUpMap());
        picture.setPose(new float[] {x, y, heading});
        return picture.render();
    }

    private static boolean anyInKey(BufferedImage image, int colour) {
        for (int y = 0; y < image.getHeight(); y++) {
            for (int x = 900; x < image.getWidth(); x++) {
                if (rgb(image, x, y) == colour) {
                    return true;
                }
            }
        }
        return false;
    }

    private static boolean anyInMap(BufferedImage image, int colour) {
        for (int y = 0; y < 900; y++) {
            for (int x = 0; x < 900; x++) {
                if (rgb(image, x, y) == colour) {
                    return true;
                }
            }
        }
        return false;
    }

    private static void madeUp(File dir) throws IOException {
        MapPicture picture = new MapPicture(madeUpMap());
        // An L-shaped route and then a slanting one; a third move planned none.
        picture.addMove(180, 110, new int[] {110, 110, 110, 150, 180, 150, 180, 110});
        picture.addMove(150, 120, new int[] {180, 110, 150, 120});
        picture.addMove(10, 10, new int[0]);
        picture.setPose(new float[] {15050, 12050, 3142}); // facing -x
        BufferedImage image = picture.render();
        check("size", image.getWidth() == 1200 && image.getHeight() == 924);

        expectCell(image, "unexplored", 50, 50, UNEXPLORED);
        expectCell(image, "free", 190, 190, FREE);
        expectCell(image, "obstacle", 120, 190, OBSTACLE);
        expectCell(image, "band", 121, 190, BAND);
        expectCell(image, "robot's cells", 122, 190, ROBOT);
        expectCell(image, "top row", 0, 299, UNEXPLORED);

        expect(image, "route start", cellPixel(110, 110), ROUTE);
        expect(image, "route going up", cellPixel(110, 130), ROUTE);
        expect(image, "route going right", cellPixel(145, 150), ROUTE);
        expect(image, "route going down", cellPixel(180, 125), ROUTE);
        expect(image, "slanting route", cellPixel(165, 115), ROUTE);
        expect(image, "off the routes", cellPixel(145, 130), FREE);
        expect(image, "beside a route", cellPixel(112, 130), FREE);
        expect(image, "goal ring", new int[] {cellPixel(150, 120)[0] + 7,
                cellPixel(150, 120)[1]}, ROUTE);
        expect(image, "goal of a move without a route", new int[] {cellPixel(10, 10)[0],
                cellPixel(10, 10)[1] - 7}, ROUTE);

        expect(image, "robot's centre", mmPixel(15050, 12050), POSE);
        expect(image, "robot's heading", mmPixel(15050 - 550, 12050), POSE);
        expect(image, "behind the robot", mmPixel(15050 + 550, 12050), FREE);

        for (int colour : new int[] {UNEXPLORED, FREE, BAND, OBSTACLE, ROBOT, ROUTE, POSE}) {
            check("key shows " + Integer.toHexString(colour), anyInKey(image, colour));
        }

        File png = new File(dir, "picture.png");
        picture.write(png);
        BufferedImage back = ImageIO.read(png);
        boolean same = back != null && back.getWidth() == 1200 && back.getHeight() == 924;
        for (int y = 0; same && y < 924; y++) {
            for (int x = 0; same && x < 1200; x++) {
                same = rgb(back, x, y) == rgb(image, x, y);
            }
        }
        check("PNG reads back the same", same);
    }

    /** The heading drawn for every quarter, a slant and many whole turns. */
    private static void headings() {
        double[][] cases = { // heading in mrad, then the unit step it points along (x, y up)
            {0, 1, 0}, {1571, 0, 1}, {3142, -1, 0}, {4712, 0, -1}, {-785, 0.7071, -0.7071},
            {1000 * 2 * Math.PI * 1000 + 1571, 0, 1}};
        for (double[] c : cases) {
            BufferedImage image = draw(15050, 15050, (float) c[0]);
            expect(image, "heading " + c[0] + " ahead", mmPixel(15050 + 550 * c[1],
                    15050 + 550 * c[2]), POSE);
            expect(image, "heading " + c[0] + " behind", mmPixel(15050 - 550 * c[1],
                    15050 - 550 * c[2]), FREE);
        }
    }

    private static void refusals() {
        boolean refused = false;
        try {
            new MapPicture(new int[299 * 300]);
        } catch (IllegalArgumentException e) {
            refused = true;
        }
        check("a map of the wrong size is refused", refused);
        BufferedImage off = draw(-5000, 50000, 0);
        check("a robot off the map is not drawn on it", !anyInMap(off, POSE));
        MapPicture none = new MapPicture(madeUpMap());
        none.setPose(null);
        check("no pose, no robot", !anyInMap(none.render(), POSE));
    }

    private static int colourNamed(String name) {
        return switch (name) {
            case "route" -> ROUTE;
            case "pose" -> POSE;
            case "free" -> FREE;
            case "obstacle" -> OBSTACLE;
            case "unexplored" -> UNEXPLORED;
            default -> throw new IllegalArgumentException("no colour " + name);
        };
    }

    private static void file(String path, String[] expectations) throws IOException {
        BufferedImage image = ImageIO.read(new File(path));
        check("readable", image != null);
        if (image == null) {
            return;
        }
        check("size " + image.getWidth() + " x " + image.getHeight(),
                image.getWidth() == 1200 && image.getHeight() == 924);
        for (String e : expectations) {
            String[] parts = e.split(":");
            String[] xy = parts[2].split(",");
            double x = Double.parseDouble(xy[0]);
            double y = Double.parseDouble(xy[1]);
            int[] at = parts[1].equals("mm") ? mmPixel(x, y) : cellPixel(x, y);
            expect(image, e, at, colourNamed(parts[0]));
        }
    }

    public static void main(String[] args) throws IOException {
        if (args.length == 0) {
            madeUp(new File("."));
            headings();
            refusals();
        } else {
            file(args[0], Arrays.copyOfRange(args, 1, args.length));
        }
        System.exit(failures == 0 ? 0 : 1);
    }
}
