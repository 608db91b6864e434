// Counts primes and twin primes below a limit with a segmented sieve.
package demo;

final class Primes {
    private static final int SEGMENT = 1 << 16;

    private Primes() {
    }

    static String summary(int limit) {
        int root = (int) Math.sqrt(limit) + 1;
        int[] small = basePrimes(root);
        boolean[] composite = new boolean[SEGMENT];
        long count = 0;
        long twins = 0;
        long lastPrime = -10;
        long sum = 0;
        for (int low = 2; low < limit; low += SEGMENT) {
            int high = Math.min(low + SEGMENT, limit);
            java.util.Arrays.fill(composite, false);
            for (int p : small) {
                if ((long) p * p >= high) {
                    break;
                }
                int start = Math.max(p * p, (low + p - 1) / p * p);
                for (int m = start; m < high; m += p) {
                    composite[m - low] = true;
                }
            }
            for (int n = low; n < high; n++) {
                if (!composite[n - low]) {
                    count++;
                    sum += n;
                    if (n - lastPrime == 2) {
                        twins++;
                    }
                    lastPrime = n;
                }
            }
        }
        return String.format("%d primes below %d, %d twin pairs, largest %d, sum %d",
                count, limit, twins, lastPrime, sum);
    }

    private static int[] basePrimes(int limit) {
        boolean[] composite = new boolean[limit + 1];
        int count = 0;
        for (int i = 2; i <= limit; i++) {
            if (!composite[i]) {
                count++;
                for (long m = (long) i * i; m <= limit; m += i) {
                    composite[(int) m] = true;
                }
            }
        }
        int[] primes = new int[count];
        int k = 0;
        for (int i = 2; i <= limit; i++) {
            if (!composite[i]) {
                primes[k++] = i;
            }
        }
        return primes;
    }
}
