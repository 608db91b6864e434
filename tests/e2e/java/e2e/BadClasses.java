// Defines broken copies of a real class (bad magic, cut short, a constant
// pool index past the pool, an attribute longer than the file), then the
// class itself: the VM refuses each copy and the program goes on.
package e2e;

import java.io.InputStream;
import java.nio.ByteBuffer;
import java.util.Arrays;

public final class BadClasses {
    private BadClasses() {
    }

    /** The class whose bytes are broken. */
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
        byte[] cut = Arrays.copyOf(original, original.length / 2);
        byte[] index = original.clone();
        // this_class, right after the pool, points far past it.
        ByteBuffer.wrap(index).putShort(poolEnd(original) + 2, (short) 0x7FFF);
        byte[] attribute = original.clone();
        // The class's last attribute claims more bytes than follow.
        ByteBuffer.wrap(attribute).putInt(lastAttributeLength(original), 0x7FFFFFF0);
        int refused = 0;
        for (byte[] bytes : new byte[][] {magic, cut, index, attribute}) {
            try {
                new Loader().define(bytes);
            } catch (LinkageError | SecurityException e) {
                refused++;
            }
        }
        Object victim = new Loader().define(original).getDeclaredConstructor().newInstance();
        System.out.println("refused " + refused + " of 4; the class answers "
                + victim.getClass().getMethod("answer").invoke(victim));
    }

    /** Offset of the access flags: the end of the constant pool. */
    private static int poolEnd(byte[] c) {
        ByteBuffer b = ByteBuffer.wrap(c);
        int count = b.getShort(8) & 0xFFFF;
        int at = 10;
        for (int i = 1; i < count; i++) {
            int tag = c[at] & 0xFF;
            switch (tag) {
                case 1: at += 3 + (b.getShort(at + 1) & 0xFFFF); break;
                case 5: case 6: at += 9; i++; break;
                case 3: case 4: case 9: case 10: case 11: case 12: case 17: case 18: at += 5; break;
                case 15: at += 4; break;
                default: at += 3; break;
            }
        }
        return at;
    }

    /** Offset of the length field of the class's last attribute. */
    private static int lastAttributeLength(byte[] c) {
        ByteBuffer b = ByteBuffer.wrap(c);
        int at = poolEnd(c) + 6;
        at += 2 + 2 * (b.getShort(at) & 0xFFFF);
        for (int members = 0; members < 2; members++) {
            int count = b.getShort(at) & 0xFFFF;
            at += 2;
            for (int m = 0; m < count; m++) {
                at += 6;
                at = skipAttributes(b, at);
            }
        }
        int count = b.getShort(at) & 0xFFFF;
        at += 2;
        int last = at + 2;
        for (int a = 0; a < count; a++) {
            last = at + 2;
            at += 6 + b.getInt(at + 2);
        }
        return last;
    }

    private static int skipAttributes(ByteBuffer b, int at) {
        int count = b.getShort(at) & 0xFFFF;
        at += 2;
        for (int a = 0; a < count; a++) {
            at += 6 + b.getInt(at + 2);
        }
        return at;
    }
}
