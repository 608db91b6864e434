// A call-heavy kernel in timed rounds, for an agent attached while it runs:
// each round's time is printed, marked once the file named by the first
// argument exists (the attach is complete).
import java.io.File;

public final class AttachRounds {
    private AttachRounds() {
    }

    static int fib(int n) {
        return n < 2 ? n : fib(n - 1) + fib(n - 2);
    }

    public static void main(String[] args) {
        File attached = new File(args[0]);
        int rounds = Integer.parseInt(args[1]);
        long check = 0;
        for (int r = 0; r < rounds; r++) {
            long start = System.nanoTime();
            for (int i = 0; i < 10; i++) {
                check += fib(27);
            }
            long millis = (System.nanoTime() - start) / 1000000;
            System.out.println("round " + millis + (attached.exists() ? " attached" : ""));
        }
        if (check == 42) {
            System.out.println();
        }
    }
}
