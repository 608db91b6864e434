// Java face of the stand-in context natives (fake_context_natives.cpp).
package javaside;

final class FakeAgent {
    /** Registers the stand-in natives on the context and clock classes; 0 on success. */
    static native int bind(Class<?> context, Class<?> time);

    /** The notification and context-store lines recorded since the last call. */
    static native String takeLog();

    /** The calling thread's cached context. */
    static native Object cachedContext();
}
