// Two threads contend for one monitor: the holder keeps it for 200 ms three
// times while the waiter asks for it; the waiter measures how long it waited.
package e2e;

import java.util.concurrent.CountDownLatch;

public final class Locks {
    static final class Account {
    }

    static final Account LOCK = new Account();
    static volatile long sink;

    static void hold(CountDownLatch held) throws InterruptedException {
        synchronized (LOCK) {
            held.countDown();
            Thread.sleep(200);
        }
    }

    static long waiter(CountDownLatch held) throws InterruptedException {
        held.await();
        long start = System.nanoTime();
        synchronized (LOCK) {
            sink++;
        }
        return System.nanoTime() - start;
    }

    public static void main(String[] args) throws Exception {
        long waited = 0;
        for (int round = 0; round < 3; round++) {
            CountDownLatch held = new CountDownLatch(1);
            Thread holder = new Thread(() -> {
                try {
                    hold(held);
                } catch (InterruptedException e) {
                    Thread.currentThread().interrupt();
                }
            }, "holder");
            holder.start();
            waited += waiter(held);
            holder.join();
        }
        System.out.printf("waited ms: %.3f%n", waited / 1e6);
    }
}
