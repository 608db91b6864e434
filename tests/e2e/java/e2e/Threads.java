// Starts threads in nested groups and reports what the agent's registry and
// handler table saw of them and of the classes loaded; unloads a class; then
// waits for two data-dump requests (kill -QUIT) after printing "ready".
package e2e;

import java.net.URL;
import java.net.URLClassLoader;
import java.util.Arrays;
import java.util.concurrent.CountDownLatch;

public final class Threads {
    public static void main(String[] args) throws Exception {
        Probe.install();
        System.out.println("main: " + Probe.self());
        ThreadGroup outer = new ThreadGroup("outer");
        ThreadGroup inner = new ThreadGroup(outer, "inner");
        CountDownLatch registered = new CountDownLatch(2);
        CountDownLatch release = new CountDownLatch(1);
        Runnable body = () -> {
            System.out.println("self: " + Probe.self());
            registered.countDown();
            try {
                release.await();
            } catch (InterruptedException e) {
                Thread.currentThread().interrupt();
            }
        };
        Thread a = new Thread(outer, body, "worker-a");
        Thread b = new Thread(inner, body, "worker-b");
        a.start();
        b.start();
        registered.await();
        String[] during = Probe.registry();
        Arrays.sort(during);
        for (String entry : during) {
            if (entry.startsWith("worker-")) {
                System.out.println("registered: " + entry);
            }
        }
        release.countDown();
        a.join();
        b.join();
        for (String entry : Probe.registry()) {
            if (entry.startsWith("worker-")) {
                System.out.println("still registered: " + entry);
            }
        }
        System.out.println("started: " + String.join(",", filter(Probe.threads(false))));
        System.out.println("ended: " + String.join(",", filter(Probe.threads(true))));
        System.out.println("system thread: " + Probe.systemThread("sampler"));
        System.out.println("class java.lang.Object: " + Probe.classLoad("java.lang.Object"));
        System.out.println("class e2e.Threads: " + Probe.classLoad("e2e.Threads"));
        jvmpiEvents();
        unloading();
        System.out.println("ready");
        System.out.flush();
        long deadline = System.currentTimeMillis() + 30_000;
        while (Probe.dumpRequests() < 2 && System.currentTimeMillis() < deadline) {
            Thread.sleep(20);
        }
        System.out.println("dump requests: " + Probe.dumpRequests());
    }

    /** Loads e2e.Hello through a loader of its own, drops the loader and collects until the class is unloaded. */
    private static void unloading() throws Exception {
        URL classes = Threads.class.getProtectionDomain().getCodeSource().getLocation();
        try (URLClassLoader loader = new URLClassLoader(new URL[] {classes}, null)) {
            Class.forName("e2e.Hello", true, loader);
        }
        System.out.println("loaded: " + (Probe.classLoad("e2e.Hello") != null));
        long deadline = System.currentTimeMillis() + 20_000;
        while (Probe.unloads() == 0 && System.currentTimeMillis() < deadline) {
            System.gc();
            Thread.sleep(50);
        }
        System.out.println("unloaded: " + (Probe.unloads() > 0));
    }

    /** Collections, sampled allocations and method calls reach the handler table once switched on. */
    private static void jvmpiEvents() {
        String[] granted = Probe.enableEvents().split("\\|");
        System.out.println("granted: gc " + granted[0] + ", allocations " + granted[1] + ", methods " + granted[2]);
        long[][] kept = new long[256][];
        for (int i = 0; i < kept.length; i++) {
            kept[i] = new long[1 << 15]; // 64 MB in all: well above the sampling interval
        }
        System.gc();
        for (int i = 0; i < 100; i++) {
            Integer.toString(i);
        }
        int[] n = Probe.eventCounts();
        System.out.println("gc: " + (n[0] > 0) + " " + (n[1] > 0) + " " + (n[0] - n[1] <= 1));
        System.out.println("allocations: " + (n[2] > 0) + " " + (n[3] > 0));
        // Method events need a capability the VM may grant only at start-up.
        boolean methods = granted[2].equals("1");
        System.out.println("methods: " + (methods ? n[4] > 100 && n[5] > 100 : n[4] == 0 && n[5] == 0));
    }

    /** The workers' names in name order: the two start in no particular order. */
    private static String[] filter(String[] names) {
        return Arrays.stream(names).filter(n -> n.startsWith("worker-")).sorted().toArray(String[]::new);
    }
}
