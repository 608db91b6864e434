// Reference figures for bench_classfile and bench_instrument: ASM's
// ClassReader -> ClassWriter over the same classes (those whose constant pool
// uses only kinds 1..12, or every class with "all"), in memory, and the same
// with an entry/exit adapter in between (a call with the method's id and
// line at entry, a call before each return; ClassWriter COMPUTE_MAXS), the
// shape of what the agent's class-load hook does. JAR may be a jmod.
// Usage: java -cp asm.jar:asm-commons.jar:asm-tree.jar:. AsmRoundTrip JAR [SECONDS [all]]
import java.io.ByteArrayInputStream;
import java.io.ByteArrayOutputStream;
import java.io.InputStream;
import java.nio.file.Files;
import java.nio.file.Path;
import java.lang.management.ManagementFactory;
import java.lang.management.ThreadMXBean;
import java.util.ArrayList;
import java.util.List;
import java.util.zip.ZipEntry;
import java.util.zip.ZipInputStream;

import org.objectweb.asm.ClassReader;
import org.objectweb.asm.ClassVisitor;
import org.objectweb.asm.ClassWriter;
import org.objectweb.asm.MethodVisitor;
import org.objectweb.asm.Opcodes;
import org.objectweb.asm.Type;
import org.objectweb.asm.commons.AdviceAdapter;

public class AsmRoundTrip {
    // True when every constant-pool entry is of a kind from 1 to 12.
    static boolean plainPool(byte[] b) {
        int count = u16(b, 8);
        int at = 10;
        for (int i = 1; i < count; i++) {
            int tag = b[at] & 0xFF;
            switch (tag) {
                case 1: at += 3 + u16(b, at + 1); break;
                case 3: case 4: case 9: case 10: case 11: case 12: at += 5; break;
                case 5: case 6: at += 9; i++; break;
                case 7: case 8: at += 3; break;
                default: return false;
            }
        }
        return true;
    }

    static int u16(byte[] b, int at) {
        return ((b[at] & 0xFF) << 8) | (b[at + 1] & 0xFF);
    }

    static final String CONTEXT = "meridyn/audit/profiler/ZVContext";

    // didEnterMethod(id, line) at entry into a new local, willExitMethod(it)
    // before each return: the calls the agent inserts, without its catch-all
    // and line probes.
    static class EntryExit extends ClassVisitor {
        int nextId;

        EntryExit(ClassVisitor next) {
            super(Opcodes.ASM9, next);
        }

        @Override
        public MethodVisitor visitMethod(int access, String name, String descriptor, String signature,
                                         String[] exceptions) {
            MethodVisitor mv = super.visitMethod(access, name, descriptor, signature, exceptions);
            if (mv == null || (access & (Opcodes.ACC_ABSTRACT | Opcodes.ACC_NATIVE)) != 0) return mv;
            int id = ++nextId;
            return new AdviceAdapter(Opcodes.ASM9, mv, access, name, descriptor) {
                int context = -1;  // none yet: a constructor before its super() call

                @Override
                protected void onMethodEnter() {
                    push(id);
                    push(0);
                    mv.visitMethodInsn(INVOKESTATIC, CONTEXT, "didEnterMethod", "(II)L" + CONTEXT + ";", false);
                    context = newLocal(Type.getObjectType(CONTEXT));
                    storeLocal(context);
                }

                @Override
                protected void onMethodExit(int opcode) {
                    if (opcode == ATHROW || context < 0) return;
                    loadLocal(context);
                    mv.visitMethodInsn(INVOKESTATIC, CONTEXT, "willExitMethod", "(L" + CONTEXT + ";)V", false);
                }
            };
        }
    }

    // The class files of a jar or a jmod (a zip after a 4-byte header).
    static List<byte[]> readClasses(String path) throws Exception {
        byte[] file = Files.readAllBytes(Path.of(path));
        int skip = path.endsWith(".jmod") ? 4 : 0;
        List<byte[]> classes = new ArrayList<>();
        try (ZipInputStream zip = new ZipInputStream(new ByteArrayInputStream(file, skip, file.length - skip))) {
            for (ZipEntry entry; (entry = zip.getNextEntry()) != null;) {
                if (!entry.getName().endsWith(".class") || entry.getName().endsWith("module-info.class")) continue;
                ByteArrayOutputStream out = new ByteArrayOutputStream();
                zip.transferTo(out);
                classes.add(out.toByteArray());
            }
        }
        return classes;
    }

    interface RoundTrip {
        byte[] run(byte[] bytes);
    }

    // Rounds of the whole corpus for about `seconds` of this thread's CPU
    // time; returns CPU seconds per round. CPU time, like the C++ benchmark's
    // figures, keeps other load on the machine out of the result.
    static double measure(List<byte[]> classes, RoundTrip trip, double seconds) {
        ThreadMXBean threads = ManagementFactory.getThreadMXBean();
        long sink = 0;
        int rounds = 0;
        long start = threads.getCurrentThreadCpuTime();
        long end = start + (long) (seconds * 1e9);
        long now;
        do {
            for (byte[] bytes : classes) sink += trip.run(bytes).length;
            rounds++;
            now = threads.getCurrentThreadCpuTime();
        } while (now < end);
        if (sink == 42) System.out.println();
        return (now - start) / 1e9 / rounds;
    }

    static void report(String name, List<byte[]> classes, long totalBytes, double secondsPerRound) {
        System.out.printf("%-22s %8.2f ms CPU/round %9.1f MB/s %10.0f classes/s%n", name, secondsPerRound * 1e3,
                totalBytes / secondsPerRound / 1e6, classes.size() / secondsPerRound);
    }

    public static void main(String[] args) throws Exception {
        double seconds = args.length > 1 ? Double.parseDouble(args[1]) : 5;
        boolean all = args.length > 2 && args[2].equals("all");
        List<byte[]> classes = new ArrayList<>();
        long totalBytes = 0;
        for (byte[] bytes : readClasses(args[0])) {
            if (!all && !plainPool(bytes)) continue;
            classes.add(bytes);
            totalBytes += bytes.length;
        }
        System.out.printf("asm: %d classes, %d bytes%n", classes.size(), totalBytes);
        // The writer shares the reader's constant pool and copies unchanged
        // methods as bytes: ASM's fastest path, closest to a parse + write.
        RoundTrip copyPool = bytes -> {
            ClassReader reader = new ClassReader(bytes);
            ClassWriter writer = new ClassWriter(reader, 0);
            reader.accept(writer, 0);
            return writer.toByteArray();
        };
        // Every class rebuilt from the reader's events.
        RoundTrip rebuild = bytes -> {
            ClassReader reader = new ClassReader(bytes);
            ClassWriter writer = new ClassWriter(0);
            reader.accept(writer, 0);
            return writer.toByteArray();
        };
        // What a profiling agent's hook would do with ASM.
        RoundTrip entryExit = bytes -> {
            ClassReader reader = new ClassReader(bytes);
            ClassWriter writer = new ClassWriter(reader, ClassWriter.COMPUTE_MAXS);
            reader.accept(new EntryExit(writer), ClassReader.EXPAND_FRAMES);
            return writer.toByteArray();
        };
        measure(classes, copyPool, seconds);  // warm-up
        measure(classes, rebuild, seconds);
        measure(classes, entryExit, seconds);
        report("asm_copy_pool", classes, totalBytes, measure(classes, copyPool, seconds));
        report("asm_rebuild", classes, totalBytes, measure(classes, rebuild, seconds));
        double perRound = measure(classes, entryExit, seconds);
        report("asm_entry_exit", classes, totalBytes, perRound);
        System.out.printf("asm_entry_exit         %8.1f us CPU/class%n", perRound * 1e6 / classes.size());
    }
}
