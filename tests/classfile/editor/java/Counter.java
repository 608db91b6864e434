// Target of the code that the editor tests insert: counts its calls.
public final class Counter {
    public static int hits;

    public static void hit() {
        hits++;
    }
}
