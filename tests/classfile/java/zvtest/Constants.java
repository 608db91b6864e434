// Long, double, float, integer and string constants of every pool kind.
package zvtest;

public class Constants {
    public static final long BIG_LONG = 0x123456789ABCDEF0L;
    public static final double PI_ISH = 3.14159265358979;
    public static final float HALF = 0.5f;
    public static final int LARGE = 1234567;
    public static final String GREETING = "hello, class file";

    long mix(long a, double b) {
        long local = a * 0x7FFFFFFFFFL + (long) (b * 2.718281828);
        double d = b / 1e300 + Double.MIN_VALUE;
        float f = 1.25f * (float) d;
        int i = LARGE + 99999;
        String s = "\u00e9t\u00e9 \u2603 \uD83D\uDE00" + GREETING + i + f;
        return local + s.length() + Long.MAX_VALUE / 3;
    }
}
