// A short program whose output must be the same with and without the agent.
package e2e;

public final class Hello {
    public static void main(String[] args) throws Exception {
        long sum = 0;
        for (int i = 1; i <= 1000; i++) {
            sum += (long) i * i;
        }
        Thread worker = new Thread(() -> System.out.println("worker says hello"), "hello-worker");
        worker.start();
        worker.join();
        System.out.println("sum of squares: " + sum);
        System.out.println("AUDIT=" + System.getProperty("AUDIT"));
        System.out.println("zenva.scanForFreePort=" + System.getProperty("zenva.scanForFreePort"));
    }
}
