// A Java agent that inserts a static call at the entry of every method and
// before every return and throw of every class the VM offers it, the classes
// already loaded at its start included (it retransforms them). It measures
// the least that instrumenting every method costs in this VM, whoever does
// it. The argument picks what the calls do: "empty" (floor.Empty: nothing)
// or "stack" (floor.Stack: push and pop the method number on a per-thread
// array); "rewrite" rewrites as "empty" does but hands the VM nothing back,
// which leaves the rewriting's own cost (ASM in a cold VM); ",new" leaves the
// classes loaded before the agent alone.
// At exit it writes to stderr how many classes and methods it rewrote.
// Usage: java -javaagent:floor.jar=MODE[,new] ...
package floor.agent;

import java.lang.instrument.ClassFileTransformer;
import java.lang.instrument.Instrumentation;
import java.security.ProtectionDomain;
import java.util.ArrayList;
import java.util.List;
import java.util.Map;
import java.util.Set;
import java.util.concurrent.atomic.AtomicInteger;

import org.objectweb.asm.ClassReader;
import org.objectweb.asm.ClassVisitor;
import org.objectweb.asm.ClassWriter;
import org.objectweb.asm.MethodVisitor;
import org.objectweb.asm.Opcodes;

public final class Agent implements ClassFileTransformer {
    // The class of the inserted calls, in internal form.
    private final String calls;
    // True in the "rewrite" mode: the rewritten classes are dropped.
    private final boolean discard;
    private final AtomicInteger nextMethod = new AtomicInteger();
    final AtomicInteger classes = new AtomicInteger();
    final AtomicInteger methods = new AtomicInteger();
    final AtomicInteger failed = new AtomicInteger();

    private Agent(String calls, boolean discard) {
        this.calls = calls;
        this.discard = discard;
    }

    public static void premain(String argument, Instrumentation inst) throws Exception {
        String[] words = (argument == null ? "" : argument).split(",");
        String calls;
        if (words[0].equals("empty") || words[0].equals("rewrite")) calls = "floor/Empty";
        else if (words[0].equals("stack")) calls = "floor/Stack";
        else throw new IllegalArgumentException("floor agent: the mode is \"empty\", \"stack\" or \"rewrite\", not \""
                + words[0] + "\"");
        boolean retransform = !(words.length > 1 && words[1].equals("new"));

        // Load and link the calls' class (and Stack's entries) now: loading
        // them from inside an inserted call would enter that call again.
        Class<?> target = Class.forName(calls.replace('/', '.'));
        floor.Stack.enter(0);
        floor.Stack.exit();
        // Named modules read only what they declare; the JDK's classes must
        // read the boot loader's unnamed module to link the inserted calls.
        for (Module module : ModuleLayer.boot().modules()) {
            inst.redefineModule(module, Set.of(target.getModule()), Map.of(), Map.of(), Set.of(), Map.of());
        }

        Agent agent = new Agent(calls, words[0].equals("rewrite"));
        // A first rewrite of a class of our own, so that ASM's classes are
        // loaded before the agent sees classes it must not meet mid-rewrite.
        try (java.io.InputStream in = Agent.class.getResourceAsStream("Agent.class")) {
            if (agent.rewrite("floor/agent/Warm", in.readAllBytes(), false) == null) {
                throw new IllegalStateException("floor agent: cannot rewrite its own class");
            }
        }
        inst.addTransformer(agent, true);
        int before = 0;
        if (retransform) {
            List<Class<?>> loaded = new ArrayList<>();
            for (Class<?> c : inst.getAllLoadedClasses()) {
                if (inst.isModifiableClass(c) && !skipped(c.getName().replace('.', '/'))) loaded.add(c);
            }
            try {
                inst.retransformClasses(loaded.toArray(new Class<?>[0]));
            } catch (Throwable all) {
                // One class that the VM refuses fails the whole batch.
                for (Class<?> c : loaded) {
                    try {
                        inst.retransformClasses(c);
                    } catch (Throwable one) {
                        agent.failed.incrementAndGet();
                    }
                }
            }
            before = agent.classes.get();
        }
        Runtime.getRuntime().addShutdownHook(new Report(agent, words[0], before));
    }

    // Its own classes and ASM's: rewriting them would run into itself.
    static boolean skipped(String name) {
        return name.startsWith("floor/") || name.startsWith("org/objectweb/asm/");
    }

    @Override
    public byte[] transform(ClassLoader loader, String name, Class<?> redefined, ProtectionDomain domain,
                            byte[] bytes) {
        if (name == null || skipped(name)) return null;
        try {
            byte[] out = rewrite(name, bytes, true);
            return discard ? null : out;
        } catch (Throwable e) {
            // Not parseable, or a method grown past 64 KB: the class stays as it was.
            failed.incrementAndGet();
            return null;
        }
    }

    // The class with the calls inserted, or null when it has no method body.
    byte[] rewrite(String name, byte[] bytes, boolean count) {
        int version = ((bytes[6] & 0xFF) << 8) | (bytes[7] & 0xFF);
        byte[] input = bytes;
        if (version > Opcodes.V20) {
            // Debian's ASM refuses newer class files (JDK 25's own) though
            // it reads their contents; it reads them as version 20 and the
            // writer puts the real version back.
            input = bytes.clone();
            input[6] = 0;
            input[7] = (byte) Opcodes.V20;
        }
        ClassReader reader = new ClassReader(input);
        // Given the reader, the writer copies the constant pool and the
        // methods that are not rewritten (abstract, native) as they are.
        // COMPUTE_MAXS only: the inserted calls leave the stack and locals
        // as they found them, so the stack map frames stay valid.
        ClassWriter writer = new ClassWriter(reader, ClassWriter.COMPUTE_MAXS);
        Probes probes = new Probes(writer, version);
        reader.accept(probes, 0);
        if (probes.rewritten == 0) return null;
        byte[] out = writer.toByteArray();
        if (count) {
            classes.incrementAndGet();
            methods.addAndGet(probes.rewritten);
        }
        return out;
    }

    // Rewrites every method that has a body, but Object's constructor (which
    // the JIT treats specially, and which Stack's own allocation runs) and the
    // thread-id getters that Stack calls to find the thread's stack.
    private final class Probes extends ClassVisitor {
        private final int version;
        private boolean isObject;
        private boolean isThread;
        int rewritten;

        Probes(ClassVisitor next, int version) {
            super(Opcodes.ASM9, next);
            this.version = version;
        }

        @Override
        public void visit(int ignored, int access, String name, String signature, String superName,
                          String[] interfaces) {
            isObject = name.equals("java/lang/Object");
            isThread = name.equals("java/lang/Thread");
            super.visit(version, access, name, signature, superName, interfaces);
        }

        @Override
        public MethodVisitor visitMethod(int access, String name, String descriptor, String signature,
                                         String[] exceptions) {
            MethodVisitor mv = super.visitMethod(access, name, descriptor, signature, exceptions);
            if (mv == null || (access & (Opcodes.ACC_ABSTRACT | Opcodes.ACC_NATIVE)) != 0
                    || (isObject && name.equals("<init>"))
                    || (isThread && (name.equals("getId") || name.equals("threadId")))) {
                return mv;
            }
            rewritten++;
            return new Calls(mv, nextMethod.incrementAndGet());
        }
    }

    // enter(number) before the first instruction, exit() before each return
    // and athrow.
    private final class Calls extends MethodVisitor {
        private final int number;

        Calls(MethodVisitor next, int number) {
            super(Opcodes.ASM9, next);
            this.number = number;
        }

        @Override
        public void visitCode() {
            super.visitCode();
            if (number <= Short.MAX_VALUE) super.visitIntInsn(Opcodes.SIPUSH, number);
            else super.visitLdcInsn(number);
            super.visitMethodInsn(Opcodes.INVOKESTATIC, calls, "enter", "(I)V", false);
        }

        @Override
        public void visitInsn(int opcode) {
            if ((opcode >= Opcodes.IRETURN && opcode <= Opcodes.RETURN) || opcode == Opcodes.ATHROW) {
                super.visitMethodInsn(Opcodes.INVOKESTATIC, calls, "exit", "()V", false);
            }
            super.visitInsn(opcode);
        }
    }

    // The counts, at exit.
    private static final class Report extends Thread {
        private final Agent agent;
        private final String mode;
        private final int before;

        Report(Agent agent, String mode, int before) {
            this.agent = agent;
            this.mode = mode;
            this.before = before;
        }

        @Override
        public void run() {
            System.err.println("floor " + mode + ": rewrote " + agent.classes.get() + " classes (" + before
                    + " loaded before the agent), " + agent.methods.get() + " methods; "
                    + agent.failed.get() + " classes left unchanged");
        }
    }
}
