// Methods that run for known times: 30 ms once, 10 ms three times, a
// recursion 5 deep of 2 ms each, and an exception thrown 4 calls deep after
// 4 ms, each call through a relay of another class (untimed under a filter
// of this class); each caller measures the wall time of its calls; then two
// constructions through the relay, the first refused by the superclass.
package e2e;

public final class Timed {
    static volatile long sink;

    static void spin(long millis) {
        long end = System.nanoTime() + millis * 1_000_000L;
        while (System.nanoTime() < end) {
            sink++;
        }
    }

    static void thirty() {
        spin(30);
    }

    static void ten() {
        spin(10);
    }

    static void rec(int depth) {
        spin(2);
        if (depth > 1) {
            rec(depth - 1);
        }
    }

    static void thrower(int depth) {
        if (depth > 0) {
            TimedRelay.pass(depth - 1);
        }
        spin(4);
        throw new IllegalStateException("thrown on purpose");
    }

    static void after() {
        spin(5);
    }

    static final class Made extends java.util.ArrayList<Object> {
        Made(boolean fail) {
            super(fail
                    ? -1 : 1);
        }
    }

    static boolean catcher() {
        try {
            thrower(3);
            return false;
        } catch (IllegalStateException e) {
            after();
            return true;
        }
    }

    public static void main(String[] args) {
        long start = System.nanoTime();
        thirty();
        long thirty = System.nanoTime() - start;
        start = System.nanoTime();
        for (int i = 0; i < 3; i++) {
            ten();
        }
        long ten = System.nanoTime() - start;
        start = System.nanoTime();
        rec(5);
        long rec = System.nanoTime() - start;
        start = System.nanoTime();
        boolean caught = catcher();
        long catcher = System.nanoTime() - start;
        TimedRelay.make(true);
        TimedRelay.make(false);
        after();
        System.out.printf("measured ms: thirty %.3f ten %.3f rec %.3f catcher %.3f caught %b%n", thirty / 1e6,
                ten / 1e6, rec / 1e6, catcher / 1e6, caught);
    }
}

final class TimedRelay {
    static void pass(int depth) {
        Timed.thrower(depth);
    }

    static void make(boolean fail) {
        try {
            new Timed.Made(fail);
        } catch (IllegalArgumentException e) {
        }
    }
}
