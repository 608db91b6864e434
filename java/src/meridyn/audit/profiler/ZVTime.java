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
     * else System.nanoTime. The units differ, so a duration needs two stamps
     * taken on the same side of the binding. Should the agent have failed to
     * bind time0, System.nanoTime serves from then on.
     */
    public static long now() {
        if (nativeBound) {
            try {
                return time0();
            } catch (UnsatisfiedLinkError e) {
                nativeBound = false;
            }
        }
        return System.nanoTime();
    }

    static void markNativeBound() {
        nativeBound = true;
    }
}
