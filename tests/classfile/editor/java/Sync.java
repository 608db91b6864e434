// Synchronized methods and blocks, with returns and throws inside monitors.
public class Sync {
    private int value;
    private static final Object LOCK = new Object();

    synchronized int add(int x) {
        value += x;
        if (value > 100) return -value;
        return value;
    }

    static synchronized long twice(long x) {
        return x * 2;
    }

    int block(int x) {
        synchronized (this) {
            if (x < 0) return -1;
            value = value * 3 + x;
        }
        synchronized (LOCK) {
            try {
                if (x == 7) throw new IllegalStateException();
                value++;
            } catch (IllegalStateException e) {
                value = 0;
            }
        }
        return value;
    }

    public static void run() {
        Sync s = new Sync();
        StringBuilder b = new StringBuilder("sync");
        for (int i = -2; i < 10; i++) b.append(' ').append(s.add(i)).append(',').append(s.block(i)).append(',').append(twice(i));
        System.out.println(b);
    }
}
