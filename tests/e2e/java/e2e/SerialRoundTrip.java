package e2e;

import java.io.File;
import java.io.FileInputStream;
import java.io.FileOutputStream;
import java.io.ObjectInputStream;
import java.io.ObjectOutputStream;
import java.io.ObjectStreamClass;
import java.io.Serializable;
import java.util.ArrayList;
import java.util.List;
import java.util.function.IntUnaryOperator;

/** Writes or reads a serialized object whose class declares no serial version UID. */
public final class SerialRoundTrip {
    private SerialRoundTrip() {
    }

    // The default UID is computed from the members, the static initializer
    // and the interfaces: instrumentation must not show in any of them.
    static final class Payload implements Serializable {
        static final List<String> KINDS = new ArrayList<>(List.of("squares"));
        final String name;
        final List<Integer> values = new ArrayList<>();

        Payload(String name, int count) {
            this.name = name;
            IntUnaryOperator square = i -> i * i;
            for (int i = 0; i < count; i++) {
                values.add(square.applyAsInt(i));
            }
        }

        int sum() {
            return values.stream().mapToInt(Integer::intValue).sum();
        }
    }

    public static void main(String[] args) throws Exception {
        File file = new File(args[1]);
        if (args[0].equals("write")) {
            try (ObjectOutputStream out = new ObjectOutputStream(new FileOutputStream(file))) {
                out.writeObject(new Payload("five", 5));
            }
            System.out.println("uid " + ObjectStreamClass.lookup(Payload.class).getSerialVersionUID());
        } else {
            try (ObjectInputStream in = new ObjectInputStream(new FileInputStream(file))) {
                Payload payload = (Payload) in.readObject();
                System.out.println("read " + payload.name + " " + payload.sum() + " " + Payload.KINDS);
            }
        }
    }
}
