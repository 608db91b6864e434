// Call-heavy kernels for measuring instrumentation cost: a recursive kernel
// (almost nothing but calls) and an object-heavy one (allocation, collections,
// virtual calls into the JDK). Each runs for a fixed amount of work after a
// warm-up and prints its own time, so VM start-up does not count.
import java.util.ArrayList;
import java.util.HashMap;
import java.util.List;
import java.util.Map;

public final class Kernels {
    private Kernels() {
    }

    static int fib(int n) {
        return n < 2 ? n : fib(n - 1) + fib(n - 2);
    }

    // The floor an instrumenting profiler is held to: the same recursion with
    // a hand-written push of two ints (location, method id) at entry and a pop
    // at exit, into a stack that a plain static field holds.
    static final class Frames {
        int[] stack = new int[4096];
        int top;
    }

    static Frames frames = new Frames();

    static int fibFloor(int n) {
        Frames f = frames;
        int sp = f.top + 2;
        int[] stack = f.stack;
        stack[sp] = 14;
        stack[sp + 1] = 7;
        f.top = sp;
        int result = n < 2 ? n : fibFloor(n - 1) + fibFloor(n - 2);
        f.top = sp - 2;
        return result;
    }

    static long timeFloor(int repeats) {
        long start = System.nanoTime();
        long check = 0;
        for (int i = 0; i < repeats; i++) {
            check += fibFloor(27);
        }
        long millis = (System.nanoTime() - start) / 1000000;
        if (check == 42) {
            System.out.println();
        }
        return millis;
    }

    static final class Node {
        final int value;
        final Node next;

        Node(int value, Node next) {
            this.value = value;
            this.next = next;
        }

        int sum() {
            int total = 0;
            for (Node n = this; n != null; n = n.next) {
                total += n.value;
            }
            return total;
        }
    }

    static long objects(int rounds) {
        long check = 0;
        for (int r = 0; r < rounds; r++) {
            Map<Integer, List<Node>> buckets = new HashMap<Integer, List<Node>>();
            for (int i = 0; i < 2000; i++) {
                Integer key = Integer.valueOf(i % 64);
                List<Node> list = buckets.get(key);
                if (list == null) {
                    list = new ArrayList<Node>();
                    buckets.put(key, list);
                }
                list.add(new Node(i, list.isEmpty() ? null : list.get(list.size() - 1)));
            }
            for (List<Node> list : buckets.values()) {
                check += list.get(list.size() - 1).sum();
            }
        }
        return check;
    }

    static long timeRecursive(int repeats) {
        long start = System.nanoTime();
        long check = 0;
        for (int i = 0; i < repeats; i++) {
            check += fib(27);
        }
        long millis = (System.nanoTime() - start) / 1000000;
        if (check == 42) {
            System.out.println();
        }
        return millis;
    }

    static long timeObjects(int rounds) {
        long start = System.nanoTime();
        long check = objects(rounds);
        long millis = (System.nanoTime() - start) / 1000000;
        if (check == 42) {
            System.out.println();
        }
        return millis;
    }

    public static void main(String[] args) {
        int repeats = args.length > 0 ? Integer.parseInt(args[0]) : 3000;
        int rounds = args.length > 1 ? Integer.parseInt(args[1]) : 20000;
        timeRecursive(repeats / 4);  // warm-up
        timeObjects(rounds / 4);
        timeFloor(repeats / 4);
        System.out.println("recursive " + timeRecursive(repeats));
        System.out.println("floor " + timeFloor(repeats));
        System.out.println("objects " + timeObjects(rounds));
    }
}
