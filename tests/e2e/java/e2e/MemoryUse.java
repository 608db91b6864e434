// Allocates a known number of objects with the memory profiler on, lets
// most of them die, and builds a small object graph for a heap dump.
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

    private MemoryUse() {
    }

    public static void main(String[] args) throws Exception {
        System.load(System.getProperty("zv.memory"));
        // A class gets its key when it is prepared, at its first instance.
        Item first = new Item(-1);
        Memory.watch(first.getClass(), Item.class.getName());
        Item[] all = new Item[1000];
        Memory.profile(true);
        for (int i = 0; i < all.length; i++) {
            all[i] = new Item(i);
        }
        Item[] kept = new Item[5];
        System.arraycopy(all, 0, kept, 0, kept.length);
        all = null;
        int[] counts = Memory.counts();
        System.out.println("allocated: " + counts[0] + ", inside the handler: " + counts[2]);
        // Frees are told after the collection, by the VM's own thread.
        long deadline = System.currentTimeMillis() + 20_000;
        while (Memory.counts()[1] < 995 && System.currentTimeMillis() < deadline) {
            System.gc();
            Thread.sleep(50);
        }
        Memory.profile(false);
        counts = Memory.counts();
        System.out.println("freed: " + counts[1] + ", collections seen: " + (counts[3] > 0 && counts[4] > 0)
                + ", extension saw frees: " + (counts[5] >= counts[1] && counts[5] > 0));
        for (int i = 0; i + 1 < kept.length; i++) {
            kept[i].next = kept[i + 1];
        }
        Holder holder = new Holder();
        holder.items = kept;
        holder.size = kept.length;
        System.out.println(Memory.dump(holder, kept));
        System.out.println("array: " + Memory.describe(kept, 2));
        System.out.println("instance: " + Memory.describe(holder, 2));
        System.out.println("kept: " + holder.items.length + " " + holder.label);
    }
}
