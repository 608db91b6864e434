// Waits for data-dump requests (kill -QUIT) to reach the agent's handler table.
package e2e;

public final class DumpWait {
    private DumpWait() {
    }

    public static void main(String[] args) throws Exception {
        Probe.install();
        System.out.println("ready");
        System.out.flush();
        long deadline = System.currentTimeMillis() + 30_000;
        while (Probe.dumpRequests() < 2 && System.currentTimeMillis() < deadline) {
            Thread.sleep(20);
        }
        System.out.println("dump requests: " + Probe.dumpRequests());
    }
}
