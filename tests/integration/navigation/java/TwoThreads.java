import java.util.concurrent.CyclicBarrier;
import java.util.concurrent.atomic.AtomicBoolean;
import java.util.concurrent.atomic.AtomicInteger;
import trelvo.ConectorJNI;

/**
 * Native calls from two threads at once on one ConectorJNI: both start together (exactly one
 * start may succeed), the first moves to the goal cell given as "x,y" while the second keeps
 * reading the map, battery and position, saving the map and speaking, then both finish
 * together. Prints what went wrong and exits 0 when nothing did.
 */
public final class TwoThreads {
    private static final AtomicInteger failures = new AtomicInteger();

    private static void check(String what, boolean ok) {
        if (!ok) {
            System.out.println("FAILED " + what);
            failures.incrementAndGet();
        }
    }

    public static void main(String[] args) throws Exception {
        String[] goal = args[0].split(",");
        int gx = Integer.parseInt(goal[0]);
        int gy = Integer.parseInt(goal[1]);
        String saveFile = args[1];
        ConectorJNI rovak = new ConectorJNI();
        CyclicBarrier together = new CyclicBarrier(2);
        AtomicInteger started = new AtomicInteger();
        AtomicBoolean moving = new AtomicBoolean(true);
        AtomicInteger reads = new AtomicInteger();

        Thread mover = new Thread(() -> {
            try {
                together.await();
                if (rovak.startRovak(15000, 15000, "")) {
                    started.incrementAndGet();
                }
                together.await();
                check("move to the goal", rovak.moveRovak(gx, gy));
                check("goal off the map refused", !rovak.moveRovak(300, gy));
                moving.set(false);
                together.await();
                check("finish (mover)", rovak.finishRovak());
            } catch (Exception e) {
                check("mover: " + e, false);
            }
        });
        Thread reader = new Thread(() -> {
            try {
                together.await();
                if (rovak.startRovak(15000, 15000, "")) {
                    started.incrementAndGet();
                }
                together.await();
                while (moving.get()) {
                    int[] image = rovak.getMap();
                    check("map", image != null && image.length == 300 * 300);
                    float[] p = rovak.getPosition();
                    check("position", p != null && p.length == 3);
                    float[] b = rovak.getBatteryStatus();
                    check("battery", b != null && b.length == 4);
                    check("save always answers false", !rovak.saveMap(saveFile));
                    check("speak", rovak.textToSpeech("ola") == 0);
                    reads.incrementAndGet();
                }
                together.await();
                check("finish (reader)", rovak.finishRovak());
            } catch (Exception e) {
                check("reader: " + e, false);
            }
        });
        mover.start();
        reader.start();
        mover.join();
        reader.join();
        check("exactly one start succeeded (" + started.get() + ")", started.get() == 1);
        check("the reader ran during the move", reads.get() > 0);
        System.out.println("TwoThreads: " + reads.get() + " reads, " + failures.get() + " failures");
        System.exit(failures.get() == 0 ? 0 : 1);
    }
}
