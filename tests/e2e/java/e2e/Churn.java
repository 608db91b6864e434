// Thread churn: waves of short-lived threads that recurse (some deeper than
// the context's first call-stack array), allocate on the way down, throw from
// the bottom to a catch part-way up, and read their own backtrace and push and
// pop a marker through the test extension (loaded again with System.load).
// Usage: Churn WAVES THREADS_PER_WAVE [SECONDS]; with SECONDS, waves go on
// until that time has passed. The agent's memory is read after two warm-up
// waves and after the churn, each time with every churn thread ended: the
// process's heap in use (where the agent allocates) and the Java heap, where
// contexts kept alive by leaked references would stay.
package e2e;

import java.util.concurrent.atomic.AtomicInteger;

public final class Churn {
    static final AtomicInteger FAILED = new AtomicInteger();
    static final AtomicInteger CAUGHT = new AtomicInteger();
    static final AtomicInteger REFUSED = new AtomicInteger();
    static volatile String firstFailure = "";
    static volatile long sink;
    static final int WARM_UP_WAVES = 64;

    /** Reads the calling thread's backtrace, pushes and pops a marker: "" when all is as expected, "refused" when the marker found no room. */
    static native String inspect(int minimumFrames, int marker);

    /** Bytes the process's heap has in use, and the threads the agent has registered. */
    static native long[] memory();

    static final class Bottom extends RuntimeException {
        Bottom() {
            super("bottom", null, false, false);
        }
    }

    static long descend(int n, int depth, int marker) {
        int[] junk = new int[8 + (n & 31)];
        junk[n & 7] = n;
        if (n == 0) {
            String wrong = inspect(depth, marker);
            if (wrong.equals("refused")) {
                REFUSED.incrementAndGet();
            } else if (!wrong.isEmpty()) {
                if (FAILED.getAndIncrement() == 0) {
                    firstFailure = wrong;
                }
            }
            throw new Bottom();
        }
        if (n % 50 == 0) {
            try {
                return descend(n - 1, depth, marker) + junk[n & 7];
            } catch (Bottom e) {
                CAUGHT.incrementAndGet();
                return shallow(10) + junk.length;
            }
        }
        return descend(n - 1, depth, marker) + junk.length;
    }

    static long shallow(int n) {
        Object[] made = new Object[n + 1];
        made[n] = new StringBuilder("s").append(n);
        return n == 0 ? made.length : shallow(n - 1) + made.length;
    }

    static long overflow(int n) {
        int[] junk = new int[4];
        junk[n & 3] = n;
        return overflow(n + 1) + junk[0];
    }

    // Depths from 1 to 1800: past 1024 frames the context's array grows and
    // is handed back as the thread returns. One thread in 256 recurses until
    // its stack overflows, and leaves stacks thousands of frames deep in the
    // profile.
    static Thread worker(int index) {
        int depth = 1 + (int) ((index * 7919L) % 1800);
        Thread thread = new Thread(() -> {
            try {
                sink += index % 256 == 255 ? overflow(0) : descend(depth, depth, index & 7);
            } catch (Bottom | StackOverflowError e) {
                CAUGHT.incrementAndGet(); // no catch on the way up below depth 50
            }
        }, "churn-" + index);
        thread.setDaemon(true);
        return thread;
    }

    static int wave(int first, int count) throws InterruptedException {
        Thread[] threads = new Thread[count];
        for (int i = 0; i < count; ++i) {
            threads[i] = worker(first + i);
            threads[i].start();
        }
        for (Thread thread : threads) {
            thread.join();
        }
        return count;
    }

    // Every churn thread has ended; the ends reach the agent and the sampler
    // releases their records at its next sample. The least of readings over
    // two seconds, so that a snapshot being rendered and sent meanwhile (one
    // comes every second) does not count: the process's heap in use, the
    // threads registered, the Java heap in use after a collection, the
    // resident set.
    static long[] settle() throws InterruptedException {
        Runtime runtime = Runtime.getRuntime();
        long[] least = {Long.MAX_VALUE, Long.MAX_VALUE, Long.MAX_VALUE, Long.MAX_VALUE};
        for (int i = 0; i < 8; ++i) {
            Thread.sleep(250);
            System.gc();
            long[] counts = memory();
            long[] now = {counts[0], counts[1], runtime.totalMemory() - runtime.freeMemory(), resident()};
            for (int k = 0; k < least.length; ++k) {
                least[k] = Math.min(least[k], now[k]);
            }
        }
        return least;
    }

    static long resident() {
        try {
            for (String line : java.nio.file.Files.readAllLines(java.nio.file.Path.of("/proc/self/status"))) {
                if (line.startsWith("VmRSS:")) {
                    return Long.parseLong(line.replaceAll("[^0-9]", ""));
                }
            }
        } catch (java.io.IOException | NumberFormatException e) {
            return -1;
        }
        return -1;
    }

    public static void main(String[] args) throws Exception {
        System.load(System.getProperty("zv.churn"));
        int waves = Integer.parseInt(args[0]);
        int perWave = Integer.parseInt(args[1]);
        long until = args.length > 2 ? System.nanoTime() + Long.parseLong(args[2]) * 1_000_000_000L : 0;
        int started = 0;
        for (int i = 0; i < WARM_UP_WAVES; ++i) {
            started += wave(started, perWave);
        }
        long[] before = settle();
        long start = System.nanoTime();
        int done = 0;
        while (until != 0 ? System.nanoTime() < until : done < waves) {
            started += wave(started, perWave);
            ++done;
        }
        long millis = (System.nanoTime() - start) / 1_000_000;
        long[] after = settle();
        System.out.println("churn: " + started + " threads in " + done + " waves after warm-up, " + millis + " ms");
        System.out.println("failed inspections: " + FAILED.get() + " " + firstFailure);
        System.out.println("refused markers: " + REFUSED.get());
        System.out.println("caught: " + (CAUGHT.get() == started));
        System.out.println("heap in use: before " + before[0] + " after " + after[0]);
        System.out.println("registered threads: before " + before[1] + " after " + after[1]);
        System.out.println("java heap in use: before " + before[2] + " after " + after[2]);
        System.out.println("resident kB: before " + before[3] + " after " + after[3]);
    }
}
