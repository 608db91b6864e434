// Exact method timing: each thread keeps its own call tree of the methods it
// ran, with invocations, total, minimum and maximum time per call path, from
// the agent's clock (ZVTime.time0, in its units) read at entry and at exit. Only the owning thread writes a
// tree; ended threads' trees are merged into one kept here.
package meridyn.audit.profiler;

final class MethodTimes {
    /** Ints per node of a snapshot: parent, method id, calls, total, min, max. */
    static final int SNAPSHOT_WIDTH = 6;

    private static final Object LOCK = new Object();
    private static MethodTimes live;
    private static final MethodTimes ENDED = new MethodTimes();

    /** Methods to time by number (ids without flag bits); null: every method. */
    static volatile boolean[] timed;

    // Nodes; node 0 is the root (method 0). A node's parent has a smaller index.
    private int[] method = new int[64];
    private int[] parent = new int[64];
    private long[] calls = new long[64];
    private long[] total = new long[64];
    private long[] min = new long[64];
    private long[] max = new long[64];
    /**
     * Per node, the child entered last (its method and node): a call site
     * mostly calls the same method again, so most entries find their node
     * here without hashing.
     */
    private int[] lastMethod = new int[64];
    private int[] lastChild = new int[64];
    private int size = 1;
    /** Open addressing on (parent, method): node indexes, 0 for free. */
    private int[] slots = new int[128];

    // Frames open on this thread: node, stack pointer at entry, entry time.
    private int[] frameNode = new int[64];
    private int[] frameSp = new int[64];
    private long[] frameStart = new long[64];
    private int depth;

    private MethodTimes next;

    /** Whether entries of this method are timed (ordinary ids only). */
    static boolean isTimed(int methodId) {
        if (methodId <= 0) {
            return false;
        }
        boolean[] only = timed;
        int index = methodId & CallCounts.ID_MASK;
        return only == null || (index < only.length && only[index]);
    }

    /** The calling thread's new tree, listed for snapshots. */
    static MethodTimes register() {
        MethodTimes times = new MethodTimes();
        synchronized (LOCK) {
            times.next = live;
            live = times;
        }
        return times;
    }

    /** The thread has ended: its tree moves into the ended threads' tree. */
    static void retire(MethodTimes times) {
        synchronized (LOCK) {
            MethodTimes previous = null;
            for (MethodTimes at = live; at != null; previous = at, at = at.next) {
                if (at == times) {
                    if (previous == null) {
                        live = at.next;
                    } else {
                        previous.next = at.next;
                    }
                    ENDED.add(at, 0);
                    break;
                }
            }
        }
    }

    /** Marks methods to time; from the first call on, the others are not timed. */
    static void markTimed(int[] numbers) {
        synchronized (LOCK) {
            boolean[] only = timed;
            int largest = -1;
            for (int number : numbers) {
                largest = number > largest ? number : largest;
            }
            int length = only == null ? 1024 : only.length;
            while (length <= largest) {
                length *= 2;
            }
            boolean[] marks = new boolean[length];
            if (only != null) {
                System.arraycopy(only, 0, marks, 0, only.length);
            }
            for (int number : numbers) {
                if (number >= 0) {
                    marks[number] = true;
                }
            }
            timed = marks;
        }
    }

    /**
     * Every thread's tree merged: SNAPSHOT_WIDTH longs per node, parents
     * before children. Frames still open count the time they have run so far.
     */
    static long[] snapshot() {
        MethodTimes all = new MethodTimes();
        long now = ZVTime.time0();
        synchronized (LOCK) {
            all.add(ENDED, 0);
            for (MethodTimes at = live; at != null; at = at.next) {
                all.add(at, now);
            }
        }
        long[] out = new long[all.size * SNAPSHOT_WIDTH];
        for (int i = 0; i < all.size; i++) {
            int at = i * SNAPSHOT_WIDTH;
            out[at] = all.parent[i];
            out[at + 1] = all.method[i];
            out[at + 2] = all.calls[i];
            out[at + 3] = all.total[i];
            out[at + 4] = all.calls[i] > 0 ? all.min[i] : 0;
            out[at + 5] = all.max[i];
        }
        return out;
    }

    // ------------------------------------------------------------ the owning thread

    /**
     * A timed method was entered; its frame's stack pointer is sp. The clock
     * is read last, so that finding the node is not counted in the call.
     */
    void enter(int methodId, int sp) {
        int open = depth;
        int of = open > 0 ? frameNode[open - 1] : 0;
        int node = lastMethod[of] == methodId ? lastChild[of] : child(of, methodId);
        if (open == frameNode.length) {
            growFrames();
        }
        frameNode[open] = node;
        frameSp[open] = sp;
        // (A snapshot reads the frames up to depth: the start is there first.)
        frameStart[open] = ZVTime.time0();
        depth = open + 1;
    }

    private void growFrames() {
        int length = depth * 2;
        frameNode = grown(frameNode, length);
        frameSp = grown(frameSp, length);
        frameStart = grown(frameStart, length);
    }

    /**
     * The frames entered at stack pointer sp or above have ended (a return,
     * or an exception that left them): each is timed as returning now. The
     * clock is read only when a timed frame ends.
     */
    void exitFrom(int sp) {
        int open = depth;
        if (open == 0 || frameSp[open - 1] < sp) {
            return;
        }
        long now = ZVTime.time0();
        do {
            open--;
            int node = frameNode[open];
            long time = now - frameStart[open];
            if (time < 0) {
                time = 0;
            }
            calls[node]++;
            total[node] += time;
            if (time < min[node]) {
                min[node] = time;
            }
            if (time > max[node]) {
                max[node] = time;
            }
        } while (open > 0 && frameSp[open - 1] >= sp);
        depth = open;
    }

    /** The stack pointer of the innermost open timed frame; 0 when none is open. */
    int innermostFrame() {
        return depth > 0 ? frameSp[depth - 1] : 0;
    }

    /** A method entered and left at once (no frame of its own): one call of no time. */
    void quick(int methodId) {
        int of = depth > 0 ? frameNode[depth - 1] : 0;
        int node = lastMethod[of] == methodId ? lastChild[of] : child(of, methodId);
        calls[node]++;
        min[node] = 0;
    }

    /** The thread's stack was emptied (its end): no frame is open. */
    void clearFrames() {
        depth = 0;
    }

    // ------------------------------------------------------------ the tree

    private MethodTimes() {
        min[0] = Long.MAX_VALUE;
    }

    // Growth and bounds without JDK methods: those have bytecode, are
    // instrumented, and would re-enter the context in the middle of an entry.
    private static int[] grown(int[] old, int length) {
        int[] bigger = new int[length];
        System.arraycopy(old, 0, bigger, 0, old.length);
        return bigger;
    }

    private static long[] grown(long[] old, int length) {
        long[] bigger = new long[length];
        System.arraycopy(old, 0, bigger, 0, old.length);
        return bigger;
    }

    private static int least(int a, int b) {
        return a < b ? a : b;
    }

    private static int hash(int parent, int method) {
        int h = parent * 0x9E3779B1 + method * 0x85EBCA77;
        return h ^ (h >>> 15);
    }

    /** The node of methodId under node of, made when new; remembered as of's last child. */
    private int child(int of, int methodId) {
        int mask = slots.length - 1;
        for (int at = hash(of, methodId) & mask;; at = (at + 1) & mask) {
            int node = slots[at];
            if (node == 0) {
                node = added(of, methodId, at);
            } else if (parent[node] != of || method[node] != methodId) {
                continue;
            }
            lastMethod[of] = methodId;
            lastChild[of] = node;
            return node;
        }
    }

    private int added(int of, int methodId, int slot) {
        if (size == method.length) {
            int length = size * 2;
            method = grown(method, length);
            parent = grown(parent, length);
            calls = grown(calls, length);
            total = grown(total, length);
            min = grown(min, length);
            max = grown(max, length);
            lastMethod = grown(lastMethod, length);
            lastChild = grown(lastChild, length);
        }
        int node = size++;
        method[node] = methodId;
        parent[node] = of;
        min[node] = Long.MAX_VALUE;
        slots[slot] = node;
        if (2 * size > slots.length) {
            rehash();
        }
        return node;
    }

    private void rehash() {
        int[] bigger = new int[slots.length * 2];
        int mask = bigger.length - 1;
        for (int node = 1; node < size; node++) {
            int at = hash(parent[node], method[node]) & mask;
            while (bigger[at] != 0) {
                at = (at + 1) & mask;
            }
            bigger[at] = node;
        }
        slots = bigger;
    }

    /**
     * Adds another tree's nodes to this one by call path; with now > 0 the
     * other's open frames add the time they have run until now. The other
     * tree may be changing (its thread runs on): only what is in range is read.
     */
    private void add(MethodTimes other, long now) {
        int[] otherMethod = other.method, otherParent = other.parent;
        long[] otherCalls = other.calls, otherTotal = other.total, otherMin = other.min, otherMax = other.max;
        int count = least(other.size, least(least(otherMethod.length, otherParent.length),
                least(least(otherCalls.length, otherTotal.length), least(otherMin.length, otherMax.length))));
        int[] mapped = new int[count];
        for (int i = 1; i < count; i++) {
            int up = otherParent[i];
            int node = child(up >= 0 && up < i ? mapped[up] : 0, otherMethod[i]);
            mapped[i] = node;
            calls[node] += otherCalls[i];
            total[node] += otherTotal[i];
            if (otherMin[i] < min[node]) {
                min[node] = otherMin[i];
            }
            if (otherMax[i] > max[node]) {
                max[node] = otherMax[i];
            }
        }
        if (now > 0) {
            int[] nodes = other.frameNode;
            int open = other.depth;
            long[] starts = other.frameStart;
            for (int d = 0; d < open && d < nodes.length && d < starts.length; d++) {
                int node = nodes[d];
                if (node > 0 && node < count && now > starts[d]) {
                    total[mapped[node]] += now - starts[d];
                }
            }
        }
    }
}
