package junitcheck;

import java.lang.reflect.Field;
import java.lang.reflect.Method;

/**
 * Prints what junit.runner.TestCaseClassLoader.isExcluded answers for a few
 * names, with the count of runs of its body so far.
 */
public final class Check {
    public static void main(String[] args) throws Exception {
        Class<?> type = Class.forName("junit.runner.TestCaseClassLoader");
        Object loader = type.getConstructor().newInstance();
        Method isExcluded = type.getMethod("isExcluded", String.class);
        Field calls = type.getField("calls");
        String[] names = {"meridyn.x", "meridyn.audit.profiler.ZVContext", "meridyn", "meridynx", "java.lang.String",
            "org.example.A", "-meridyn.x", "x", "x.y", "abc"};
        for (String name : names) {
            System.out.println(name + "=" + isExcluded.invoke(loader, name) + " calls=" + calls.get(loader));
        }
    }
}
