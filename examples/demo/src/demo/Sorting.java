// Sorts seeded random arrays with a hand-written merge sort and checks the
// result against the JDK's sort.
package demo;

import java.util.Arrays;
import java.util.Random;

final class Sorting {
    private static final int INSERTION_CUTOFF = 24;

    private Sorting() {
    }

    static String summary(int rounds, int size, long seed) {
        Random random = new Random(seed);
        long checksum = 0;
        int mismatches = 0;
        int[] scratch = new int[size];
        for (int r = 0; r < rounds; r++) {
            int[] data = new int[size];
            for (int i = 0; i < size; i++) {
                data[i] = random.nextInt(1_000_000);
            }
            int[] expected = data.clone();
            Arrays.sort(expected);
            mergeSort(data, scratch, 0, size);
            if (!Arrays.equals(data, expected)) {
                mismatches++;
            }
            for (int i = 0; i < size; i += 997) {
                checksum = checksum * 31 + data[i];
            }
        }
        return String.format("%d arrays of %d sorted, %d mismatches, checksum %016x",
                rounds, size, mismatches, checksum);
    }

    private static void mergeSort(int[] a, int[] scratch, int from, int to) {
        if (to - from <= INSERTION_CUTOFF) {
            insertionSort(a, from, to);
            return;
        }
        int mid = (from + to) >>> 1;
        mergeSort(a, scratch, from, mid);
        mergeSort(a, scratch, mid, to);
        if (a[mid - 1] <= a[mid]) {
            return;
        }
        System.arraycopy(a, from, scratch, from, to - from);
        int i = from;
        int j = mid;
        for (int k = from; k < to; k++) {
            if (j >= to || (i < mid && scratch[i] <= scratch[j])) {
                a[k] = scratch[i++];
            } else {
                a[k] = scratch[j++];
            }
        }
    }

    private static void insertionSort(int[] a, int from, int to) {
        for (int i = from + 1; i < to; i++) {
            int v = a[i];
            int j = i - 1;
            while (j >= from && a[j] > v) {
                a[j + 1] = a[j];
                j--;
            }
            a[j + 1] = v;
        }
    }
}
