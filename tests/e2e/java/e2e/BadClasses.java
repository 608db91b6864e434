// Defines broken copies of a real class (bad magic, cut short, a constant
// pool claiming more entries than the file holds), then the class itself:
// the VM refuses each copy and the program goes on.
package e2e;

import java.io.InputStream;
import java.util.Arrays;

public final class BadClasses {
    public static final class Victim {
        public int answer() {
            int sum = 0;
            for (int i = 1; i <= 8; i++) {
                sum += i;
            }
            return sum + 6;
        }
    }

    private static final class Loader extends ClassLoader {
        Class<?> define(byte[] bytes) {
            return defineClass("e2e.BadClasses$Victim", bytes, 0, bytes.length);
        }
    }

    public static void main(String[] args) throws Exception {
        byte[] original;
        try (InputStream in = BadClasses.class.getResourceAsStream("BadClasses$Victim.class")) {
            original = in.readAllBytes();
        }
        byte[] magic = original.clone();
        magic[3] = (byte) 0xBF;
        byte[] pool = original.clone();
        pool[8] = (byte) 0xFF;
        pool[9] = (byte) 0xFF;
        int refused = 0;
        for (byte[] bytes : new byte[][] {magic, Arrays.copyOf(original, original.length / 2), pool}) {
            try {
                new Loader().define(bytes);
            } catch (LinkageError e) {
                refused++;
            }
        }
        Object victim = new Loader().define(original).getDeclaredConstructor().newInstance();
        System.out.println("refused " + refused + " of 3; the class answers "
                + victim.getClass().getMethod("answer").invoke(victim));
    }
}
