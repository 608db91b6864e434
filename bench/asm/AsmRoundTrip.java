// Reference figures for bench_classfile: ASM's ClassReader -> ClassWriter over
// the same classes (those whose constant pool uses only kinds 1..12), in memory.
// Usage: java -cp asm.jar:. AsmRoundTrip JAR [SECONDS]
import java.io.ByteArrayOutputStream;
import java.io.InputStream;
import java.lang.management.ManagementFactory;
import java.lang.management.ThreadMXBean;
import java.util.ArrayList;
import java.util.Enumeration;
import java.util.List;
import java.util.zip.ZipEntry;
import java.util.zip.ZipFile;

import org.objectweb.asm.ClassReader;
import org.objectweb.asm.ClassWriter;

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
        List<byte[]> classes = new ArrayList<>();
        long totalBytes = 0;
        try (ZipFile jar = new ZipFile(args[0])) {
            for (Enumeration<? extends ZipEntry> e = jar.entries(); e.hasMoreElements();) {
                ZipEntry entry = e.nextElement();
                if (!entry.getName().endsWith(".class")) continue;
                ByteArrayOutputStream out = new ByteArrayOutputStream();
                try (InputStream in = jar.getInputStream(entry)) {
                    in.transferTo(out);
                }
                byte[] bytes = out.toByteArray();
                if (!plainPool(bytes)) continue;
                classes.add(bytes);
                totalBytes += bytes.length;
            }
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
        measure(classes, copyPool, seconds);  // warm-up
        measure(classes, rebuild, seconds);
        report("asm_copy_pool", classes, totalBytes, measure(classes, copyPool, seconds));
        report("asm_rebuild", classes, totalBytes, measure(classes, rebuild, seconds));
    }
}
