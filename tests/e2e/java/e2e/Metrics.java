// Lets the agent's metrics thread sample for a while, then reports what the
// serialized metrics hold: sampling steps in seconds, the last thread and
// class counts, and whether the heap values are this VM's.
package e2e;

public final class Metrics {
    private static final String[] NAMES = {"Java Heap", "Thread Count", "Class Count"};
    private static final int[] IDS = {0, 5, 6};

    private Metrics() {
    }

    public static void main(String[] args) throws Exception {
        Thread.sleep(Long.parseLong(args[0]));
        for (int m = 0; m < NAMES.length; m++) {
            String name = NAMES[m];
            int[] samples = Probe.metricSamples(name);
            if (samples == null) {
                System.out.println(name + ": no samples");
                continue;
            }
            int words = Probe.metricNumber(name, "type") + 1;
            StringBuilder steps = new StringBuilder();
            for (int i = words; i < samples.length; i += words) {
                steps.append(' ').append(samples[i] - samples[i - words]);
            }
            System.out.println(name + ": period " + Probe.metricNumber(name, "period") + ", capacity "
                    + Probe.metricCapacity(IDS[m]) + ", " + samples.length / words + " samples, steps"
                    + steps);
        }
        int[] threads = Probe.metricSamples("Thread Count");
        int[] classes = Probe.metricSamples("Class Count");
        if (threads != null && classes != null) {
            System.out.println("last counts: threads " + threads[threads.length - 1] + ", classes "
                    + classes[classes.length - 1]);
        }
        int[] heap = Probe.metricSamples("Java Heap");
        if (heap != null) {
            Runtime runtime = Runtime.getRuntime();
            long total = runtime.totalMemory();
            boolean sane = true;
            for (int i = 0; i < heap.length; i += 3) {
                long used = heap[i + 1] & 0xFFFFFFFFL;
                long size = heap[i + 2] & 0xFFFFFFFFL;
                sane &= used > 0 && used <= size && size <= runtime.maxMemory();
            }
            long last = heap[heap.length - 1] & 0xFFFFFFFFL;
            System.out.println("heap: used within total " + sane + ", last total is the VM's " + (last == total));
        }
    }
}
