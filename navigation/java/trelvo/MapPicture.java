package trelvo;

import java.awt.BasicStroke;
import java.awt.Color;
import java.awt.Font;
import java.awt.Graphics2D;
import java.awt.RenderingHints;
import java.awt.geom.Ellipse2D;
import java.awt.geom.Line2D;
import java.awt.geom.Path2D;
import java.awt.image.BufferedImage;
import java.io.File;
import java.io.IOException;
import java.util.ArrayList;
import java.util.List;
import java.util.Locale;
import javax.imageio.ImageIO;

/**
 * The picture of the navigation map: the map image of libtrelvo drawn {@link #SCALE} pixels per
 * grid cell, with the routes planned for the moves and the robot's pose over it, and a key.
 *
 * <p>Layout: the map fills the top-left {@link #MAP_PIXELS} square, grid row 299 at the top, so
 * cell (x, y) covers the pixels x * SCALE to x * SCALE + SCALE - 1 across and (299 - y) * SCALE
 * to (299 - y) * SCALE + SCALE - 1 down. Below it runs a strip with the cell numbers along x; to
 * its right stand the cell numbers along y and the key.
 */
public final class MapPicture {
    /** Cells per side of the grid. */
    public static final int CELLS = 300;
    /** Millimetres per cell. */
    public static final int CELL_MM = 100;
    /** Pixels per cell, across and down. */
    public static final int SCALE = 3;
    /** Side of the map's square of pixels. */
    public static final int MAP_PIXELS = CELLS * SCALE;
    /** Width of the column of y numbers and the key, right of the map. */
    public static final int KEY_WIDTH = 300;
    /** Height of the strip of x numbers below the map. */
    public static final int STRIP = 24;
    /** Size of the whole picture. */
    public static final int WIDTH = MAP_PIXELS + KEY_WIDTH;
    public static final int HEIGHT = MAP_PIXELS + STRIP;

    /** Colours of the map image as the library paints it (opaque RGB). */
    public static final int UNEXPLORED = 0xFF808080;
    public static final int FREE = 0xFFFFFFFF;
    public static final int BAND = 0xFF00FF00;
    public static final int OBSTACLE = 0xFF000000;
    public static final int ROBOT_CELLS = 0xFF0000FF;
    /** Colour of the routes and the goal rings drawn over the map. */
    public static final int ROUTE = 0xFFFF8000;
    /** Colour of the robot's body and heading drawn over the map. */
    public static final int POSE = 0xFF00B4FF;

    private static final int BODY_MM = 300; // radius of the robot's round body
    private static final int HEADING_MM = 700; // length of the heading line from the centre
    private static final int LABEL_COLUMN = 36; // width of the y numbers' column
    private static final Color INK = new Color(0x202020);
    private static final Color OUTLINE = new Color(0x003060);

    /** One move: the goal cell and the route planned for it (x, y pairs; maybe none). */
    private record Move(int goalX, int goalY, int[] route) {}

    private final int[] map;
    private final List<Move> moves = new ArrayList<>();
    private float[] pose;

    /**
     * A picture of map: the library's image, CELLS rows of CELLS ARGB pixels, top row first.
     *
     * @throws IllegalArgumentException when map is null or of another size
     */
    public MapPicture(int[] map) {
        if (map == null || map.length != CELLS * CELLS) {
            throw new IllegalArgumentException("a map image holds " + CELLS * CELLS + " pixels");
        }
        this.map = map.clone();
    }

    /**
     * Adds one move: its goal cell, ringed, and its route, x and y pairs of cells from the start
     * to the goal. A null or empty route (a move that planned none) draws the goal alone.
     */
    public void addMove(int goalX, int goalY, int[] route) {
        int pairs = route == null ? 0 : route.length / 2;
        moves.add(new Move(goalX, goalY, pairs == 0 ? new int[0]
                : java.util.Arrays.copyOf(route, 2 * pairs)));
    }

    /** Sets the robot's pose: x and y in millimetres, heading in thousandths of a radian. */
    public void setPose(float[] xyHeading) {
        pose = xyHeading == null || xyHeading.length < 3 ? null : xyHeading.clone();
    }

    /** The picture, WIDTH x HEIGHT opaque pixels. */
    public BufferedImage render() {
        BufferedImage image = new BufferedImage(WIDTH, HEIGHT, BufferedImage.TYPE_INT_RGB);
        Graphics2D g = image.createGraphics();
        try {
            g.setColor(Color.WHITE);
            g.fillRect(0, 0, WIDTH, HEIGHT);
            drawCells(image);
            g.setRenderingHint(RenderingHints.KEY_ANTIALIASING, RenderingHints.VALUE_ANTIALIAS_ON);
            g.setRenderingHint(
                    RenderingHints.KEY_TEXT_ANTIALIASING, RenderingHints.VALUE_TEXT_ANTIALIAS_ON);
            g.setClip(0, 0, MAP_PIXELS, MAP_PIXELS);
            for (Move m : moves) {
                drawRoute(g, m.route());
            }
            if (pose != null) {
                drawPose(g, pose[0] / CELL_MM * SCALE, MAP_PIXELS - pose[1] / CELL_MM * SCALE,
                        pose[2] / 1000.0, (double) BODY_MM / CELL_MM * SCALE,
                        (double) HEADING_MM / CELL_MM * SCALE);
            }
            for (Move m : moves) { // over the robot, so that a goal reached stays marked
                drawGoal(g, m.goalX(), m.goalY());
            }
            g.setClip(null);
            drawScales(g);
            drawKey(g, MAP_PIXELS + LABEL_COLUMN + 4, 8);
        } finally {
            g.dispose();
        }
        return image;
    }

    /** Writes the picture to file as a PNG. */
    public void write(File file) throws IOException {
        if (!ImageIO.write(render(), "png", file)) {
            throw new IOException("no PNG writer in this Java");
        }
    }

    /** Pixel coordinates of the centre of cell (x, y). */
    private static double centreX(double x) {
        return x * SCALE + SCALE / 2.0;
    }

    private static double centreY(double y) {
        return (CELLS - 1 - y) * SCALE + SCALE / 2.0;
    }

    private void drawCells(BufferedImage image) {
        int[] row = new int[MAP_PIXELS];
        for (int r = 0; r < CELLS; r++) {
            for (int c = 0; c < CELLS; c++) {
                int argb = map[r * CELLS + c];
                for (int k = 0; k < SCALE; k++) {
                    row[c * SCALE + k] = argb;
                }
            }
            for (int k = 0; k < SCALE; k++) {
                image.setRGB(0, r * SCALE + k, MAP_PIXELS, 1, row, 0, MAP_PIXELS);
            }
        }
    }

    /** The route as a line through the centres of its cells, a dot where it turns. */
    private static void drawRoute(Graphics2D g, int[] cells) {
        if (cells.length == 0) {
            return;
        }
        g.setColor(new Color(ROUTE, true));
        g.setStroke(new BasicStroke(3f, BasicStroke.CAP_ROUND, BasicStroke.JOIN_ROUND));
        Path2D.Double line = new Path2D.Double();
        line.moveTo(centreX(cells[0]), centreY(cells[1]));
        for (int i = 2; i + 1 < cells.length; i += 2) {
            line.lineTo(centreX(cells[i]), centreY(cells[i + 1]));
        }
        g.draw(line);
        for (int i = 2; i < cells.length - 2; i += 2) {
            g.fill(circle(centreX(cells[i]), centreY(cells[i + 1]), 3));
        }
    }

    /** A ring round the goal cell and its numbers beside it. */
    private static void drawGoal(Graphics2D g, int x, int y) {
        g.setColor(new Color(ROUTE, true));
        g.setStroke(new BasicStroke(2f));
        g.draw(circle(centreX(x), centreY(y), 7));
        g.setColor(INK);
        g.setFont(new Font(Font.SANS_SERIF, Font.PLAIN, 11));
        g.drawString("(" + x + "," + y + ")", (float) centreX(x) + 9, (float) centreY(y) - 8);
    }

    /**
     * The body as a disc of radius body and the heading as a line of length reach with an arrow
     * head, centred at pixel (x, y); heading in radians, counter-clockwise from +x.
     */
    private static void drawPose(Graphics2D g, double x, double y, double heading, double body,
            double reach) {
        double cos = Math.cos(heading);
        double sin = -Math.sin(heading); // the picture's y grows downwards
        g.setColor(new Color(POSE, true));
        g.fill(circle(x, y, body));
        g.setStroke(new BasicStroke(3f, BasicStroke.CAP_BUTT, BasicStroke.JOIN_MITER));
        double tipX = x + cos * reach;
        double tipY = y + sin * reach;
        g.draw(new Line2D.Double(x, y, tipX - cos * 4, tipY - sin * 4));
        Path2D.Double head = new Path2D.Double();
        head.moveTo(tipX, tipY);
        head.lineTo(tipX - cos * 8 - sin * 5, tipY - sin * 8 + cos * 5);
        head.lineTo(tipX - cos * 8 + sin * 5, tipY - sin * 8 - cos * 5);
        head.closePath();
        g.fill(head);
        g.setColor(OUTLINE);
        g.setStroke(new BasicStroke(1f));
        g.draw(circle(x, y, body));
    }

    private static Ellipse2D circle(double x, double y, double r) {
        return new Ellipse2D.Double(x - r, y - r, 2 * r, 2 * r);
    }

    /** Ticks every 10 cells (1 m) and numbers every 50 cells along both edges of the map. */
    private static void drawScales(Graphics2D g) {
        g.setColor(INK);
        g.setStroke(new BasicStroke(1f));
        g.setFont(new Font(Font.SANS_SERIF, Font.PLAIN, 11));
        for (int cell = 0; cell <= CELLS; cell += 10) {
            int at = cell * SCALE;
            int length = cell % 50 == 0 ? 6 : 3;
            g.drawLine(Math.min(at, MAP_PIXELS - 1), MAP_PIXELS,
                    Math.min(at, MAP_PIXELS - 1), MAP_PIXELS + length);
            int down = MAP_PIXELS - at;
            g.drawLine(MAP_PIXELS, Math.max(down, 0), MAP_PIXELS + length, Math.max(down, 0));
            if (cell % 50 == 0) {
                String text = Integer.toString(cell);
                int w = g.getFontMetrics().stringWidth(text);
                int x = Math.max(0, Math.min(at - w / 2, MAP_PIXELS - w));
                g.drawString(text, x, MAP_PIXELS + 19);
                g.drawString(text, MAP_PIXELS + 8, Math.max(11, Math.min(down + 4, MAP_PIXELS)));
            }
        }
    }

    private void drawKey(Graphics2D g, int left, int top) {
        int y = top + 14;
        g.setColor(INK);
        g.setFont(new Font(Font.SANS_SERIF, Font.BOLD, 14));
        g.drawString("Navigation map", left, y);
        g.setFont(new Font(Font.SANS_SERIF, Font.PLAIN, 12));
        y += 18;
        g.drawString(CELLS + " x " + CELLS + " cells of " + CELL_MM + " mm, " + SCALE
                + " px per cell", left, y);
        y += 15;
        g.drawString("numbers are cells: x right, y up", left, y);
        y += 22;
        y = swatch(g, left, y, UNEXPLORED, "unexplored");
        y = swatch(g, left, y, FREE, "free");
        y = swatch(g, left, y, BAND, "uncertain band (in front of an echo)");
        y = swatch(g, left, y, OBSTACLE, "obstacle");
        y = swatch(g, left, y, ROBOT_CELLS, "robot's footprint on the map");
        g.setColor(new Color(ROUTE, true));
        g.setStroke(new BasicStroke(3f, BasicStroke.CAP_ROUND, BasicStroke.JOIN_ROUND));
        g.drawLine(left + 1, y - 5, left + 15, y - 5);
        g.setColor(INK);
        g.drawString("route planned for a move", left + 24, y);
        y += 20;
        g.setColor(new Color(ROUTE, true));
        g.setStroke(new BasicStroke(2f));
        g.draw(circle(left + 8, y - 5, 6));
        g.setColor(INK);
        g.drawString("goal of a move (its cell)", left + 24, y);
        y += 20;
        drawPose(g, left + 7, y - 5, 0, 5, 13);
        g.setColor(INK);
        g.drawString("robot now; line = heading", left + 24, y);
        y += 18;
        g.setFont(new Font(Font.SANS_SERIF, Font.PLAIN, 11));
        g.drawString("from a loaded map file: 1 to 7 red shades,", left, y);
        y += 14;
        g.drawString("10 magenta", left, y);
        y += 24;
        y = scaleBar(g, left, y);
        if (pose != null) {
            g.setFont(new Font(Font.SANS_SERIF, Font.PLAIN, 12));
            y += 8;
            g.drawString(String.format(Locale.ROOT, "robot at x %.0f mm, y %.0f mm", pose[0],
                    pose[1]), left, y);
            y += 15;
            g.drawString(String.format(Locale.ROOT, "cell (%d,%d), heading %.0f degrees",
                    (int) Math.floor(pose[0] / CELL_MM), (int) Math.floor(pose[1] / CELL_MM),
                    Math.toDegrees(Math.IEEEremainder(pose[2] / 1000.0, 2 * Math.PI))),
                    left, y);
        }
    }

    /** A square of colour with a thin border and its label; the next line's baseline. */
    private static int swatch(Graphics2D g, int left, int y, int argb, String label) {
        g.setColor(new Color(argb, true));
        g.fillRect(left + 1, y - 11, 14, 14);
        g.setColor(INK);
        g.setStroke(new BasicStroke(1f));
        g.drawRect(left + 1, y - 11, 14, 14);
        g.drawString(label, left + 24, y);
        return y + 20;
    }

    /** Bars of 1 m and 5 m at the picture's scale; the next line's baseline. */
    private static int scaleBar(Graphics2D g, int left, int y) {
        g.setColor(INK);
        g.setStroke(new BasicStroke(1f));
        int oneMetre = 1000 / CELL_MM * SCALE;
        for (int metres : new int[] {1, 5}) {
            int length = metres * oneMetre;
            g.fillRect(left + 1, y - 6, length, 3);
            g.drawLine(left + 1, y - 9, left + 1, y);
            g.drawLine(left + length, y - 9, left + length, y);
            g.drawString(metres + " m", left + length + 8, y);
            y += 16;
        }
        return y;
    }
}
