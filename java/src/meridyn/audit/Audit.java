// Start of the audit system: the start flags the agent composes, the audit
// port, the metrics thread, and where the direct-instrumentation table lies.
package meridyn.audit;

public final class Audit {
    // Start flags: distinct bits, OR-ed together by the agent.
    public static final int MEMORY_PROFILER_ALWAYS_DISABLED = 1;
    public static final int SYSTEM_EXIT_DISABLED = 2;
    public static final int PROFILERS_ALWAYS_ENABLED = 4;
    public static final int WAIT_FOR_ZENTROVA = 8;
    public static final int AUTO_START_CPU_PROFILER = 16;

    /** System property naming the direct-instrumentation table; else the agent looks beside itself. */
    public static final String DIRECTI_TABLE_PROPERTY = "zenva.directi.table";
    /** Thread group of the audit system's own threads; the agent leaves them out of backtraces. */
    public static final String THREAD_GROUP = "__ZVAudit__";
    /** System property that, set to "false", keeps the metrics thread from starting. */
    public static final String METRICS_THREAD_PROPERTY = "zenva.metrics.thread";
    static final String METRICS_THREAD = "runMetricsLoop";

    private static int port = -1;
    private static int flags;
    private static boolean started;
    private static Thread metricsThread;

    private Audit() {
    }

    /** Records the audit port and start flags, starts the agent's metrics loop and listens on the port. */
    public static void start(int auditPort, int startFlags) {
        boolean again;
        synchronized (Audit.class) {
            again = started;
            port = auditPort;
            flags = startFlags;
            started = true;
        }
        Echo.call("Audit.start", "port=" + auditPort, "flags=" + startFlags);
        startMetricsThread();
        if (!again) {
            AuditPort.start(auditPort);
        }
    }

    /** The path of the direct-instrumentation table, or null to let the agent look beside its library. */
    public static String getDirectInstrumentationTablePath() {
        String path = System.getProperty(DIRECTI_TABLE_PROPERTY);
        return path == null || path.isEmpty() ? null : path;
    }

    public static synchronized boolean isStarted() {
        return started;
    }

    /** The audit port given to start, or -1 before it. */
    public static synchronized int getPort() {
        return port;
    }

    public static synchronized int getFlags() {
        return flags;
    }

    public static boolean hasFlag(int flag) {
        return (getFlags() & flag) != 0;
    }

    /** One daemon thread runs the agent's metrics loop for the life of the process. */
    private static void startMetricsThread() {
        synchronized (Audit.class) {
            if (metricsThread != null || "false".equals(System.getProperty(METRICS_THREAD_PROPERTY))
                    || !Native.isAvailable()) {
                return;
            }
            ThreadGroup group = new ThreadGroup(THREAD_GROUP);
            Thread thread = new Thread(group, new Runnable() {
                @Override
                public void run() {
                    runMetrics();
                }
            }, METRICS_THREAD);
            thread.setDaemon(true);
            metricsThread = thread;
            thread.start();
        }
    }

    private static void runMetrics() {
        try {
            Native.runMetricsLoop();
        } catch (UnsatisfiedLinkError e) {
            // The agent did not register the loop: no metrics in this run.
        }
    }
}
