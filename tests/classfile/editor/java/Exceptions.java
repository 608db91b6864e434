// Nested try/catch/finally, returns inside try and finally, handlers in loops.
public class Exceptions {
    static int divide(int a, int b) {
        try {
            return a / b;
        } catch (ArithmeticException e) {
            return -1;
        } finally {
            Counter.hits += 0;
        }
    }

    static String nested(int x) {
        StringBuilder b = new StringBuilder();
        try {
            b.append('a');
            try {
                b.append('b');
                if (x == 1) throw new IllegalStateException("one");
                if (x == 2) throw new IllegalArgumentException("two");
                b.append('c');
            } catch (IllegalStateException e) {
                b.append('d');
                if (x == 1) throw new RuntimeException("again");
            } finally {
                b.append('e');
            }
            if (x == 3) return b.append('f').toString();
        } catch (RuntimeException e) {
            b.append('g').append(e.getMessage());
        } finally {
            b.append('h');
        }
        return b.toString();
    }

    static int loop(int[] values) {
        int total = 0;
        for (int i = 0; i <= values.length; i++) {
            try {
                total += 100 / values[i];
            } catch (ArithmeticException e) {
                total += 1000;
                continue;
            } catch (ArrayIndexOutOfBoundsException e) {
                break;
            } finally {
                total++;
            }
            total *= 2;
        }
        return total;
    }

    static long multi(Object o) {
        long r = 5;
        try {
            r += ((String) o).length();
            r += Long.parseLong((String) o);
        } catch (ClassCastException | NumberFormatException e) {
            r = -r;
        }
        return r;
    }

    public static void run() {
        StringBuilder b = new StringBuilder("exceptions");
        b.append(' ').append(divide(7, 2)).append(' ').append(divide(1, 0));
        for (int x = 0; x < 4; x++) b.append(' ').append(nested(x));
        b.append(' ').append(loop(new int[] {1, 0, 3, 5, 0}));
        b.append(' ').append(multi("12")).append(' ').append(multi("zz")).append(' ').append(multi(Integer.valueOf(3)));
        System.out.println(b);
    }
}
