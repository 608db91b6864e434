// The calls that the floor agent's "empty" mode inserts: they do nothing, so
// a run measures only what inserting a static call into every method costs
// (bigger methods, JIT work, lost inlining). On the boot class path, so that
// the JDK's own classes can call it.
package floor;

public final class Empty {
    private Empty() {
    }

    public static void enter(int method) {
    }

    public static void exit() {
    }
}
