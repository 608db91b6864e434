// Rewriting of java.io.ObjectStreamClass by the agent, applied to class bytes at run time.
package meridyn.audit.instr;

public final class DAraraNative {
    private DAraraNative() {
    }

    /** The class file with the serialization filters inserted, or null when nothing changed. */
    static native byte[] instrumentObjectStream0(byte[] classFile);

    /** As instrumentObjectStream0; null also when the agent library is not loaded. */
    public static byte[] instrumentObjectStream(byte[] classFile) {
        try {
            return instrumentObjectStream0(classFile);
        } catch (UnsatisfiedLinkError e) {
            return null;
        }
    }
}
