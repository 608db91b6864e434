// A minimal assertion collector: failures are listed, the run goes on.
package javaside;

import java.util.ArrayList;
import java.util.List;
import java.util.Objects;

final class Check {
    private final List<String> failures = new ArrayList<>();
    private int checks;

    void that(boolean condition, String what) {
        checks++;
        if (!condition) {
            failures.add(what);
        }
    }

    void equal(Object expected, Object actual, String what) {
        that(Objects.equals(expected, actual), what + ": expected <" + expected + "> but was <" + actual + ">");
    }

    /** Prints the outcome; true when every check passed. */
    boolean report(String suite) {
        for (String failure : failures) {
            System.err.println(suite + ": FAILED: " + failure);
        }
        System.err.println(suite + ": " + (checks - failures.size()) + "/" + checks + " checks passed");
        return failures.isEmpty();
    }
}
