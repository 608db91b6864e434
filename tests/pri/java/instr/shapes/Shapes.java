// Methods of the shapes instrumentation treats differently; Main prints what
// they compute, so an instrumented copy can be run against the original.
package shapes;

public class Shapes {
    int field;

    static int tiny(int a, int b) {
        int c = a + b;
        int d = c * 2;
        return d - a;
    }

    static int straight24(int a) {
        int b = a + 1;
        int c = b + 2;
        int d = c + 3;
        int e = d + 4;
        int f = e + 5;
        return f + 6;
    }

    static int straight25(int a) {
        int b = a + 1;
        int c = b + 2;
        int d = c + 3;
        int e = d + 4;
        int f = e + 5;
        return -(f + 6);
    }

    int callsOnce() {
        return toString().length();
    }

    static int twoReturns(int a) {
        if (a > 0) {
            return a;
        }
        return -a;
    }

    static void onlyThrows() {
        throw new IllegalStateException("thrown");
    }

    static int endless(int limit) {
        int i = 0;
        while (true) {
            i++;
            if (i > limit) {
                throw new ArithmeticException("left");
            }
        }
    }

    static int loopsBackToStart(int n) {
        int total = 0;
        do {
            total += n;
            n--;
        } while (n > 0);
        return total;
    }

    static String switches(int key) {
        switch (key) {
            case 1:
                return "one";
            case 2:
                return "two";
            case 100:
                return "hundred";
            default:
                return "other";
        }
    }

    synchronized int locked(int a) {
        field += a;
        return field;
    }

    static native int nativeMethod();

    @Override
    public String toString() {
        return "Shapes";
    }
}
