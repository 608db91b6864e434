// Compares the profiler's call stack of the current thread with the VM's own
// stack trace: same depth, same source line in every frame, one method id per
// method.
package cpu;

import java.util.EnumSet;
import java.util.HashMap;
import java.util.List;
import java.util.Map;
import java.util.stream.Collectors;

final class StackCheck {
    private static final boolean PRESENT = contextClassPresent();
    /** False when the agent runs without line probes: frames then hold their first line. */
    static final boolean LINES = !"false".equals(System.getProperty("cpu.lines"));
    private static final StackWalker WALKER = StackWalker.getInstance(
            EnumSet.of(StackWalker.Option.SHOW_HIDDEN_FRAMES, StackWalker.Option.RETAIN_CLASS_REFERENCE));
    private static final Map<String, Integer> IDS = new HashMap<String, Integer>();
    private static final Map<Integer, String> NAMES = new HashMap<Integer, String>();
    private static int checks;
    private static int failures;

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

    /** Checks the caller's whole stack; label names the place in reports. */
    static synchronized void check(String label) {
        if (!enabled()) {
            return;
        }
        int[][] frames = ContextFrames.below(0);  // {location, method id}, top first
        List<StackWalker.StackFrame> trace = WALKER.walk(s -> s.filter(StackCheck::instrumented).collect(Collectors.toList()));
        checks++;
        // frames[0] and trace[0] are this method; their lines differ by design.
        if (frames.length != trace.size()) {
            fail(label, "depth " + frames.length + ", the VM says " + trace.size());
            return;
        }
        for (int i = 0; i < trace.size(); i++) {
            StackWalker.StackFrame e = trace.get(i);
            String method = e.getClassName() + "." + e.getMethodName() + e.getDescriptor();
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

    /**
     * The VM's frames that the agent instruments: not natives, not
     * java.lang.Thread's, not those of hidden classes (lambda proxies, lambda
     * forms), which no class-load hook sees. Hidden methods of ordinary
     * classes (AccessController.executePrivileged) are instrumented: the walk
     * shows them, where a Throwable's trace would leave them out.
     */
    private static boolean instrumented(StackWalker.StackFrame frame) {
        Class<?> owner = frame.getDeclaringClass();
        return !frame.isNativeMethod() && owner != Thread.class && !owner.isHidden();
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
