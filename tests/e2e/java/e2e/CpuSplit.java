package e2e;

import java.lang.management.ManagementFactory;
import java.lang.management.ThreadMXBean;
import java.util.concurrent.locks.LockSupport;

// A split of CPU time made with each thread's CPU clock: threeParts and
// onePart in turn on one thread, twoParts on another (3:1:2); beside them a
// thread that sleeps and one that wakes every half millisecond to wait again.
public class CpuSplit {
    static final ThreadMXBean CLOCK = ManagementFactory.getThreadMXBean();
    static final long PART = 4_000_000L;  // 4 ms of CPU time
    static volatile boolean done;
    static volatile long sink;

    static void burn(long nanos) {
        long end = CLOCK.getCurrentThreadCpuTime() + nanos, x = 1;
        while (CLOCK.getCurrentThreadCpuTime() < end) for (int i = 0; i < 1000; i++) x = x * 31 + i;
        sink = x;
    }

    static void threeParts() { burn(3 * PART); }
    static void onePart() { burn(PART); }
    static void twoParts() { burn(2 * PART); }
    static void sleeper() throws InterruptedException { while (!done) Thread.sleep(20); }
    static void waker() { while (!done) LockSupport.parkNanos(500_000); }

    public static void main(String[] args) throws Exception {
        Thread[] threads = {new Thread(() -> { try { sleeper(); } catch (InterruptedException e) { } }, "sleeper"),
                            new Thread(CpuSplit::waker, "waker"),
                            new Thread(() -> { for (int i = 0; i < 150; i++) { threeParts(); onePart(); } }, "first"),
                            new Thread(() -> { for (int i = 0; i < 150; i++) twoParts(); }, "second")};
        for (Thread thread : threads) thread.start();
        threads[2].join();
        threads[3].join();
        long wakerCpu = CLOCK.getThreadCpuTime(threads[1].getId());  // while it lives
        done = true;
        for (Thread thread : threads) thread.join();
        System.out.println("waker cpu ms: " + wakerCpu / 1000000);
    }
}
