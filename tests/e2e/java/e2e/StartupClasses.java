package e2e;

import java.lang.ref.PhantomReference;
import java.lang.ref.ReferenceQueue;
import java.util.HashMap;

// A method of a class the VM loads while it starts (HashMap), called a known
// number of times; and an object whose class has an empty finalize(), which
// one collection frees only when the class is not finalizable.
public class StartupClasses {
    static final class EmptyFinalizer {
        @Override
        @SuppressWarnings("deprecation")
        protected void finalize() {
        }
    }

    public static void main(String[] args) throws Exception {
        HashMap<Integer, Integer> counts = new HashMap<>();
        for (int i = 0; i < 3_000_000; i++) {
            counts.merge(i & 1023, 1, Integer::sum);
        }
        System.out.println("merged: " + counts.get(5));
        ReferenceQueue<Object> queue = new ReferenceQueue<>();
        PhantomReference<Object> reference = new PhantomReference<>(new EmptyFinalizer(), queue);
        System.gc();
        System.out.println("freed by one collection: " + (queue.remove(5000) == reference));
    }
}
