// Switches, nested exception handlers and synchronized blocks.
package zvtest;

public class Flow {
    private final Object lock = new Object();
    private int counter;

    public static int dense(int value) {
        switch (value) {
            case 0: return 10;
            case 1: return 11;
            case 2: return 12;
            case 3: return 13;
            case 4: return 14;
            default: return -1;
        }
    }

    public static int sparse(int value) {
        switch (value) {
            case -1000: return 1;
            case 7: return 2;
            case 100000: return 3;
            default: return 0;
        }
    }

    public static int byName(String name) {
        switch (name) {
            case "alpha": return 1;
            case "beta": return 2;
            default: return 0;
        }
    }

    public int nested(String text) {
        int result = 0;
        try {
            try {
                result = Integer.parseInt(text);
            } catch (NumberFormatException e) {
                result = -1;
                throw new IllegalStateException(e);
            } finally {
                counter++;
            }
        } catch (IllegalStateException | NullPointerException e) {
            result = -2;
        } finally {
            synchronized (lock) {
                counter += result;
            }
        }
        return result;
    }

    public synchronized int guarded(int times) {
        int sum = 0;
        for (int i = 0; i < times; i++) {
            synchronized (this) {
                sum += i;
                if (sum > 1000) break;
            }
        }
        return sum;
    }
}
