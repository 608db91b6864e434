package cpu;

import meridyn.audit.profiler.ZVTime;

/** Calls the clock native until the VM compiles it; prints whether time ran forward. */
public final class DirectTime {
    public static void main(String[] args) {
        long first = ZVTime.time0();
        long last = first;
        boolean forward = true;
        for (int i = 0; i < 300_000; i++) {
            long now = ZVTime.time0();
            forward &= now >= last;
            last = now;
        }
        System.out.println("clock ran forward: " + (forward && last > first));
    }
}
