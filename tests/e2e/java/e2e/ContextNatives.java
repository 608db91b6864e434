// The context class's natives as the agent binds them: markers, the
// backtrace-ID answer without a provider, and each thread's context cached by
// the agent. (The clock natives run in e2e.direct_instrumentation and under
// the profiler's method timing.)
package e2e;

import java.lang.reflect.Method;

public final class ContextNatives {
    static Object call(Class<?> type, String name, Class<?>[] types, Object... args) throws Exception {
        Method method = type.getDeclaredMethod(name, types);
        method.setAccessible(true);
        return method.invoke(null, args);
    }

    public static void main(String[] args) throws Exception {
        Class<?> context = Class.forName("meridyn.audit.profiler.ZVContext");
        Class<?>[] marker = {String.class, int.class};
        int lock = (Integer) call(context, "createMarker", marker, "lock wait", 3);
        int again = (Integer) call(context, "createMarker", marker, "lock wait", 3);
        int other = (Integer) call(context, "createMarker", marker, "io", 3);
        int longName = (Integer) call(context, "createMarker", marker, "x".repeat(257), 3);
        int converted = (Integer) call(context, "convertMarker", new Class<?>[] {int.class, int.class}, lock, 4);
        System.out.println("markers: " + Integer.toHexString(lock) + " " + (again == lock) + " "
                + Integer.toHexString(other) + " " + Integer.toHexString(longName) + " " + (converted == lock));
        System.out.println("backtrace id: " + call(context, "getCurrentBacktraceID0", new Class<?>[] {int.class}, 5));
        Object mine = call(context, "getContext0", new Class<?>[0]);
        Object[] theirs = new Object[2];
        Thread thread = new Thread(() -> {
            try {
                theirs[0] = call(context, "getContext0", new Class<?>[0]);
                theirs[1] = call(context, "getContext0", new Class<?>[0]);
            } catch (Exception e) {
                throw new IllegalStateException(e);
            }
        });
        thread.start();
        thread.join();
        System.out.println("contexts: " + (mine == call(context, "getContext0", new Class<?>[0])) + " "
                + (theirs[0] == theirs[1]) + " " + (theirs[0] != mine));
    }
}
