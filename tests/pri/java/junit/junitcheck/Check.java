package junitcheck;

import java.lang.reflect.Field;
import java.lang.reflect.Method;

/**
 * Prints what junit.runner.TestCaseClassLoader.isExcluded answers for a few
 * names, with the count of body runs when the loader keeps one; then, with
 * the loader's exclusion list gone, what is answered without reading it.
 */
public final class Check {
    private Check() {
    }

    public static void main(String[] args) throws Exception {
        Class<?> type = Class.forName("junit.runner.TestCaseClassLoader");
        Object loader = type.getConstructor().newInstance();
        Method isExcluded = type.getMethod("isExcluded", String.class);
        Field calls = field(type, "calls");
        String[] names = {"meridyn.x", "meridyn.audit.profiler.ZVContext", "meridyn", "meridynx", "java.lang.String",
            "org.example.A", "-meridyn.x", "x", "x.y", "abc"};
        for (String name : names) {
            System.out.println(name + "=" + isExcluded.invoke(loader, name)
                    + (calls != null ? " calls=" + calls.get(loader) : ""));
        }
        Field excluded = field(type, "fExcluded");
        if (excluded != null) {
            excluded.set(loader, null);
            for (String name : new String[] {"meridyn.y", "org.example.B"}) {
                String answer;
                try {
                    answer = String.valueOf(isExcluded.invoke(loader, name));
                } catch (java.lang.reflect.InvocationTargetException e) {
                    answer = e.getCause().getClass().getSimpleName();
                }
                System.out.println("without list: " + name + "=" + answer);
            }
        }
    }

    private static Field field(Class<?> type, String name) {
        try {
            Field field = type.getDeclaredField(name);
            field.setAccessible(true);
            return field;
        } catch (NoSuchFieldException e) {
            return null;
        }
    }
}
