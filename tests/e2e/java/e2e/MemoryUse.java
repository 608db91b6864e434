// Allocates a known number of objects with the memory profiler on, lets
// most of them die, and builds a small object graph for a heap dump. The
// natives are the memory test extension's (its library is loaded here again
// with System.load).
package e2e;

public final class MemoryUse {
    static final class Item {
        final int value;
        Item next;

        Item(int value) {
            this.value = value;
        }
    }

    static final class Holder {
        Item[] items;
        String label = "graph";
        int size;
    }

    /** Counts the allocations and frees of this class from now on. */
    static native void watch(Class<?> watched, String dottedName);

    /** Switches the agent's memory profiler on or off (bench/alloc_overhead.sh calls it too). */
    public static native void profile(boolean on);

    /** Watched allocations and frees, allocations inside the handler, GC starts and finishes, the extension's frees. */
    static native int[] counts();

    /** What a heap dump says about the holder, its array and the items in it. */
    static native String dump(Object holder, Object[] items);

    /** The agent's object-array description of the object, with outputs preset. */
    static native String describe(Object object, int maximum);

    public static void main(String[] args) throws Exception {
        System.load(System.getProperty("zv.memory"));
        // A class gets its key when it is prepared, at its first instance.
        Item first = new Item(-1);
        watch(first.getClass(), Item.class.getName());
        Item[] all = new Item[1000];
        profile(true);
        for (int i = 0; i < all.length; i++) {
            all[i] = new Item(i);
        }
        Item[] kept = new Item[5];
        System.arraycopy(all, 0, kept, 0, kept.length);
        all = null;
        int[] counts = counts();
        System.out.println("allocated: " + counts[0] + ", inside the handler: " + counts[2]);
        // Frees are told after the collection, by the VM's own thread.
        long deadline = System.currentTimeMillis() + 20_000;
        while (counts()[1] < 995 && System.currentTimeMillis() < deadline) {
            System.gc();
            Thread.sleep(50);
        }
        profile(false);
        counts = counts();
        System.out.println("freed: " + counts[1] + ", collections seen: " + (counts[3] > 0 && counts[4] > 0)
                + ", extension saw frees: " + (counts[5] >= counts[1] && counts[5] > 0));
        for (int i = 0; i + 1 < kept.length; i++) {
            kept[i].next = kept[i + 1];
        }
        Holder holder = new Holder();
        holder.items = kept;
        holder.size = kept.length;
        System.out.println(dump(holder, kept));
        System.out.println("array: " + describe(kept, 2));
        System.out.println("instance: " + describe(holder, 2));
        System.out.println("kept: " + holder.items.length + " " + holder.label);
    }
}
