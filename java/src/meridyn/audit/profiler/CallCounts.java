// Exact call counts: each thread counts entries in its own context's array
// (no sharing on the entry path); the totals add the counts of ended threads,
// kept here, to those of the contexts still counting.
package meridyn.audit.profiler;

final class CallCounts {
    /** The ordinary identifier without its filter flag bits. */
    static final int ID_MASK = 0x0FFFFFFF;
    static final int INITIAL = 1024;

    private static final Object LOCK = new Object();
    private static ZVContext counting;
    private static int[] ended = new int[0];

    private CallCounts() {
    }

    static void register(ZVContext context) {
        synchronized (LOCK) {
            context.nextCounting = counting;
            counting = context;
        }
    }

    /** The thread has ended: its counts move to the ended totals. */
    static void retire(ZVContext context) {
        synchronized (LOCK) {
            ZVContext previous = null;
            for (ZVContext at = counting; at != null; previous = at, at = at.nextCounting) {
                if (at == context) {
                    if (previous == null) {
                        counting = at.nextCounting;
                    } else {
                        previous.nextCounting = at.nextCounting;
                    }
                    ended = add(ended, at.callCounts());
                    break;
                }
            }
        }
    }

    static int[] total() {
        synchronized (LOCK) {
            int[] sum = add(new int[0], ended);
            for (ZVContext at = counting; at != null; at = at.nextCounting) {
                sum = add(sum, at.callCounts());
            }
            return sum;
        }
    }

    /** sum + counts, in sum's array when it is large enough. */
    private static int[] add(int[] sum, int[] counts) {
        if (counts == null) {
            return sum;
        }
        int[] target = sum;
        if (counts.length > sum.length) {
            target = new int[counts.length];
            System.arraycopy(sum, 0, target, 0, sum.length);
        }
        for (int i = 0; i < counts.length; i++) {
            target[i] += counts[i];
        }
        return target;
    }
}
