package e2ejunit;

import java.util.concurrent.Callable;
import junit.framework.TestCase;
import junit.runner.TestCaseClassLoader;

/** A JUnit 3 test that loads its workload through JUnit's reloading loader. */
public class ReloadingSuite extends TestCase {
    public void testAgentClassesComeFromTheSystemLoader() throws Exception {
        TestCaseClassLoader loader = new TestCaseClassLoader();
        Class<?> reloaded = loader.loadClass("e2ejunit.Reloaded", true);
        assertSame(loader, reloaded.getClassLoader());
        Callable<?> workload = (Callable<?>) reloaded.getConstructor().newInstance();
        Class<?> seen = (Class<?>) workload.call();
        Class<?> own = Class.forName("meridyn.audit.profiler.ZVContext");
        System.out.println("reloaded by: " + reloaded.getClassLoader().getClass().getName());
        System.out.println("context class seen from the reloaded class: " + seen.getName()
                + " same as the test's: " + (seen == own) + " loader: " + seen.getClassLoader());
    }
}
