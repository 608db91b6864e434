// Test mode: with the system property "zenva.test.echo" set to "true", each
// call from the agent is printed as one line, so end-to-end runs can check it.
package meridyn.audit;

final class Echo {
    static final String PROPERTY = "zenva.test.echo";

    private Echo() {
    }

    static boolean enabled() {
        return "true".equals(System.getProperty(PROPERTY));
    }

    /** Prints "zenva: CALL(arg, arg, ...)" when the test mode is on. */
    static void call(String call, Object... args) {
        if (!enabled()) {
            return;
        }
        StringBuilder line = new StringBuilder("zenva: ").append(call).append('(');
        for (int i = 0; i < args.length; i++) {
            if (i > 0) {
                line.append(", ");
            }
            line.append(args[i]);
        }
        System.out.println(line.append(')'));
        System.out.flush();
    }
}
