// Two frames that a filter file puts in one group, between callers and
// callees of the tests that read stacks.
package e2e;

final class Grouped {
    static void outer(boolean park) throws InterruptedException {
        inner(park);
    }

    static void inner(boolean park) throws InterruptedException {
        if (park) {
            Backtraces.aboveGroup();
        } else {
            Backtraces.point();
        }
    }
}
