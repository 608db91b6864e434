// Stops at a known point for the test extension: the extension reads this
// thread's stack while it loads ExtPoint. Prints the stack the VM sees
// there, in the extension's format, with the grouped frames as one.
package e2e;

public final class ExtStack {
    private static String expected = "";

    private ExtStack() {
    }

    public static void main(String[] args) throws Exception {
        Thread.sleep(Long.parseLong(args[0])); // lets the metrics take a few samples
        outer();
        System.out.println("expected:" + expected);
    }

    static void outer() throws InterruptedException {
        Grouped.outer(false);
    }

    static void point() {
        StackTraceElement[] here = new Throwable().getStackTrace(); ExtPoint.touch();
        StringBuilder text = new StringBuilder();
        boolean inGroup = false;
        for (StackTraceElement frame : here) {
            boolean grouped = frame.getClassName().equals("e2e.Grouped");
            if (grouped && !inGroup) {
                text.append(" [Parked]");
            } else if (!grouped) {
                text.append(' ').append(frame.getClassName()).append('.').append(frame.getMethodName())
                        .append(':').append(frame.getLineNumber());
            }
            inGroup = grouped;
        }
        expected = text.toString();
    }
}

final class ExtPoint {
    private ExtPoint() {
    }

    static void touch() {
    }
}
