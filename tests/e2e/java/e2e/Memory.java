// Test-only window into the memory test extension (its library is loaded
// by the program itself with System.load).
package e2e;

public final class Memory {
    private Memory() {
    }

    /** Counts the allocations and frees of this class from now on. */
    public static native void watch(Class<?> watched, String dottedName);

    /** Switches the agent's memory profiler on or off. */
    public static native void profile(boolean on);

    /** Watched allocations, watched frees, allocations made inside the handler, GC starts, GC finishes, frees seen by the extension. */
    public static native int[] counts();

    /** What a heap dump says about the holder, its array and the items in it. */
    public static native String dump(Object holder, Object[] items);

    /** The agent's object-array description of the object, with outputs preset. */
    public static native String describe(Object object, int maximum);
}
