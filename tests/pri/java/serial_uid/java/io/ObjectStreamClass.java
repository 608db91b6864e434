// Stands in for the JDK's class in the serialization rewrite tests: its UID
// method reads the declared methods twice, the interfaces and whether the
// class has a static initializer.
package java.io;

import java.lang.reflect.Method;

public class ObjectStreamClass {
    private static long computeDefaultSUID(Class<?> cl) {
        Method[] early = cl.getDeclaredMethods();
        long hash = early.length;
        Method[] methods = cl.getDeclaredMethods();
        for (Method m : methods) {
            hash = hash * 31 + m.getName().hashCode();
        }
        Class<?>[] interfaces = cl.getInterfaces();
        hash += interfaces.length;
        if (hasStaticInitializer(cl)) {
            hash ^= 1;
        }
        return hash;
    }

    private static native boolean hasStaticInitializer(Class<?> cl);
}
