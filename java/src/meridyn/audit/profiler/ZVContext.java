// The per-thread profiler context that instrumented methods call: a call stack
// of (location, method id) frames in an int array, and the agent's natives.
package meridyn.audit.profiler;

import java.lang.reflect.Method;

/**
 * One context per Java thread. The call stack holds two ints per frame
 * (location, method id); the top frame is at {@code stackPointer} and the
 * bottom frame at index 2, so an empty stack has {@code stackPointer == 0}.
 *
 * <p>Nothing on the entry and exit paths calls a JDK method that has bytecode:
 * every such method may itself be instrumented, and calling it from here would
 * re-enter this class in the middle of a push. Only natives (the agent's, and
 * {@code System.arraycopy}) are called there.
 */
public final class ZVContext {
    /** Index of the bottom frame; ints 0 and 1 are not a frame. */
    static final int BOTTOM = 2;
    /** Frames a new stack has room for before it grows. */
    static final int INITIAL_FRAMES = 512;
    /** Largest stack array; deeper pushes are counted, not stored. */
    static final int MAX_INTS = 1 << 22;

    /** The agent's registry handle for the thread (written by the agent). */
    public long threadInfo;
    /** Frames of (location, method id); read by the agent and the line probes. */
    public int[] callStack;
    /** Index of the top frame's location. */
    public int stackPointer;
    /** Bits 0 and 1 are set by the agent's sampler and cleared here when the thread runs. */
    public int hasRunCounter;

    /** Pushes that found no room; the next pops consume them so pushes and pops stay paired. */
    int lostFrames;
    /** The shared placeholder context: pushes and pops leave it alone. */
    private final boolean detached;

    /** True while instrumented methods skip their entry and exit calls. */
    public static volatile boolean _hibernate;
    /** Where line probes write while the thread has no context (index 0 only). */
    public static final int[] _fakeStack = new int[BOTTOM];
    /** While true, entries and exits are also reported to the agent's notification natives. */
    public static volatile boolean notifyMethodEnterExit;

    /** Set once the agent has bound the natives and finished its bootstrap call. */
    private static volatile boolean agentBound;
    private static volatile boolean hibernationEnabled;
    private static volatile boolean initDone;
    private static volatile boolean vmExiting;
    private static volatile boolean warnedDirectI;

    /** Handed out when no real context can be had: line probes may write into it safely. */
    private static final ZVContext DETACHED = new ZVContext(true);

    public ZVContext() {
        this(false);
    }

    private ZVContext(boolean detached) {
        this.detached = detached;
        this.callStack = new int[detached ? BOTTOM : BOTTOM + 2 * INITIAL_FRAMES];
    }

    // ------------------------------------------------------------ natives bound by the agent

    static native ZVContext getContext0();
    static native void initStarted0();
    static native void initEnded0();
    static native void notifyMethodEntered(long thread, int methodId, int callerLocation, int location);
    static native void notifyMethodExited(long thread);
    static native void notifyMethodEnterWillExit(long thread, int methodId, int callerLocation, int location);
    static native void directINotEnabled0();
    static native void storeContext0(ZVContext context);
    public static native int getCurrentBacktraceID0(int n);
    public static native int createMarker(String name, int event);
    public static native int convertMarker(int marker, int event);
    public static native long frequency0();

    // ------------------------------------------------------------ called by instrumented code

    /** Entry of an instrumented method: pushes its frame and returns the context. */
    public static ZVContext didEnterMethod(int methodId, int location) {
        ZVContext context = agentBound ? fromAgent() : LocalContexts.current();
        context.enter(methodId, location);
        return context;
    }

    /** Entry of a method instrumented before the agent's bootstrap: null until then. */
    public static ZVContext didEnterMethodPreInit(int methodId, int location) {
        if (!agentBound) {
            return null;
        }
        ZVContext context = fromAgent();
        context.enter(methodId, location);
        return context;
    }

    /** Every exit of an instrumented method, normal or by exception. */
    public static void willExitMethod(ZVContext context) {
        if (context == null) {
            return;
        }
        context.clearRunMarks();
        context.pop();
        if (notifyMethodEnterExit && agentBound && !vmExiting && !context.detached) {
            notifyMethodExited(context.threadInfo);
        }
    }

    /** A small straight-line method: entered and left at once, nothing is pushed. */
    public static void enterExitQuick(int methodId, int location) {
        if (_hibernate || !agentBound) {
            return;
        }
        ZVContext context = fromAgent();
        context.clearRunMarks();
        if (notifyMethodEnterExit && !vmExiting && !context.detached) {
            notifyMethodEnterWillExit(context.threadInfo, methodId, context.topLocation(), location);
        }
    }

    /** The thread's context for methods without entry and exit calls; never null. */
    public static ZVContext getContextFast() {
        return agentBound ? fromAgent() : DETACHED;
    }

    /** Stores a source line into the top frame. */
    public static void updateLocation(ZVContext context, int location) {
        if (context == null) {
            return;
        }
        int[] stack = context.callStack;
        int sp = context.stackPointer;
        if (sp >= 0 && sp < stack.length) {
            stack[sp] = location;
        }
    }

    // ------------------------------------------------------------ called by the agent

    /** Creates the calling thread's context; the agent caches it per thread. */
    public static ZVContext getCurrentContext() {
        boolean natives = markInitStarted();
        try {
            if (!agentBound) {
                return LocalContexts.current();
            }
            ZVContext context = new ZVContext();
            storeContext0(context);
            return context;
        } finally {
            if (natives) {
                initEnded0();
            }
        }
    }

    /** The thread has ended: its stack is empty from now on. */
    public static void removeContext(ZVContext context) {
        if (context != null && !context.detached) {
            context.stackPointer = 0;
            context.lostFrames = 0;
        }
    }

    /** The agent has bound the natives; instrumented code may now reach them. */
    public static void VMInitializationDone(boolean hibernate, boolean hibernateEnabled) {
        hibernationEnabled = hibernateEnabled;
        _hibernate = hibernate && hibernateEnabled;
        ZVTime.markNativeBound();
        agentBound = true;
    }

    /** The agent has finished its work at VM start. */
    public static void initDone() {
        initDone = true;
    }

    /** The VM is shutting down: no more notifications. */
    public static void VMExiting() {
        vmExiting = true;
    }

    /** Called back by {@code directINotEnabled0}; warns once. */
    public static void getContextWarning() {
        if (!warnedDirectI) {
            warnedDirectI = true;
            System.err.println("ZVContext: direct instrumentation is not enabled on this VM;"
                    + " method notifications go through JNI");
        }
    }

    // ------------------------------------------------------------ serialization filters

    /** Removes the methods the agent added from a class's declared methods. */
    public static Method[] filterMethods(Method[] methods) {
        return SerializationFilter.methods(methods);
    }

    /** Removes interfaces the agent added from a class's interfaces. */
    public static Class<?>[] filterInterfaces(Class<?>[] interfaces) {
        return SerializationFilter.interfaces(interfaces);
    }

    /** Whether the class had a static initializer before instrumentation. */
    public static boolean filterHasClassInit(boolean hasClassInit, Class<?> type) {
        return SerializationFilter.hasClassInit(hasClassInit, type);
    }

    // ------------------------------------------------------------ state for the Java side

    /** Switches hibernation, when the options allow it. */
    public static void setHibernate(boolean on) {
        _hibernate = on && hibernationEnabled;
    }

    public static boolean isAgentBound() {
        return agentBound;
    }

    public static boolean isInitDone() {
        return initDone;
    }

    public static boolean isVMExiting() {
        return vmExiting;
    }

    /** Number of frames on the stack, counting those that found no room. */
    public int depth() {
        int sp = stackPointer;
        return (sp >= BOTTOM ? sp / 2 : 0) + lostFrames;
    }

    // ------------------------------------------------------------ the stack

    private static ZVContext fromAgent() {
        ZVContext context = getContext0();
        return context != null ? context : DETACHED;
    }

    private void enter(int methodId, int location) {
        clearRunMarks();
        if (detached) {
            return;
        }
        int below = topLocation();
        push(location, methodId);
        if (notifyMethodEnterExit && agentBound && !vmExiting) {
            notifyMethodEntered(threadInfo, methodId, below, location);
        }
    }

    private void clearRunMarks() {
        int marks = hasRunCounter;
        if ((marks & 3) != 0) {
            hasRunCounter = marks & ~3;
        }
    }

    /** The location of the top frame (the int at the stack pointer), 0 when out of range. */
    private int topLocation() {
        int[] stack = callStack;
        int sp = stackPointer;
        return sp >= 0 && sp < stack.length ? stack[sp] : 0;
    }

    void push(int location, int methodId) {
        if (detached) {
            return;
        }
        int top = stackPointer;
        int sp = (top < 0 ? 0 : top) + 2;
        int[] stack = callStack;
        if (sp < 0 || sp + 1 >= stack.length) {
            stack = grow(sp);
            if (stack == null) {
                lostFrames++;
                return;
            }
        }
        stack[sp] = location;
        stack[sp + 1] = methodId;
        stackPointer = sp;
    }

    void pop() {
        if (detached) {
            return;
        }
        if (lostFrames > 0) {
            lostFrames--;
            return;
        }
        int sp = stackPointer;
        if (sp >= BOTTOM) {
            stackPointer = sp - 2;
        }
    }

    /** A larger copy of the stack with room for a frame at sp, or null when none can be had. */
    private int[] grow(int sp) {
        int[] old = callStack;
        if (sp < 0 || sp > MAX_INTS - 2) {
            return null;
        }
        int size = old.length;
        while (size < sp + 2) {
            size = size > MAX_INTS / 2 ? MAX_INTS : size * 2;
        }
        int[] bigger;
        try {
            bigger = new int[size];
        } catch (OutOfMemoryError e) {
            return null;
        }
        System.arraycopy(old, 0, bigger, 0, old.length);
        callStack = bigger;
        if (agentBound) {
            // The agent keeps its own reference to the array; hand it the new one.
            storeContext0(this);
        }
        return bigger;
    }

    /** Reports whether the natives are bound by telling the agent this thread is initialising. */
    private static boolean markInitStarted() {
        try {
            initStarted0();
            return true;
        } catch (UnsatisfiedLinkError e) {
            return false;
        }
    }
}
