// Loads a class through its own class loader, drops the loader and collects,
// so that the class is unloaded; then waits for two data-dump requests
// (kill -QUIT). Reports what reached the handler table.
package e2e;

import java.net.URL;
import java.net.URLClassLoader;

public final class Unloading {
    private Unloading() {
    }

    public static void main(String[] args) throws Exception {
        Probe.install();
        URL classes = Unloading.class.getProtectionDomain().getCodeSource().getLocation();
        load(classes);
        System.out.println("loaded: " + (Probe.classLoad("e2e.Unloadable") != null));
        long deadline = System.currentTimeMillis() + 20_000;
        while (Probe.unloads() == 0 && System.currentTimeMillis() < deadline) {
            System.gc();
            Thread.sleep(50);
        }
        System.out.println("unloaded: " + (Probe.unloads() > 0));
        System.out.println("ready");
        System.out.flush();
        deadline = System.currentTimeMillis() + 30_000;
        while (Probe.dumpRequests() < 2 && System.currentTimeMillis() < deadline) {
            Thread.sleep(20);
        }
        System.out.println("dump requests: " + Probe.dumpRequests());
    }

    // The loader sees only this one class, so nothing else keeps it alive.
    private static void load(URL classes) throws Exception {
        try (URLClassLoader loader = new URLClassLoader(new URL[] {classes}, null)) {
            Class<?> unloadable = loader.loadClass("e2e.Unloadable");
            unloadable.getMethod("touch").invoke(null);
        }
    }
}
