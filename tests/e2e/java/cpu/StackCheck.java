// Compares the profiler's call stack of the current thread with the VM's own
// stack trace: same depth, same source line in every frame, one method id per
// method.
package cpu;

import java.util.HashMap;
import java.util.Map;

final class StackCheck {
    private static final boolean PRESENT = contextClassPresent();
    /** False when the agent runs without line probes: frames then hold their first line. */
    static final boolean LINES = !"false".equals(System.getProperty("cpu.lines"));
    private static final Map<String, Integer> IDS = new HashMap<String, Integer>();
    private static final Map<Integer, String> NAMES = new HashMap<Integer, String>();
    private static int checks;
    private static int failures;

    private StackCheck() {
    }

    private static boolean contextClassPresent() {
        if ("false".equals(System.getProperty("cpu.stacks"))) {
            return false;
        }
        try {
            Class.forName("meridyn.audit.profiler.ZVContext");
            return true;
        } catch (ClassNotFoundException e) {
            return false;  // no agent: nothing to compare
        }
    }

    static boolean enabled() {
        return PRESENT;
    }

    /** The profiler's frames from this method's caller down, top first: {location, method id}. */
    static int[][] frames() {
        return ContextFrames.below(1);
    }

    /** Checks the caller's whole stack; label names the place in reports. */
    static synchronized void check(String label) {
        if (!enabled()) {
            return;
        }
        int[][] frames = frames();
        StackTraceElement[] trace = instrumentedFrames(new Throwable().getStackTrace());
        checks++;
        // frames[0] and trace[0] are this method; their lines differ by design.
        if (frames.length != trace.length) {
            fail(label, "depth " + frames.length + ", the VM says " + trace.length);
            return;
        }
        for (int i = 0; i < trace.length; i++) {
            StackTraceElement e = trace[i];
            String method = e.getClassName() + "." + e.getMethodName();
            if (LINES && i > 0 && frames[i][0] != e.getLineNumber()) {
                fail(label, "frame " + i + " (" + method + ") at line " + frames[i][0]
                        + ", the VM says " + e.getLineNumber());
            }
            Integer id = Integer.valueOf(frames[i][1]);
            Integer known = IDS.get(method);
            String owner = NAMES.get(id);
            if (known == null && owner == null) {
                IDS.put(method, id);
                NAMES.put(id, method);
            } else if (known == null || !known.equals(id) || !method.equals(owner)) {
                fail(label, "frame " + i + " (" + method + ") has method id " + id
                        + ", which belongs to " + owner);
            }
        }
    }

    /** The VM's frames that the agent instruments: not natives, not java.lang.Thread's. */
    private static StackTraceElement[] instrumentedFrames(StackTraceElement[] trace) {
        int kept = 0;
        StackTraceElement[] result = new StackTraceElement[trace.length];
        for (StackTraceElement e : trace) {
            if (!e.isNativeMethod() && !e.getClassName().equals("java.lang.Thread")) {
                result[kept++] = e;
            }
        }
        StackTraceElement[] exact = new StackTraceElement[kept];
        System.arraycopy(result, 0, exact, 0, kept);
        return exact;
    }

    /** The line the profiler holds for the caller's frame. */
    static int callerLine() {
        int[][] frames = ContextFrames.below(0);  // frames[0]: this method
        return frames.length > 1 ? frames[1][0] : -1;
    }

    static synchronized void fail(String label, String message) {
        failures++;
        System.err.println("stack check " + label + ": " + message);
    }

    /** Prints the summary line on standard error; true when every check passed. */
    static synchronized boolean report() {
        if (!enabled()) {
            System.err.println("stack checks: no profiler context");
            return true;
        }
        System.err.println("stack checks: " + checks + " run, " + failures + " failed");
        return failures == 0;
    }
}
