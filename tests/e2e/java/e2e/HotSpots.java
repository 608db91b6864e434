package e2e;

import java.io.File;
import java.lang.management.ManagementFactory;
import java.lang.management.ThreadMXBean;

// Known hot spots: one thread spins for 7 parts of CPU time, another for 3,
// at once (by their own CPU clocks, so a busy machine keeps the split); then
// a known call pattern. With a file name argument, the program
// stays until that file exists, so a second process can take a snapshot,
// and prints how many 50 ms waits that took.
public class HotSpots {
    static volatile long sink;
    static final ThreadMXBean CLOCK = ManagementFactory.getThreadMXBean();

    static long spinLong(long nanos) {
        long end = CLOCK.getCurrentThreadCpuTime() + nanos;
        long x = 1;
        while (CLOCK.getCurrentThreadCpuTime() < end) { // spin-long
            for (int i = 0; i < 2000; i++) x = x * 31 + i; // spin-long
        }
        return x;
    }

    static long spinShort(long nanos) {
        long end = CLOCK.getCurrentThreadCpuTime() + nanos;
        long x = 1;
        while (CLOCK.getCurrentThreadCpuTime() < end) { // spin-short
            for (int i = 0; i < 2000; i++) x = x * 17 + i; // spin-short
        }
        return x;
    }

    static int leaf(int i) {
        return i + 1;
    }

    static int pattern() {
        int sum = 0;
        for (int i = 0; i < 1000; i++) {
            sum += leaf(i);
        }
        return sum;
    }

    public static void main(String[] args) throws Exception {
        final long unit = 300_000_000L;
        Thread a = new Thread(new Runnable() {
            public void run() {
                sink = spinLong(7 * unit);
            }
        }, "spin-long");
        Thread b = new Thread(new Runnable() {
            public void run() {
                sink = spinShort(3 * unit);
            }
        }, "spin-short");
        a.start();
        b.start();
        a.join();
        b.join();
        int total = 0;
        for (int i = 0; i < 1000; i++) {
            total += pattern();
        }
        System.out.println("pattern: " + total);
        if (args.length > 0) {
            File stop = new File(args[0]);
            int waits = 0;
            while (waits < 600 && !stop.exists()) {
                waits += waited();
            }
            System.out.println("waits: " + waits);
        }
    }

    static int waited() throws InterruptedException {
        Thread.sleep(50);
        return 1;
    }
}
