package shapes;

import java.util.function.IntSupplier;

// Constructors that throw before and after super(), a super() argument with
// a branch, wide locals across a loop, an object created across a branch and
// a lambda: the shapes that the instrumentation's frames and its constructor
// entry must get right.
final class Built extends Number {
    private final long total;

    Built(int n) {
        super();
        long sum = 0;
        double scale = 1.5;
        for (int i = 0; i < n; i++) {
            sum += (long) (i * scale);
        }
        if (n < 0) {
            throw new IllegalArgumentException("negative " + n);
        }
        total = sum;
    }

    Built(String text) {
        this(text.isEmpty() ? fail() : text.length());  // throws before this() when empty
    }

    // A switch before this(): too much to follow, so this constructor is left
    // as it was while the rest of the class is instrumented.
    Built(char kind) {
        this(switch (kind) {
            case 'a' -> 1;
            case 'b' -> 2;
            default -> 3;
        });
    }

    private static int fail() {
        throw new IllegalStateException("empty");
    }

    // A branch between `new` and its constructor: frames hold the
    // uninitialised object, which must follow the code it was created by.
    static String pending(int n) {
        return new StringBuilder(n > 0
                ? "positive"
                : "other").append(n).toString();
    }

    static int viaLambda(int k) {
        IntSupplier supplier = () -> k * 2;
        return supplier.getAsInt();
    }

    @Override public int intValue() { return (int) total; }
    @Override public long longValue() { return total; }
    @Override public float floatValue() { return total; }
    @Override public double doubleValue() { return total; }

    static String all() {
        StringBuilder out = new StringBuilder().append(new Built(10).longValue()).append(' ');
        out.append(new Built("abc").intValue()).append(' ').append(viaLambda(21)).append(' ').append(pending(2)).append(' ').append(new Built('b').total);
        for (Object arg : new Object[] {-1, ""}) {
            try {
                Object built = arg instanceof String s ? new Built(s) : new Built((Integer) arg);
                out.append(built);
            } catch (RuntimeException e) {
                out.append(' ').append(e.getMessage());
            }
        }
        return out.toString();
    }
}
