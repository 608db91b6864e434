// Exact call counts: each thread counts entries in its own context's pages
// (no sharing on the entry path); the totals add the counts of ended threads,
// kept here, to those of the contexts still counting.
package meridyn.audit.profiler;

final class CallCounts {
    /** The ordinary identifier without its filter flag bits. */
    static final int ID_MASK = 0x0FFFFFFF;
    /**
     * Identifiers per page of a context's counts (512 bytes), and the step
     * of its directory's size. A thread's methods lie scattered over the
     * identifiers (numbered in class-load order): small pages keep a thread
     * that calls a few dozen methods at a few KB.
     */
    static final int PAGE_BITS = 7;
    static final int PAGE = 1 << PAGE_BITS;
    static final int DIRECTORY_STEP = 16;

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
                    ended = add(ended, at.callCountPages());
                    break;
                }
            }
        }
    }

    static int[] total() {
        synchronized (LOCK) {
            int[] sum = ended.clone();
            for (ZVContext at = counting; at != null; at = at.nextCounting) {
                sum = add(sum, at.callCountPages());
            }
            return sum;
        }
    }

    /** sum + a context's pages of counts, in sum's array when it is large enough. */
    private static int[] add(int[] sum, int[][] pages) {
        if (pages == null) {
            return sum;
        }
        int last = pages.length - 1;
        while (last >= 0 && pages[last] == null) {
            last--;
        }
        int[] target = sum;
        if ((last + 1) * PAGE > sum.length) {
            target = new int[(last + 1) * PAGE];
            System.arraycopy(sum, 0, target, 0, sum.length);
        }
        for (int p = 0; p <= last; p++) {
            int[] page = pages[p];
            if (page != null) {
                for (int i = 0, at = p * PAGE; i < PAGE; i++) {
                    target[at + i] += page[i];
                }
            }
        }
        return target;
    }
}
