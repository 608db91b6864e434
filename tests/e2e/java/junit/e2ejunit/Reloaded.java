package e2ejunit;

import java.util.concurrent.Callable;

/** Instrumented work run from JUnit's reloading loader; answers the context class it links to. */
public class Reloaded implements Callable<Object> {
    private static int fib(int n) {
        return n < 2 ? n : fib(n - 1) + fib(n - 2);
    }

    @Override
    public Object call() throws Exception {
        if (fib(20) != 6765) throw new AssertionError("fib");
        return Class.forName("meridyn.audit.profiler.ZVContext", false, Reloaded.class.getClassLoader());
    }
}
