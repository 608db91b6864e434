// A class that e2e.Threads loads through a throw-away class loader.
package e2e;

public final class Unloadable {
    private Unloadable() {
    }

    public static int touch() {
        return 42;
    }
}
