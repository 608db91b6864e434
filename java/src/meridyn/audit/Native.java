// The agent's services for the audit system: natives the agent registers when
// the VM has started, and the exit hold used when exit is disabled.
package meridyn.audit;

public final class Native {
    private static volatile Boolean available;

    private Native() {
    }

    public static native int getTool();
    public static native int getPort();
    public static native String getOptions();
    public static native boolean libraryLoaded(String fileName);
    public static native boolean hasStarted();
    public static native String installDir();
    /** Runs the agent's metrics loop on the calling thread; does not return. */
    public static native void runMetricsLoop();
    /** Runs the agent's prioritised system-thread service on the calling thread; does not return. */
    public static native void invokePrioritizedSystemThread();

    /** True when the agent has registered the natives (the Java side may run without it). */
    public static boolean isAvailable() {
        Boolean known = available;
        if (known == null) {
            boolean bound;
            try {
                getTool();
                bound = true;
            } catch (UnsatisfiedLinkError e) {
                bound = false;
            }
            known = bound;
            available = known;
        }
        return known;
    }

    /** Blocks the calling thread for good; interrupts are ignored. */
    public static void waitForever() {
        Object never = new Object();
        synchronized (never) {
            for (;;) {
                try {
                    never.wait();
                } catch (InterruptedException e) {
                    // Holding the thread is the point; keep waiting.
                }
            }
        }
    }
}
