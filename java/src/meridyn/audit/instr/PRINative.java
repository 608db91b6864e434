// Rewriting of java.lang.Thread by the agent, applied to class bytes at run time.
package meridyn.audit.instr;

public final class PRINative {
    private PRINative() {
    }

    /** The class file rewritten to carry a per-thread context, or null when nothing changed. */
    static native byte[] instrumentThread0(byte[] classFile);

    /** True when the class file already carries the agent's marker. */
    static native boolean isPRIThreadInstrumented0(byte[] classFile);

    /** As instrumentThread0; null also when the agent library is not loaded. */
    public static byte[] instrumentThread(byte[] classFile) {
        try {
            return instrumentThread0(classFile);
        } catch (UnsatisfiedLinkError e) {
            return null;
        }
    }

    /** As isPRIThreadInstrumented0; false also when the agent library is not loaded. */
    public static boolean isThreadInstrumented(byte[] classFile) {
        try {
            return isPRIThreadInstrumented0(classFile);
        } catch (UnsatisfiedLinkError e) {
            return false;
        }
    }
}
