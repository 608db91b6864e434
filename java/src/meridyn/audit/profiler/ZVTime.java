// The profiler's clock: time0 is bound by the agent to its time source.
package meridyn.audit.profiler;

public final class ZVTime {
    private static volatile boolean usePreciseTimer;
    private static volatile boolean nativeBound;

    private ZVTime() {
    }

    /** The agent's time stamp; its unit depends on the agent's clock mode. */
    public static native long time0();

    /** Receives the agent's high-precision-timer option. */
    public static void setUsePreciseTimer(boolean precise) {
        usePreciseTimer = precise;
    }

    public static boolean usesPreciseTimer() {
        return usePreciseTimer;
    }

    /**
     * A time stamp for measuring durations: the agent's clock once it is bound,
     * else System.nanoTime. Compare stamps only with stamps of the same run.
     */
    public static long now() {
        return nativeBound ? time0() : System.nanoTime();
    }

    static void markNativeBound() {
        nativeBound = true;
    }
}
