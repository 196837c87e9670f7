import trelvo.ConectorJNI;

/**
 * Calls every native method before the navigator exists, and startRovak without a file name:
 * each must answer false, null or -1 without touching the robot. Prints one line per call and
 * exits 0 when every answer is the expected one.
 */
public final class NativeBeforeStart {
    private static int failures = 0;

    private static void check(String what, boolean ok) {
        System.out.println("check " + what + " " + (ok ? "ok" : "FAILED"));
        if (!ok) {
            failures++;
        }
    }

    public static void main(String[] args) {
        ConectorJNI rovak = new ConectorJNI();
        check("getMap", rovak.getMap() == null);
        check("getRoute", rovak.getRoute() == null);
        check("getBatteryStatus", rovak.getBatteryStatus() == null);
        check("getPosition", rovak.getPosition() == null);
        check("moveRovak", !rovak.moveRovak(10, 10));
        check("stopRovak", !rovak.stopRovak());
        check("saveMap", !rovak.saveMap("never.map"));
        check("textToSpeech", rovak.textToSpeech("oi") == -1);
        check("finishRovak", !rovak.finishRovak());
        check("startRovak(null)", !rovak.startRovak(0, 0, null));
        check("still no navigator", rovak.getPosition() == null);
        System.exit(failures == 0 ? 0 : 1);
    }
}
