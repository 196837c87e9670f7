import java.io.File;
import trelvo.ConectorJNI;

/**
 * Failed starts followed by clean ones, in one virtual machine: a start with no simulator to
 * reach, then (once the file named first exists, which the test creates after starting the
 * simulator) a start with each map named after it, all of which must fail, then clean starts
 * and finishes. Prints one line per call and exits 0 when every answer is the expected one.
 */
public final class StartAfterFailures {
    private static int failures = 0;

    private static void check(String what, boolean ok) {
        System.out.println("check " + what + " " + (ok ? "ok" : "FAILED"));
        System.out.flush();
        if (!ok) {
            failures++;
        }
    }

    public static void main(String[] args) throws InterruptedException {
        ConectorJNI rovak = new ConectorJNI();
        check("start without a simulator", !rovak.startRovak(15000, 15000, ""));
        System.out.println("waiting for the simulator");
        System.out.flush();
        File go = new File(args[0]);
        for (int i = 0; i < 600 && !go.exists(); i++) {
            Thread.sleep(100);
        }
        for (int i = 1; i < args.length; i++) {
            check("start with map " + args[i], !rovak.startRovak(15000, 15000, args[i]));
        }
        check("finish after the failures", rovak.finishRovak());
        check("clean start", rovak.startRovak(15000, 15000, ""));
        int[] image = rovak.getMap();
        check("map image", image != null && image.length == 300 * 300);
        check("speak", rovak.textToSpeech("ola") == 0);
        check("finish", rovak.finishRovak());
        check("second clean start", rovak.startRovak(15000, 15000, ""));
        check("second finish", rovak.finishRovak());
        System.exit(failures == 0 ? 0 : 1);
    }
}
