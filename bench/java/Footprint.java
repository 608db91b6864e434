// Resident memory of the process after start-up and after starting many
// threads that each run instrumented code, for the agent's cost per thread.
import java.nio.file.Files;
import java.nio.file.Paths;
import java.util.concurrent.CountDownLatch;

public final class Footprint {
    private Footprint() {
    }

    static long residentKb() throws Exception {
        for (String line : Files.readAllLines(Paths.get("/proc/self/status"))) {
            if (line.startsWith("VmRSS:")) {
                return Long.parseLong(line.replaceAll("[^0-9]", ""));
            }
        }
        return -1;
    }

    static int depth(int n) {
        return n == 0 ? 0 : 1 + depth(n - 1);
    }

    public static void main(String[] args) throws Exception {
        int count = Integer.parseInt(args[0]);
        System.gc();
        long before = residentKb();
        final CountDownLatch started = new CountDownLatch(count);
        final CountDownLatch release = new CountDownLatch(1);
        Thread[] threads = new Thread[count];
        for (int i = 0; i < count; i++) {
            threads[i] = new Thread(new Runnable() {
                @Override
                public void run() {
                    depth(20);
                    started.countDown();
                    try {
                        release.await();
                    } catch (InterruptedException e) {
                        Thread.currentThread().interrupt();
                    }
                }
            });
            threads[i].start();
        }
        started.await();
        long after = residentKb();
        // On request (a second argument), the VM's count of the Java heap
        // bytes the threads allocated, read after the resident size so that
        // the classes it loads weigh on neither figure.
        long allocated = 0;
        java.lang.management.ThreadMXBean mx = args.length > 1 ? java.lang.management.ManagementFactory.getThreadMXBean() : null;
        if (mx instanceof com.sun.management.ThreadMXBean) {
            for (Thread t : threads) {
                allocated += Math.max(0, ((com.sun.management.ThreadMXBean) mx).getThreadAllocatedBytes(t.getId()));
            }
        }
        release.countDown();
        for (Thread t : threads) {
            t.join();
        }
        System.out.println("start " + before + " threads " + (after - before) 
                + (mx != null ? " allocated " + allocated / count : ""));
    }
}
