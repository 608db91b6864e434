// A workload of the shapes instrumentation must get right: recursion,
// exceptions through several frames, methods that only throw, loops left by
// exceptions, switches, synchronized methods, constructors, static
// initialisers and many threads. Standard output is the same with and without
// the agent; the stack checks report on standard error.
package cpu;

public final class CpuProgram {
    public static void main(String[] args) throws Exception {
        System.out.println("fib " + fib(20));
        System.out.println("depth " + recurse(12));
        System.out.println("caught " + throughFrames(5));
        System.out.println("thrower " + callThrower());
        System.out.println("loop " + loopLeftByException());
        for (int i = 0; i < 6; i++) {
            System.out.println("switch " + i + " " + tableSwitch(i) + " " + lookupSwitch(i * 1000));
        }
        System.out.println("synchronized " + new Counter().addAll(100));
        System.out.println("constructed " + new Shape(3, 4).area());
        System.out.println("serial uids " + java.io.ObjectStreamClass.lookup(Shape.class).getSerialVersionUID() + " "
                + java.io.ObjectStreamClass.lookup(Kinds.class).getSerialVersionUID());
        for (int v : new int[] {1, 0, 3, 5}) {
            try {
                System.out.println("derived " + new Derived(v).value);
            } catch (RuntimeException e) {
                System.out.println("derived " + v + " threw in the " + e.getMessage());
            }
        }
        StackCheck.check("after constructors threw");
        System.out.println("static " + Initialised.VALUE);
        System.out.println("deep " + deepThenBack());
        System.out.println("threads " + Workers.run(8));
        StackCheck.check("main end");
        System.exit(StackCheck.report() ? 0 : 1);
    }

    static int fib(int n) {
        if (n == 12) {
            StackCheck.check("fib");
        }
        if (n < 2) {
            return n;
        }
        return fib(n - 1) + fib(n - 2);
    }

    static int recurse(int n) {
        if (n == 0) {
            StackCheck.check("recursion bottom");
            return 0;
        }
        int below = recurse(n - 1);
        StackCheck.check("recursion unwinding");
        return below + 1;
    }

    static int throughFrames(int n) {
        int caught = 0;
        for (int i = 0; i < n; i++) {
            try {
                level1(i);
            } catch (IllegalStateException e) {
                caught++;
                StackCheck.check("after exception");
            }
        }
        return caught;
    }

    static void level1(int i) {
        level2(i);
    }

    static void level2(int i) {
        level3(i);
    }

    static void level3(int i) {
        StackCheck.check("before throw");
        throw new IllegalStateException("level3 " + i);
    }

    static void alwaysThrows() {
        throw new UnsupportedOperationException("no");
    }

    static String callThrower() {
        try {
            alwaysThrows();
            return "returned";
        } catch (UnsupportedOperationException e) {
            StackCheck.check("method that only throws");
            return e.getMessage();
        }
    }

    static int endless(int limit) {
        int i = 0;
        while (true) {
            if (++i > limit) {
                throw new ArithmeticException("limit");
            }
        }
    }

    static int loopLeftByException() {
        try {
            return endless(1000);
        } catch (ArithmeticException e) {
            StackCheck.check("endless loop left");
            return -1;
        }
    }

    static String tableSwitch(int i) {
        switch (i) {
            case 0:
                return "zero";
            case 1:
                StackCheck.check("table switch");
                return "one";
            case 2:
                return "two";
            case 3:
                return "three";
            default:
                return "many";
        }
    }

    static int lookupSwitch(int key) {
        switch (key) {
            case 0:
                return 1;
            case 2000:
                StackCheck.check("lookup switch");
                return 2;
            case 5000:
                return 3;
            default:
                return 0;
        }
    }

    static int deep(int n) {
        return n == 0 ? 0 : 1 + deep(n - 1);
    }

    /** After a recursion that grew the stack array, this frame's line probes must still show. */
    static String deepThenBack() {
        int depth = deep(3000);
        boolean checked = StackCheck.enabled() && StackCheck.LINES;
        int line = checked ? StackCheck.callerLine() : -1;
        int expected = checked ? new Throwable().getStackTrace()[0].getLineNumber() - 1 : -1;
        if (line != expected) {
            StackCheck.fail("after growth", "caller at line " + line + ", expected " + expected);
        }
        StackCheck.check("after growth");
        return Integer.toString(depth);
    }

    static final class Counter {
        private int total;

        synchronized void add(int n) {
            total += n;
            if (n == 50) {
                StackCheck.check("synchronized method");
            }
        }

        int addAll(int n) {
            for (int i = 1; i <= n; i++) {
                add(i);
            }
            return total;
        }
    }

    static class Base {
        final int value;

        Base(int v) {
            StackCheck.check("super constructor below its subclass constructor");
            if (v < 0) {
                throw new IllegalArgumentException("super constructor");
            }
            value = v;
        }
    }

    // Throws before super() (its argument), inside it, and after it.
    static final class Derived extends Base {
        Derived(int v) {
            super(argument(v));
            StackCheck.check("constructor body");
            if (v == 3) {
                throw new IllegalStateException("constructor body");
            }
        }

        static int argument(int v) {
            StackCheck.check("before super");
            if (v == 1) {
                throw new IllegalStateException("argument");
            }
            return v - 2;
        }
    }

    // Serializable without a declared UID (as is Kinds, which has a static
    // initialiser): the default one is computed from the members and whether
    // there is a static initialiser, which must not count what instrumentation
    // adds. (Standard output is compared with a plain run.)
    static final class Shape implements java.io.Serializable {
        private final int width;
        private final int height;

        Shape(int width, int height) {
            this.width = width;
            this.height = height;
            StackCheck.check("constructor");
        }

        int area() {
            java.util.function.IntBinaryOperator times = (a, b) -> a * b;
            return times.applyAsInt(width, height);
        }
    }

    // Its initialiser runs while ObjectStreamClass computes its UID, under
    // AccessController's hidden frame: both are in the agent's stack.
    static final class Kinds implements java.io.Serializable {
        static final java.util.List<String> NAMES = new java.util.ArrayList<>(java.util.List.of("squares"));

        static {
            StackCheck.check("static initialiser run by the serial UID's computation");
        }
    }

    static final class Initialised {
        static final String VALUE;

        static {
            StackCheck.check("static initialiser");
            VALUE = "initialised";
        }
    }
}
