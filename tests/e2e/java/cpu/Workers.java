// Many threads recursing and throwing at once: each has its own stack.
package cpu;

final class Workers {
    static int run(int count) throws InterruptedException {
        Thread[] threads = new Thread[count];
        final int[] results = new int[count];
        for (int i = 0; i < count; i++) {
            final int index = i;
            threads[i] = new Thread(() -> results[index] = work(index, 200), "worker-" + i);
            threads[i].start();
        }
        int sum = 0;
        for (int i = 0; i < count; i++) {
            threads[i].join();
            sum += results[i];
        }
        return sum;
    }

    static int work(int index, int rounds) {
        int sum = 0;
        for (int r = 0; r < rounds; r++) {
            try {
                sum += climb(index + r % 7);
            } catch (IllegalArgumentException e) {
                sum--;
            }
        }
        StackCheck.check("worker");
        return sum;
    }

    static int climb(int n) {
        if (n == 9) {
            throw new IllegalArgumentException("nine");
        }
        return n == 0 ? 1 : 1 + climb(n - 1);
    }
}
