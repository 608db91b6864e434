// Backward branches: for, while, do-while, labelled break and continue, and
// long and double arithmetic in loop-carried locals.
public class Loops {
    static long collatz(long n) {
        long steps = 0;
        while (n != 1) {
            n = (n & 1) == 0 ? n / 2 : 3 * n + 1;
            steps++;
        }
        return steps;
    }

    static double series(int terms) {
        double sum = 0;
        double sign = 1;
        int k = 0;
        do {
            sum += sign / (2 * k + 1);
            sign = -sign;
        } while (++k < terms);
        return sum * 4;
    }

    static int primes(int limit) {
        int count = 0;
        outer:
        for (int n = 2; n < limit; n++) {
            for (int d = 2; d * d <= n; d++) {
                if (n % d == 0) continue outer;
            }
            count++;
            if (count > 1000) break outer;
        }
        return count;
    }

    static long mixed(long a, double b, int c) {
        long acc = a;
        double f = b;
        for (int i = 0; i < c; i++) {
            acc = acc * 31 + (long) f;
            f = f * 1.5 - i;
            if (acc < 0) acc = -acc;
        }
        return acc ^ Double.doubleToLongBits(f);
    }

    public static void run() {
        System.out.println("loops " + collatz(27) + " " + series(1000) + " " + primes(5000) + " " + mixed(3L, 2.5, 40));
    }
}
