// A Java agent that inserts a static call at the entry of every method and
// before every return and throw of every class the VM offers it, the classes
// already loaded at its start included (it retransforms them). It measures
// the least that instrumenting every method costs in this VM, whoever does
// it. The argument picks what the calls do: "empty" (floor.Empty: nothing)
// or "stack" (floor.Stack: push and pop the method number on a per-thread
// array); "lookup" and "global" split stack's cost: the lookup of the
// thread's array alone, and the push and pop on one array for all threads.
// "rewrite" rewrites as "empty" does but hands the VM nothing back, which
// leaves the rewriting's own cost (ASM in a cold VM); "hook" returns every
// class unchanged at once: the cost of being offered the classes.
// Options: "new" leaves the classes loaded before the agent alone;
// "cache=DIR" keeps each rewritten class in DIR under its name and the CRC-32
// of the bytes it was made from, and takes it from there when the same bytes
// come again: a second run pays for reading files instead of for ASM, the
// nearest a Java agent gets to a rewriting that costs nothing.
// At exit it writes to stderr how many classes and methods it rewrote.
// Usage: java -javaagent:floor.jar=MODE[,new][,cache=DIR] ...
package floor.agent;

import java.io.File;
import java.io.FileInputStream;
import java.io.FileOutputStream;
import java.io.IOException;
import java.lang.instrument.ClassFileTransformer;
import java.lang.instrument.Instrumentation;
import java.security.ProtectionDomain;
import java.util.ArrayList;
import java.util.List;
import java.util.Map;
import java.util.Set;
import java.util.concurrent.atomic.AtomicInteger;
import java.util.zip.CRC32;

import org.objectweb.asm.ClassReader;
import org.objectweb.asm.ClassVisitor;
import org.objectweb.asm.ClassWriter;
import org.objectweb.asm.MethodVisitor;
import org.objectweb.asm.Opcodes;

public final class Agent implements ClassFileTransformer {
    // The class of the inserted calls, in internal form.
    private final String calls;
    private final String mode;
    // Where rewritten classes are kept, or null.
    private final File cache;
    private final AtomicInteger nextMethod = new AtomicInteger();
    final AtomicInteger classes = new AtomicInteger();
    final AtomicInteger methods = new AtomicInteger();
    final AtomicInteger failed = new AtomicInteger();
    final AtomicInteger cached = new AtomicInteger();

    private Agent(String mode, String calls, File cache) {
        this.mode = mode;
        this.calls = calls;
        this.cache = cache;
    }

    public static void premain(String argument, Instrumentation inst) throws Exception {
        String[] words = (argument == null ? "" : argument).split(",");
        String calls;
        if (words[0].equals("empty") || words[0].equals("rewrite") || words[0].equals("hook")) calls = "floor/Empty";
        else if (words[0].equals("stack")) calls = "floor/Stack";
        else if (words[0].equals("lookup")) calls = "floor/Lookup";
        else if (words[0].equals("global")) calls = "floor/Global";
        else throw new IllegalArgumentException("floor agent: the mode is \"empty\", \"stack\", \"lookup\", \"global\", "
                + "\"rewrite\" or \"hook\", not \"" + words[0] + "\"");
        boolean retransform = true;
        File cache = null;
        for (int i = 1; i < words.length; i++) {
            if (words[i].equals("new")) retransform = false;
            else if (words[i].startsWith("cache=")) cache = new File(words[i].substring(6));
            else throw new IllegalArgumentException("floor agent: unknown option \"" + words[i] + "\"");
        }

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

        Agent agent = new Agent(words[0], calls, cache);
        // A first rewrite of a class of our own, through the cache, so that
        // ASM's classes and the file classes are loaded before the agent sees
        // classes it must not meet mid-rewrite.
        try (java.io.InputStream in = Agent.class.getResourceAsStream("Agent.class")) {
            byte[] own = in.readAllBytes();
            if (agent.rewrite("floor/agent/Warm", own, false) == null || agent.fetch("floor/agent/Warm", own) == null) {
                throw new IllegalStateException("floor agent: cannot rewrite its own class");
            }
            agent.classes.set(0);
            agent.methods.set(0);
            agent.cached.set(0);
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
        if (name == null || skipped(name) || mode.equals("hook")) return null;
        try {
            byte[] out = fetch(name, bytes);
            return mode.equals("rewrite") ? null : out;
        } catch (Throwable e) {
            // Not parseable, or a method grown past 64 KB: the class stays as it was.
            failed.incrementAndGet();
            return null;
        }
    }

    // The class with the calls inserted, from the cache when it has it.
    byte[] fetch(String name, byte[] bytes) throws IOException {
        if (cache == null) return rewrite(name, bytes, true);
        CRC32 crc = new CRC32();
        crc.update(bytes, 0, bytes.length);
        File file = new File(cache, name + "." + Long.toHexString(crc.getValue()) + "." + bytes.length);
        if (file.isFile()) {
            try (FileInputStream in = new FileInputStream(file)) {
                byte[] out = in.readAllBytes();
                if (out.length == 0) return null;
                cached.incrementAndGet();
                classes.incrementAndGet();
                return out;
            }
        }
        byte[] out = rewrite(name, bytes, true);
        // Written under another name and renamed, so that a run never reads
        // a half-written class; an empty file says "nothing to rewrite".
        file.getParentFile().mkdirs();
        File part = new File(file.getPath() + ".part" + Thread.currentThread().getId());
        try (FileOutputStream to = new FileOutputStream(part)) {
            if (out != null) to.write(out);
        }
        part.renameTo(file);
        return out;
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
                    + " loaded before the agent, " + agent.cached.get() + " from the cache), " + agent.methods.get()
                    + " methods; " + agent.failed.get() + " classes left unchanged");
        }
    }
}
