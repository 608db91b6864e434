// Starts threads in nested groups and reports what the agent's registry and
// handler table saw of them and of the classes loaded.
package e2e;

import java.util.Arrays;
import java.util.concurrent.CountDownLatch;

public final class Threads {
    private Threads() {
    }

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
        System.out.println("started: " + String.join(",", filter(Probe.started())));
        System.out.println("ended: " + String.join(",", filter(Probe.ended())));
        System.out.println("system thread: " + Probe.systemThread("sampler"));
        System.out.println("class java.lang.Object: " + Probe.classLoad("java.lang.Object"));
        System.out.println("class e2e.Threads: " + Probe.classLoad("e2e.Threads"));
    }

    /** The workers' names in name order: the two start in no particular order. */
    private static String[] filter(String[] names) {
        return Arrays.stream(names).filter(n -> n.startsWith("worker-")).sorted().toArray(String[]::new);
    }
}
