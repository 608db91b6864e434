// The calls of the floor agent's "global" mode: Stack's push and pop on one
// array for the whole process, without finding the thread's own. Threads
// overwrite each other's entries (the index is masked, so nothing breaks):
// a measure only, of what the stores cost without the lookup.
package floor;

public final class Global {
    private Global() {
    }

    private static final int[] methods = new int[1024];
    private static int depth;

    public static void enter(int method) {
        int d = depth;
        methods[d & 1023] = method;
        depth = d + 1;
    }

    public static void exit() {
        depth--;
    }
}
