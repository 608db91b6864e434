// Stands in for an older JDK's class: the UID method has the other name and
// reads only the declared methods.
package java.io;

import java.lang.reflect.Method;

public class ObjectStreamClass {
    static long computeSerialVersionUID(Class<?> cl) {
        Method[] methods = cl.getDeclaredMethods();
        return methods.length;
    }
}
