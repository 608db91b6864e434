// Reaches the per-thread context that the rewritten java.lang.Thread keeps
// (run with that class patched into java.base).
package e2e;

import java.lang.reflect.Field;
import java.lang.reflect.Method;
import java.lang.reflect.Modifier;

public final class ThreadContext {
    private ThreadContext() {
    }

    public static void main(String[] args) throws Exception {
        Method get = Thread.class.getMethod("__ZV_getContext_");
        Field field = Thread.class.getField("__ZV_context_");
        Field flag = Thread.class.getField("__ZV_PreInstr_");
        Object mine = get.invoke(null);
        System.out.println("context: " + mine.getClass().getName());
        System.out.println("same again: " + (get.invoke(null) == mine));
        System.out.println("in the field: " + (field.get(Thread.currentThread()) == mine));
        Object[] other = new Object[1];
        Thread thread = new Thread(() -> {
            try {
                other[0] = get.invoke(null);
            } catch (ReflectiveOperationException e) {
                throw new IllegalStateException(e);
            }
        });
        thread.start();
        thread.join();
        System.out.println("another thread's own: " + (other[0] != null && other[0] != mine));
        System.out.println("modifiers: " + Modifier.toString(field.getModifiers()) + " | "
                + Modifier.toString(flag.getModifiers()) + " | " + Modifier.toString(get.getModifiers())
                + (get.isSynthetic() ? " synthetic" : ""));
    }
}
