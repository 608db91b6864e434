// Backtraces the agent reads from a thread's call stack at a known point: a
// recursion shows its frames top first with their lines, a recursion deeper
// than the backtrace limit shows the top 7400 frames, a marker's display
// name carries its escaped text, and the sampler sees a parked thread's
// stack once it has run and not again until it runs, cut below an
// "Overhead" marker, with the frames of a group as one; the frames' methods
// are those the class loads named, and the services' context is the thread's.
package e2e;

import java.lang.reflect.Method;

public final class Backtraces {
    private static int line;

    static int[] recurse(int n) {
        if (n == 0) {
            int[] frames = Probe.backtrace(); line = new Throwable().getStackTrace()[0].getLineNumber();
            return frames;
        }
        return recurse(n - 1);
    }

    /** Whether the first count frames have one method id and those below the top one location. */
    static boolean sameMethod(int[] frames, int count) {
        for (int i = 1; i < count; i++) {
            if (frames[2 * i + 1] != frames[1] || (i > 1 && frames[2 * i] != frames[2])) {
                return false;
            }
        }
        return true;
    }

    /** The agent's stack here against the VM's, a group's frames as one. */
    static void point() {
        StackTraceElement[] here = new Throwable().getStackTrace(); String stack = Probe.stack();
        StringBuilder expected = new StringBuilder();
        boolean inGroup = false;
        for (StackTraceElement frame : here) {
            boolean grouped = frame.getClassName().equals("e2e.Grouped");
            if (grouped && !inGroup) {
                expected.append(" [Parked]");
            } else if (!grouped) {
                expected.append(' ').append(frame.getClassName()).append('.').append(frame.getMethodName())
                        .append(':').append(frame.getLineNumber());
            }
            inGroup = grouped;
        }
        System.out.println("named: " + (stack.equals(expected.toString()) ? "true" : stack + " | expected" + expected));
    }

    static final Object LOCK = new Object();
    static int[] ownFrames;
    static boolean release;

    static void park(int n) throws InterruptedException {
        if (n > 0) {
            park(n - 1);
            return;
        }
        Grouped.outer(true);
    }

    /** Below the frames the sampler must cut: an "Overhead" marker pushed here. */
    static void aboveGroup() throws InterruptedException {
        Probe.pushOverhead();
        parkHere();
    }

    static void parkHere() throws InterruptedException {
        synchronized (LOCK) {
            Probe.sampleMe();
            ownFrames = Probe.backtrace();
            LOCK.notifyAll();
            while (!release) {
                LOCK.wait();
            }
        }
    }

    /**
     * Whether a snapshot (has-run flag first) holds the methods of the frames below
     * the top two (the parked method and the "Overhead" marker), top first.
     */
    static boolean sameMethods(int[] snapshot, int[] frames) {
        if (snapshot.length != frames.length - 3) {
            return false;
        }
        for (int i = 5; i < frames.length; i += 2) {
            if (snapshot[i - 3] != frames[i]) {
                return false;
            }
        }
        return true;
    }

    static void sampler() throws Exception {
        Thread parked = new Thread(() -> {
            try {
                park(3);
            } catch (InterruptedException e) {
                throw new IllegalStateException(e);
            }
        }, "parked");
        parked.start();
        synchronized (LOCK) {
            while (ownFrames == null) {
                LOCK.wait();
            }
        }
        while (parked.getState() != Thread.State.WAITING) {
            Thread.sleep(1);
        }
        int[] first = Probe.sample(false);
        int[] idle = Probe.sample(false);
        int[] included = Probe.sample(true);
        System.out.println("sampled: " + first[0] + " " + sameMethods(first, ownFrames) + " " + idle[0] + " "
                + idle.length + " " + sameMethods(included, ownFrames));
        // Frames: parkHere, the marker, aboveGroup, the group once, then park.
        System.out.println("grouped: " + (ownFrames[3] == 0xC0000000) + " " + Probe.markerName(ownFrames[7]) + " "
                + (ownFrames[9] == ownFrames[11]));
        synchronized (LOCK) {
            release = true;
            LOCK.notifyAll();
        }
        parked.join();
    }

    public static void main(String[] args) throws Exception {
        Probe.install();
        Grouped.outer(false);
        System.out.println("context: " + Probe.context());
        int[] shallow = recurse(5);
        int callLine = new Throwable().getStackTrace()[0].getLineNumber() - 1;
        System.out.println("shallow: " + (shallow.length / 2 > 6) + " " + sameMethod(shallow, 6) + " "
                + (shallow[0] == line) + " " + (shallow[13] != shallow[1]) + " " + (shallow[12] == callLine));
        // Back from the depth the stack grew to, the thread's frames are in
        // its first array again: a backtrace there reads that one.
        int[][] deep = new int[2][];
        Thread thread = new Thread(null, () -> {
            deep[0] = recurse(9000);
            deep[1] = recurse(5);
        }, "deep", 256L << 20);
        thread.start();
        thread.join();
        System.out.println("deep: " + deep[0].length / 2 + " " + sameMethod(deep[0], 7400) + " "
                + (deep[1].length / 2 < 20 && sameMethod(deep[1], 6) && deep[1][0] == line));
        Method create = Class.forName("meridyn.audit.profiler.ZVContext")
                .getDeclaredMethod("createMarker", String.class, int.class);
        int marker = (Integer) create.invoke(null, "wait \"here\" \u00e9", 0);
        System.out.println("marker: " + Probe.markerName(marker));
        sampler();
    }
}
