// Navigate.java: drives robot 1 with the installed navigation library through trelvo.ConectorJNI.
//
//   java -cp trelvo.jar:navigate.jar -Dtrelvo.library=PREFIX/lib/rovak/libtrelvo.so \
//        Navigate [GOAL-X GOAL-Y]
//
// The scheduler comes from ROVAK_SCHEDULER_HOST and ROVAK_SCHEDULER_PORT (default localhost
// 7073, e.g. a rovak-sim). Starts the navigator with the robot at (15000, 15000) mm on a new map,
// prints the battery values and the position, drives to the goal cell (100 mm cells; default
// 160,150: one metre ahead) and finishes. Exit status 0 when the robot arrived, 1 otherwise.
import trelvo.ConectorJNI;

public final class Navigate {
    private Navigate() {}

    public static void main(String[] args) {
        int goalX = args.length == 2 ? Integer.parseInt(args[0]) : 160;
        int goalY = args.length == 2 ? Integer.parseInt(args[1]) : 150;
        ConectorJNI robot = new ConectorJNI();
        if (!robot.startRovak(15000, 15000, "")) {
            System.err.println("navigate: the navigator did not start");
            System.exit(1);
        }
        boolean arrived = false;
        try {
            float[] battery = robot.getBatteryStatus();
            float[] position = robot.getPosition();
            if (battery != null && position != null) {
                System.out.printf("battery %.0f %.0f %.0f %.0f%n", battery[0], battery[1],
                                  battery[2], battery[3]);
                System.out.printf("position %.0f mm, %.0f mm, %.0f mrad%n", position[0],
                                  position[1], position[2]);
            }
            arrived = robot.moveRovak(goalX, goalY);
            System.out.println(arrived ? "navigate: arrived" : "navigate: did not arrive");
        } finally {
            robot.finishRovak();
        }
        System.exit(arrived ? 0 : 1);
    }
}
