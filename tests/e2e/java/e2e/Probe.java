// Test-only window into the agent: a native library that installs a handler
// table in the agent and answers from the agent's thread registry.
package e2e;

public final class Probe {
    static {
        System.load(System.getProperty("zv.probe"));
    }

    /** Installs the probe's handler table (classes loaded so far are replayed to it). */
    public static native void install();

    /** "name|group path" of the calling thread in the agent's registry, or null. */
    public static native String self();

    /** "name|group path" of every registered thread. */
    public static native String[] registry();

    /** Class unloads that reached the handler table. */
    public static native int unloads();

    /** Data-dump requests that reached the handler table. */
    public static native int dumpRequests();

    /** "source|methods|first line of main" of a class-load event seen for the dotted name, or null. */
    public static native String classLoad(String dottedName);

    /** Names of threads whose start (or with ended, end) reached the handler table, in order. */
    public static native String[] threads(boolean ended);

    /** Starts an agent system thread; "started|found|name|group path" when the registry knows it. */
    public static native String systemThread(String name);

    /** Switches on GC, allocation and method events: "gc|allocations|methods", 1 where granted. */
    public static native String enableEvents();

    /** Method events off; then counts of gc starts, finishes, allocations, arrays, entries, exits. */
    public static native int[] eventCounts();

    /** The agent's backtrace of the calling thread: location and method id of each frame, top first. */
    public static native int[] backtrace();

    /** The agent's backtrace of the calling thread as " Class.method:line" frames, a group's as " [name]". */
    public static native String stack();

    /** "a ZVContext, kept" when the services' context of the calling thread is one and storing it keeps it. */
    public static native String context();

    /** How often the metrics asked the installed table for class counts and for thread counts. */
    public static native int[] countCalls();

    /** The display name the agent gives a marker identifier. */
    public static native String markerName(int marker);

    /** Pushes the "Overhead" marker onto the calling thread's stack; it stays there. */
    public static native void pushOverhead();

    /** Makes the calling thread the one that sample() samples. */
    public static native void sampleMe();

    /** One snapshot of that thread: has-run flag, then location and method id of each frame, top first. */
    public static native int[] sample(boolean includeIdle);
    /** The named metric's serialized samples, oldest first (time, values...), or null. */
    public static native int[] metricSamples(String name);

    /** An integer attribute of the named metric's serialized map; Integer.MIN_VALUE when absent. */
    public static native int metricNumber(String name, String key);

    /** Samples the ring buffer of the metric with that id holds; 0 when it is off. */
    public static native int metricCapacity(int id);
}
