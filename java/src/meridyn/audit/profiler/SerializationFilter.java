// What Java serialization must not see of instrumentation: members the agent
// adds to classes are left out when the default serial version UID is computed.
package meridyn.audit.profiler;

import java.lang.reflect.Method;

final class SerializationFilter {
    /** Prefix of every member name the agent adds to a class. */
    static final String ADDED_MEMBER_PREFIX = "__ZV_";
    /** Package of the agent's own classes; no instrumented class implements them. */
    static final String AGENT_PACKAGE_PREFIX = "meridyn.";

    private SerializationFilter() {
    }

    static Method[] methods(Method[] methods) {
        if (methods == null) {
            return null;
        }
        int kept = 0;
        for (Method m : methods) {
            if (!isAdded(m)) {
                kept++;
            }
        }
        if (kept == methods.length) {
            return methods;
        }
        Method[] result = new Method[kept];
        int i = 0;
        for (Method m : methods) {
            if (!isAdded(m)) {
                result[i++] = m;
            }
        }
        return result;
    }

    static Class<?>[] interfaces(Class<?>[] interfaces) {
        if (interfaces == null) {
            return null;
        }
        int kept = 0;
        for (Class<?> c : interfaces) {
            if (!isAgentType(c)) {
                kept++;
            }
        }
        if (kept == interfaces.length) {
            return interfaces;
        }
        Class<?>[] result = new Class<?>[kept];
        int i = 0;
        for (Class<?> c : interfaces) {
            if (!isAgentType(c)) {
                result[i++] = c;
            }
        }
        return result;
    }

    /** The agent never adds a static initializer, so the answer stands as computed. */
    static boolean hasClassInit(boolean hasClassInit, Class<?> type) {
        return hasClassInit;
    }

    private static boolean isAdded(Method m) {
        return m != null && m.getName().startsWith(ADDED_MEMBER_PREFIX);
    }

    private static boolean isAgentType(Class<?> c) {
        return c != null && c.getName().startsWith(AGENT_PACKAGE_PREFIX);
    }
}
