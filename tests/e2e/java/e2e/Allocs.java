// Two allocation sites: the first allocates three times the bytes of the
// second, as byte arrays; the second as int arrays of the same size.
package e2e;

public final class Allocs {
    static final Object[] SINK = new Object[64];

    static void threeParts(int count) {
        for (int i = 0; i < 3 * count; i++) {
            SINK[i & 63] = new byte[4096];
        }
    }

    static void onePart(int count) {
        for (int i = 0; i < count; i++) {
            SINK[i & 63] = new int[1024];
        }
    }

    public static void main(String[] args) {
        int count = args.length > 0 ? Integer.parseInt(args[0]) : 50_000;
        for (int round = 0; round < 10; round++) {
            threeParts(count / 10);
            onePart(count / 10);
        }
        System.out.println("allocated " + (4L * count * 4096 >> 20) + " MB");
    }
}
