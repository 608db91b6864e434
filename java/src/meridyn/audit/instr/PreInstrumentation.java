// Writes the JDK's java.lang.Thread and java.io.ObjectStreamClass rewritten by
// the agent into a directory, for use with --patch-module java.base=DIR.
// Run it under the agent: java -agentpath:.../libr2orar.so=... meridyn.audit.instr.PreInstrumentation DIR
package meridyn.audit.instr;

import java.io.IOException;
import java.io.InputStream;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;

public final class PreInstrumentation {
    private PreInstrumentation() {
    }

    /** True when the class file already carries the agent's marker. */
    static native boolean isPRIObjectStreamInstrumented0(byte[] classFile);

    /** As isPRIObjectStreamInstrumented0; false also when the agent library is not loaded. */
    public static boolean isObjectStreamInstrumented(byte[] classFile) {
        try {
            return isPRIObjectStreamInstrumented0(classFile);
        } catch (UnsatisfiedLinkError e) {
            return false;
        }
    }

    /** True when the agent library that implements the rewritings is loaded. */
    public static boolean isAgentLoaded() {
        try {
            PRINative.isPRIThreadInstrumented0(new byte[0]);
            return true;
        } catch (UnsatisfiedLinkError e) {
            return false;
        }
    }

    public static void main(String[] args) throws IOException {
        if (args.length != 1) {
            System.err.println("usage: PreInstrumentation OUTPUT_DIR");
            System.exit(2);
        }
        if (!isAgentLoaded()) {
            System.err.println("PreInstrumentation: the agent library is not loaded; run with -agentpath");
            System.exit(1);
        }
        Path out = Paths.get(args[0]);
        byte[] thread = read("java/lang/Thread");
        write(out, "java/lang/Thread",
                PRINative.isThreadInstrumented(thread) ? null : PRINative.instrumentThread(thread));
        byte[] stream = read("java/io/ObjectStreamClass");
        write(out, "java/io/ObjectStreamClass",
                isObjectStreamInstrumented(stream) ? null : DAraraNative.instrumentObjectStream(stream));
    }

    private static byte[] read(String className) throws IOException {
        try (InputStream in = Object.class.getResourceAsStream("/" + className + ".class")) {
            if (in == null) {
                throw new IOException("class file not found: " + className);
            }
            return in.readAllBytes();
        }
    }

    private static void write(Path out, String className, byte[] rewritten) throws IOException {
        if (rewritten == null) {
            System.out.println(className + ": unchanged");
            return;
        }
        Path file = out.resolve(className + ".class");
        Files.createDirectories(file.getParent());
        Files.write(file, rewritten);
        System.out.println(className + ": written to " + file);
    }
}
