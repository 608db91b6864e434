// Conway's Game of Life on a torus, from a seeded random start.
package demo;

import java.util.Random;

final class Life {
    private Life() {
    }

    static String summary(int size, int generations, long seed) {
        Random random = new Random(seed);
        byte[] cells = new byte[size * size];
        for (int i = 0; i < cells.length; i++) {
            cells[i] = (byte) (random.nextInt(4) == 0 ? 1 : 0);
        }
        int initial = population(cells);
        int peak = initial;
        byte[] next = new byte[cells.length];
        for (int g = 0; g < generations; g++) {
            step(cells, next, size);
            byte[] t = cells;
            cells = next;
            next = t;
            peak = Math.max(peak, population(cells));
        }
        return String.format("%dx%d grid, %d generations, population %d -> %d (peak %d)",
                size, size, generations, initial, population(cells), peak);
    }

    private static void step(byte[] cells, byte[] next, int size) {
        for (int y = 0; y < size; y++) {
            int up = ((y + size - 1) % size) * size;
            int row = y * size;
            int down = ((y + 1) % size) * size;
            for (int x = 0; x < size; x++) {
                int left = (x + size - 1) % size;
                int right = (x + 1) % size;
                int n = cells[up + left] + cells[up + x] + cells[up + right]
                        + cells[row + left] + cells[row + right]
                        + cells[down + left] + cells[down + x] + cells[down + right];
                boolean alive = cells[row + x] != 0;
                next[row + x] = (byte) ((n == 3 || (alive && n == 2)) ? 1 : 0);
            }
        }
    }

    private static int population(byte[] cells) {
        int count = 0;
        for (byte c : cells) {
            count += c;
        }
        return count;
    }
}
