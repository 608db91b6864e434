// Lets the agent's metrics thread sample for a while, then reports what the
// serialized metrics hold: sampling steps in seconds, the last thread and
// class counts, and whether the heap values are this VM's. Usage: Metrics
// MILLISECONDS [table]; with "table" the probe's handler table answers the
// counts, and how many of the last samples are its answers is reported.
package e2e;

public final class Metrics {
    private static final String[] NAMES = {"Java Heap", "Thread Count", "Class Count"};
    private static final int[] IDS = {0, 5, 6};

    /**
     * How many of the newest samples (value `column` of rows of `words`) are the
     * table's latest answers from base on. The agent asks twice per value and
     * keeps the second, so they step by two calls; the newest is the last call,
     * or an earlier one when a sample was being taken as the calls were counted.
     */
    static int fromTable(int[] samples, int words, int column, int base, int calls) {
        int rows = samples == null ? 0 : samples.length / words;
        int last = rows == 0 ? 0 : samples[(rows - 1) * words + column];
        if (rows == 0 || last < base + calls - 2 || last > base + calls) {
            return 0;
        }
        int run = 1;
        while (run < rows && samples[(rows - 1 - run) * words + column] == last - 2 * run) {
            run++;
        }
        return run;
    }

    public static void main(String[] args) throws Exception {
        if (args.length > 1) {
            Probe.install();
        }
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
            int[] calls = Probe.countCalls();
            if (args.length > 1) {
                System.out.println("table counts: classes " + fromTable(classes, 2, 1, 5000, calls[0]) + " of "
                        + calls[0] + ", threads " + fromTable(threads, 3, 1, 7000, calls[1]) + " and "
                        + fromTable(threads, 3, 2, 8000, calls[1]) + " of " + calls[1]);
            }
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
