// Reaches the per-thread context that the rewritten java.lang.Thread keeps
// (run with that class patched into java.base).
package e2e;

import java.lang.reflect.Field;
import java.lang.reflect.Method;
import java.lang.reflect.Modifier;

public final class ThreadContext {
    public static void main(String[] args) throws Exception {
        Method get = Thread.class.getMethod("__ZV_getContext_");
        Field field = Thread.class.getField("__ZV_context_");
        Object mine = get.invoke(null);
        Object[] other = new Object[1];
        Thread thread = new Thread(() -> other[0] = invoke(get));
        thread.start();
        thread.join();
        System.out.println("context: " + mine.getClass().getName() + ", kept: " + (get.invoke(null) == mine)
                + ", in the field: " + (field.get(Thread.currentThread()) == mine)
                + ", another thread's own: " + (other[0] != null && other[0] != mine));
        System.out.println("modifiers: " + Modifier.toString(field.getModifiers()) + " | "
                + Modifier.toString(Thread.class.getField("__ZV_PreInstr_").getModifiers()) + " | "
                + Modifier.toString(get.getModifiers()) + (get.isSynthetic() ? " synthetic" : ""));
    }

    private static Object invoke(Method method) {
        try {
            return method.invoke(null);
        } catch (ReflectiveOperationException e) {
            throw new IllegalStateException(e);
        }
    }
}
