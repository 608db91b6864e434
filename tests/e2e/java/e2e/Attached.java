package e2e;

import java.io.File;

// A program started without the agent, for one to be attached while it runs:
// it spins in round() and, each time a file BASE.N (N = 1, 2, 3) appears, runs
// a known call pattern once; it ends when BASE.stop appears (or after two minutes).
public class Attached {
    static volatile long sink;

    static long spin() {
        long x = 1;
        for (int i = 0; i < 100_000; i++) x = x * 31 + i;
        return x;
    }

    static void round() {
        sink += spin();
    }

    static int leaf(int i) {
        return i + 1;
    }

    static int pattern() {
        int sum = 0;
        for (int i = 0; i < 1000; i++) sum += leaf(i);
        return sum;
    }

    public static void main(String[] args) {
        String base = args[0];
        System.out.println("workload started");
        // Made once: the loop calls few methods besides its own.
        File stop = new File(base + ".stop");
        File[] phases = {new File(base + ".1"), new File(base + ".2"), new File(base + ".3")};
        long end = System.nanoTime() + 120_000_000_000L, check = 0;
        int phase = 0;
        while (System.nanoTime() < end) {
            round();
            if (System.nanoTime() < check) continue;
            check = System.nanoTime() + 50_000_000L;
            if (stop.exists()) break;
            if (phase < 3 && phases[phase].exists()) {
                phase++;
                long total = 0;
                for (int i = 0; i < 1000; i++) total += pattern();
                System.out.println("pattern " + phase + ": " + total);
            }
        }
        System.out.println("workload ended");
    }
}
