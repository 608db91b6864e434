package junit.runner;

/**
 * A loader named like JUnit's, compiled with stack maps: its isExcluded loops
 * back to its first instruction and switches, and counts the runs of its body.
 */
public class TestCaseClassLoader extends ClassLoader {
    public int calls;

    public boolean isExcluded(String name) {
        while (name.startsWith("-")) {
            name = name.substring(1);
        }
        calls++;
        switch (name.length()) {
            case 1:
                return true;
            case 2:
                return false;
            case 3:
                return name.charAt(0) == 'x';
            default:
                return name.startsWith("x.");
        }
    }
}
