package trelvo;

/**
 * The native navigation library libtrelvo: start and finish the navigator, move the robot to a
 * grid cell, and read the map image, the battery values and the position.
 *
 * <p>The library is loaded from the path in the system property {@code trelvo.library} when it
 * is set (a relative path is taken from the working directory), otherwise by name from
 * {@code java.library.path}. Every method but {@code startRovak} prints a message and answers
 * false, null or -1 until {@code startRovak} has been called.
 */
public class ConectorJNI {
    /** System property naming the library file to load instead of searching for it. */
    public static final String LIBRARY_PROPERTY = "trelvo.library";

    static {
        String path = System.getProperty(LIBRARY_PROPERTY);
        if (path != null && !path.isEmpty()) {
            System.load(new java.io.File(path).getAbsolutePath());
        } else {
            System.loadLibrary("trelvo");
        }
    }

    /** The map image: 300 rows of 300 ARGB pixels, top row first (grid row 299); or null. */
    public native int[] getMap();

    /**
     * The route the last move planned, as x, y pairs of grid cells: the cell the robot set out
     * from, the end of each straight motion, the goal last. After a move that had to plan again
     * on the way, the latest plan's route. Empty before the first move and after a move that
     * planned no route; null before a start.
     */
    public native int[] getRoute();

    /** The four battery values. */
    public native float[] getBatteryStatus();

    /** The position: x and y in millimetres, heading in thousandths of a radian. */
    public native float[] getPosition();

    /**
     * Starts the navigator with the robot at (x0, y0) millimetres on the map in mapFile (the
     * empty string for a new, unexplored map). True when it started.
     */
    public native boolean startRovak(int x0, int y0, String mapFile);

    /** Ends the worker threads and releases the robot semaphore. */
    public native boolean finishRovak();

    /** Drives the robot to grid cell (goalX, goalY); true when it arrived. */
    public native boolean moveRovak(int goalX, int goalY);

    /** Stops the robot. Always false. */
    public native boolean stopRovak();

    /** Saves the map to file. Always false; a failure is reported on standard output. */
    public native boolean saveMap(String file);

    /** Has the robot say text: 0 on success, -1 otherwise. */
    public native int textToSpeech(String text);
}
