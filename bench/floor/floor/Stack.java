// The calls of the floor agent's "stack" mode: a minimal call-stack keeper
// that pushes the method number at entry and pops it at exit, on an int
// array of the current thread. On the boot class path with Empty.
//
// A thread finds its stack without a field of its own in java.lang.Thread: a
// ThreadLocal lookup costs several calls (each of them instrumented too), so
// the stacks live in an open-addressed table indexed by the thread's id (a
// final field, numbered from 1 as threads are made, so threads rarely
// collide), each entry naming its owner. Only the owner writes an entry's
// stack; the table takes a lock only to file a new thread. This code may
// call no instrumented method (the floor agent leaves Thread.getId alone):
// every call from here would enter again before the stack is found.
package floor;

public final class Stack {
    private Stack() {
    }

    // One thread's stack. The owner is final, so a thread that reads another
    // thread's newly filed entry sees its owner, not null.
    static final class Frames {
        final Thread owner;
        final int[] methods = new int[1024];
        int depth;

        Frames(Thread owner) {
            this.owner = owner;
        }
    }

    // Entries of threads that ended stay: a run of a benchmark program has
    // far fewer threads than slots. When the table is full, a thread gets
    // a stack of its own for each call, so it keeps none (and nothing breaks).
    // Free slots hold an entry owned by no thread, which spares the fast
    // path a null test: frames() stays small enough for C1 to inline it.
    private static final int SLOTS = 1 << 14;
    private static final Frames FREE = new Frames(null);
    private static final Frames[] table = new Frames[SLOTS];

    static {
        for (int i = 0; i < SLOTS; i++) table[i] = FREE;
    }

    public static void enter(int method) {
        Frames f = frames();
        int d = f.depth;
        // Deeper than the array: count the depth only, as exceptions that
        // unwind without passing an exit leave frames behind.
        if (d < f.methods.length) f.methods[d] = method;
        f.depth = d + 1;
    }

    public static void exit() {
        Frames f = frames();
        if (f.depth > 0) f.depth--;
    }

    static Frames frames() {
        Thread t = Thread.currentThread();
        Frames f = table[(int) t.getId() & (SLOTS - 1)];
        return f.owner == t ? f : find(t);
    }

    // A thread whose home slot another took: its entry is further on, before
    // the first free slot. A stale read of a free slot only sends it to file().
    private static Frames find(Thread t) {
        int slot = (int) t.getId() & (SLOTS - 1);
        for (int i = 1; i < SLOTS; i++) {
            Frames f = table[(slot + i) & (SLOTS - 1)];
            if (f == FREE) break;
            if (f.owner == t) return f;
        }
        return file(t, slot);
    }

    // The slow path: probes from the thread's slot for its entry or a free
    // slot, under the table's lock so that two new threads never share one.
    private static Frames file(Thread t, int slot) {
        synchronized (table) {
            for (int i = 0; i < SLOTS; i++) {
                int s = (slot + i) & (SLOTS - 1);
                Frames f = table[s];
                if (f == FREE) {
                    f = new Frames(t);
                    table[s] = f;
                    return f;
                }
                if (f.owner == t) return f;
            }
        }
        return new Frames(t);
    }
}
