package junit.runner;

/** A class whose name only begins with the loader's. */
public class TestCaseClassLoader2 extends ClassLoader {
    public boolean isExcluded(String name) {
        return name.isEmpty();
    }
}
