// Longest Collatz chain below a limit, shared out in blocks between threads.
package demo;

import java.util.concurrent.atomic.AtomicInteger;

final class Collatz {
    private static final int BLOCK = 10_000;

    private Collatz() {
    }

    static String summary(final int limit, int threads) throws InterruptedException {
        final AtomicInteger nextBlock = new AtomicInteger(1);
        final Best best = new Best();
        Thread[] workers = new Thread[threads];
        for (int t = 0; t < threads; t++) {
            workers[t] = new Thread(new Runnable() {
                @Override
                public void run() {
                    for (int start; (start = nextBlock.getAndAdd(BLOCK)) < limit;) {
                        int end = Math.min(start + BLOCK, limit);
                        for (int n = start; n < end; n++) {
                            best.offer(n, steps(n));
                        }
                    }
                }
            }, "collatz-" + t);
            workers[t].start();
        }
        for (Thread worker : workers) {
            worker.join();
        }
        return String.format("below %d the longest chain starts at %d (%d steps)", limit, best.start, best.steps);
    }

    private static int steps(long n) {
        int steps = 0;
        while (n != 1) {
            n = (n & 1) == 0 ? n >> 1 : 3 * n + 1;
            steps++;
        }
        return steps;
    }

    /** The longest chain so far; ties go to the smaller start so the answer does not depend on timing. */
    private static final class Best {
        int start;
        int steps = -1;

        synchronized void offer(int n, int s) {
            if (s > steps || (s == steps && n < start)) {
                steps = s;
                start = n;
            }
        }
    }
}
