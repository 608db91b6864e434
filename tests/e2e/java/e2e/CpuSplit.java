package e2e;

import java.lang.management.ManagementFactory;
import java.lang.management.ThreadMXBean;
import java.util.concurrent.locks.LockSupport;

// A known split of CPU time, measured with each thread's CPU clock: on one
// thread threeParts and onePart in turn, on another twoParts, 3:1:2; beside
// them a thread that sleeps and one that wakes every half millisecond only to
// wait again.
public class CpuSplit {
    static final ThreadMXBean CLOCK = ManagementFactory.getThreadMXBean();
    static final long PART = 4_000_000L;  // 4 ms of CPU time
    static final int ROUNDS = 150;
    static volatile boolean done;
    static volatile long sink;

    static void burn(long nanos) {
        long end = CLOCK.getCurrentThreadCpuTime() + nanos;
        long x = 1;
        while (CLOCK.getCurrentThreadCpuTime() < end) {
            for (int i = 0; i < 1000; i++) x = x * 31 + i;
        }
        sink = x;
    }

    static void threeParts() { burn(3 * PART); }
    static void onePart() { burn(PART); }
    static void twoParts() { burn(2 * PART); }

    static void sleeper() throws InterruptedException {
        while (!done) Thread.sleep(20);
    }

    static void waker() {
        while (!done) LockSupport.parkNanos(500_000);
    }

    static Thread start(String name, Runnable body) {
        Thread thread = new Thread(body, name);
        thread.start();
        return thread;
    }

    public static void main(String[] args) throws Exception {
        Thread sleeping = start("sleeper", () -> {
            try {
                sleeper();
            } catch (InterruptedException e) {
                Thread.currentThread().interrupt();
            }
        });
        Thread waking = start("waker", CpuSplit::waker);
        Thread first = start("first", () -> {
            for (int i = 0; i < ROUNDS; i++) {
                threeParts();
                onePart();
            }
        });
        Thread second = start("second", () -> {
            for (int i = 0; i < ROUNDS; i++) twoParts();
        });
        first.join();
        second.join();
        long wakerCpu = CLOCK.getThreadCpuTime(waking.getId());  // while it lives
        done = true;
        sleeping.join();
        waking.join();
        System.out.println("waker cpu ms: " + wakerCpu / 1000000);
    }
}
