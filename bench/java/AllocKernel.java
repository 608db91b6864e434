// An allocation-heavy kernel timed in one VM with the agent's allocation
// events off and on, alternating round by round; prints the medians and
// their ratio. Needs -Dzv.memory naming the memory test extension library.
import e2e.MemoryUse;

import java.util.Arrays;

public final class AllocKernel {
    static final class Node {
        final int value;
        Node next;

        Node(int value) {
            this.value = value;
        }
    }

    static volatile Object sink;

    // Small objects and arrays, some kept a while so that they escape.
    static long kernel(int count) {
        long start = System.nanoTime();
        Node head = null;
        for (int i = 0; i < count; i++) {
            Node node = new Node(i);
            node.next = (i & 63) == 0 ? null : head;
            head = node;
            if ((i & 15) == 0) sink = new int[8];
        }
        sink = head;
        return System.nanoTime() - start;
    }

    static double median(long[] values) {
        long[] sorted = values.clone();
        Arrays.sort(sorted);
        int n = sorted.length;
        return n % 2 == 1 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2.0;
    }

    public static void main(String[] args) {
        System.load(System.getProperty("zv.memory"));
        int rounds = args.length > 0 ? Integer.parseInt(args[0]) : 7;
        int count = args.length > 1 ? Integer.parseInt(args[1]) : 200_000;
        for (int i = 0; i < 3; i++) {  // warm-up, both ways
            kernel(count);
            MemoryUse.profile(true);
            kernel(count);
            MemoryUse.profile(false);
        }
        long[] off = new long[rounds];
        long[] on = new long[rounds];
        for (int round = 0; round < rounds; round++) {
            off[round] = kernel(count);
            MemoryUse.profile(true);
            on[round] = kernel(count);
            MemoryUse.profile(false);
            System.out.printf("round %d/%d: off %.1f ms, on %.1f ms%n", round + 1, rounds, off[round] / 1e6,
                    on[round] / 1e6);
        }
        double objects = count + count / 16.0;
        System.out.printf("allocations per round: %.0f%n", objects);
        System.out.printf("median off: %.1f ms (%.1f ns per allocation)%n", median(off) / 1e6, median(off) / objects);
        System.out.printf("median on:  %.1f ms (%.1f ns per allocation)%n", median(on) / 1e6, median(on) / objects);
        System.out.printf("ratio on/off: %.2f%n", median(on) / median(off));
    }
}
