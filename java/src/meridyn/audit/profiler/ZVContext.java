// The per-thread profiler context that instrumented methods call: a call stack
// of (location, method id) frames in an int array, and the agent's natives.
package meridyn.audit.profiler;

import java.lang.reflect.Method;

import jdk.internal.vm.annotation.DontInline;

/**
 * One context per Java thread. The call stack holds two ints per frame
 * (location, method id); the top frame is at {@code stackPointer} and the
 * bottom frame at index 2, so an empty stack has {@code stackPointer == 0}.
 *
 * <p>Once the agent is bound, a thread finds its context in the field that the
 * agent adds to {@code java.lang.Thread}: {@code Thread.currentThread()} is an
 * intrinsic and the field load follows it, so the entry and exit paths stay in
 * Java. Nothing on those paths calls a JDK method that has bytecode: every such
 * method may itself be instrumented, and calling it from here would re-enter
 * this class in the middle of a push. Only natives (the agent's, and
 * {@code System.arraycopy}) are called there.
 *
 * <p>Instrumented frames keep the array they found at entry in a local and
 * write their current line into it. When a deeper frame grows the array, the
 * frames below it go on writing into the older one; so the older array becomes
 * the stack again as soon as the frame that grew it has returned.
 */
public final class ZVContext {
    /** Index of the bottom frame; ints 0 and 1 are not a frame. */
    static final int BOTTOM = 2;
    /**
     * Frames a new stack has room for before it grows: 1 KB, so that a
     * thread pays for depth it reaches. A thread whose depth keeps crossing
     * this size switches arrays at each crossing, a copy of the array and
     * two calls out of line (a few hundred nanoseconds; the agent learns of
     * the switch when it next reads the stack).
     */
    static final int INITIAL_FRAMES = 128;
    /** Largest stack array; deeper pushes are counted, not stored. */
    static final int MAX_INTS = 1 << 22;

    /** How a thread finds its context. */
    private static final int UNBOUND = 0;
    private static final int THREAD_FIELD = 1;
    /** No context field (an agent attached to a running VM): the contexts in a table by thread. */
    private static final int THREAD_TABLE = 2;

    /** The agent's registry handle for the thread (written by the agent). */
    public long threadInfo;
    /** Frames of (location, method id); read by the agent and the line probes. */
    public int[] callStack;
    /** Index of the top frame's location. */
    public int stackPointer;
    /** Bits 0 and 1 are set by the agent's sampler and cleared here when the thread runs. */
    public int hasRunCounter;
    /**
     * Entries per method identifier, while calls are counted, in pages of
     * CallCounts.PAGE made when a method of theirs is first counted: a thread
     * pays for the identifiers it calls, not for all the program has (every
     * class is instrumented, so identifiers run into the tens of thousands).
     * Only this thread writes it.
     */
    private int[][] callCounts = NO_COUNTS;
    /** callCounts of a context that counted nothing yet. */
    private static final int[][] NO_COUNTS = new int[0][];
    /** An identifier's bits that make its counting index: the number, and the sign. */
    private static final int COUNTED_BITS = CallCounts.ID_MASK | Integer.MIN_VALUE;
    /** The next context that counts calls; see CallCounts. */
    ZVContext nextCounting;
    /** This thread's method times, once it entered a timed method. */
    private MethodTimes times;
    /** Set at the thread's end: later entries (the thread's own exit code) are not timed. */
    private boolean timesRetired;

    /**
     * Exits of frames at or below this index take the slow path: the index of
     * the frame that grew the array (0 on a stack that never grew), raised to
     * the innermost timed frame's while methods are timed, and past every
     * index while pushes found no room, while exits are reported, and in the
     * placeholder context. See refloor.
     */
    private int popFloor;
    /** Pushes that found no room; the next pops consume them so pushes and pops stay paired. */
    private int lostFrames;
    /** The arrays this stack outgrew, newest first, with the index of the frame that grew each. */
    private Outgrown outgrown;
    /** The largest array given up when the stack shrank, kept for the next growth. */
    private int[] spare;
    /** The shared placeholder context: pushes and pops leave it alone. */
    private final boolean detached;

    /** True while instrumented methods skip their entry and exit calls. */
    public static volatile boolean _hibernate;
    /** Where line probes write while the thread has no context (index 0 only). */
    public static final int[] _fakeStack = new int[BOTTOM];
    /** While true, entries and exits are also reported to the agent's notification natives. */
    public static boolean notifyMethodEnterExit;
    /**
     * While true, every entry counts one call of its method in the thread's
     * context. A profiler sets it before the program's code runs.
     */
    public static boolean countCalls;
    /**
     * While true, entries and exits of the timed methods (see MethodTimes)
     * read the agent's clock and add up each call path's times. A profiler
     * sets it once the agent's natives are bound.
     */
    public static boolean timeMethods;

    private static int access = UNBOUND;

    /** Entries push inline. */
    private static final int FAST = 0;
    /** Entries push inline and count the call. */
    private static final int COUNTING = 1;
    /** Entries push inline (and count, following countCalls) unless their method is timed. */
    private static final int TIMING = 2;
    /** Entries take enterSlow: not bound yet, attached (no thread field), hibernating or reporting entries. */
    private static final int SLOW = 3;
    /**
     * How entries go: the one switch the inline entry reads, a plain read;
     * follows access, _hibernate, notifyMethodEnterExit, timeMethods and
     * countCalls through switchesChanged.
     */
    private static int mode = SLOW;
    private static volatile boolean hibernationEnabled;
    private static volatile boolean initDone;
    private static volatile boolean vmExiting;
    private static volatile boolean warnedDirectI;

    /**
     * THREAD_TABLE: (thread, context) pairs placed by the thread's identity
     * hash, probed linearly; replaced whole on every change (under
     * TABLE_LOCK), so a reader sees one consistent table without a lock.
     */
    private static volatile Object[] threadTable = new Object[2 * 16];
    private static final Object TABLE_LOCK = new Object();
    /** The thread whose context this is, while it is in the table. */
    private Thread owner;

    /** Handed out when no real context can be had: line probes may write into it safely. */
    private static final ZVContext DETACHED = new ZVContext(true);

    private static final class Outgrown {
        final int[] stack;
        final int grownAt;
        final Outgrown next;

        Outgrown(int[] stack, int grownAt, Outgrown next) {
            this.stack = stack;
            this.grownAt = grownAt;
            this.next = next;
        }
    }

    public ZVContext() {
        this(false);
    }

    private ZVContext(boolean detached) {
        this.detached = detached;
        this.callStack = new int[detached ? BOTTOM : BOTTOM + 2 * INITIAL_FRAMES];
        this.popFloor = detached ? Integer.MAX_VALUE : 0;
    }

    // ------------------------------------------------------------ natives bound by the agent

    static native ZVContext getContext0();
    static native void initStarted0();
    static native void initEnded0();
    static native void notifyMethodEntered(long time, int methodId, int callerLocation, int location);
    static native void notifyMethodExited(long time);
    static native void notifyMethodEnterWillExit(long time, int methodId, int callerLocation, int location);
    static native void directINotEnabled0();
    static native void storeContext0(ZVContext context);
    public static native int getCurrentBacktraceID0(int n);
    public static native int createMarker(String name, int event);
    public static native int convertMarker(int marker, int event);
    public static native long frequency0();

    // ------------------------------------------------------------ called by instrumented code

    /**
     * Entry of an instrumented method: pushes its frame and returns the
     * context, never null. The caller keeps the context and its stack pointer
     * after the push (the frame's place) for its exit. While hibernating the
     * placeholder context comes back: its exits do nothing and its lines go
     * to index 0 of an array of its own.
     */
    @DontInline
    public static ZVContext didEnterMethod(int methodId, int location) {
        // The common case in a few loads and stores, always called, never
        // inlined. Inlined, it came with every method the server compiler
        // inlined, its branches each a deoptimisation point that holds the
        // compiled method's state, and compiling was about half of what the
        // agent cost: with the call, clojure's workload compiles a quarter
        // less bytecode and takes a sixth less CPU time.
        int how = mode;
        if (how <= COUNTING || how == TIMING && !MethodTimes.isTimed(methodId)) {
            ZVContext context = Thread.currentThread().__ZV_context_;
            if (context != null) {
                int sp = context.stackPointer + 2;
                int[] stack = context.callStack;
                if (sp >= BOTTOM && sp + 1 < stack.length) {
                    stack[sp] = location;
                    stack[sp + 1] = methodId;
                    context.stackPointer = sp;
                    context.hasRunCounter = 0;
                    if (how != FAST && (how == COUNTING || countCalls)) {
                        context.count(methodId);
                    }
                    return context;
                }
                return context.pushSlow(methodId, location);
            }
        }
        return enterSlow(methodId, location);
    }

    /** A push that found no room, or in the placeholder context. */
    @DontInline
    private ZVContext pushSlow(int methodId, int location) {
        enter(methodId, location);
        return this;
    }

    @DontInline
    private static ZVContext enterSlow(int methodId, int location) {
        if (_hibernate) {
            return DETACHED;
        }
        ZVContext context;
        if (access == THREAD_FIELD) {
            context = Thread.currentThread().__ZV_context_;
            if (context == null) {
                context = attachToThread();
            }
        } else if (access == THREAD_TABLE) {
            context = tableContext();
        } else {
            context = slowContext();
        }
        context.enter(methodId, location);
        return context;
    }

    /** Entry of a method instrumented before the agent's bootstrap: the placeholder until then. */
    public static ZVContext didEnterMethodPreInit(int methodId, int location) {
        return access == UNBOUND ? DETACHED : didEnterMethod(methodId, location);
    }

    /**
     * Every return of an instrumented method whose entry put its frame at
     * {@code sp}: the stack pointer goes back to the frame below, whatever
     * an exception may have left above. Under 35 bytes of bytecode, so that
     * even cold call sites inline it.
     */
    public static void willExitMethod(ZVContext context, int sp) {
        if (sp > context.popFloor) {
            context.stackPointer = sp - 2;
        } else {
            exitSlow(context, sp);
        }
    }

    /** The exit of the frame at sp below the floor: see popFloor. */
    @DontInline
    private static void exitSlow(ZVContext context, int sp) {
        if (context.detached) {
            return;
        }
        context.hasRunCounter = 0;
        if (context.lostFrames > 0) {
            // A push that found no room is popped without a frame of its own to time.
            context.lostFrames--;
        } else if (sp >= BOTTOM) {
            context.dropTo(sp - 2);
            MethodTimes times = context.times;
            if (times != null) {
                times.exitFrom(sp);
            }
        }
        if (notifyMethodEnterExit) {
            context.notifyExited();
        }
        context.refloor();
    }

    /**
     * The exit by exception of an instrumented method whose entry put its frame
     * at {@code sp}: pops that frame and any frame an exception left above it
     * (a constructor's, thrown before or inside its super() call, where no
     * handler of its own can be).
     */
    public static void exitFrame(ZVContext context, int sp) {
        if (context != null) {
            context.unwindTo(sp - 2);
        }
    }

    /**
     * The start of an exception handler of an instrumented method whose frame
     * is at {@code sp}: drops the frames an exception left above it.
     */
    public static void resumeFrame(ZVContext context, int sp) {
        if (context != null && context.stackPointer > sp && context.lostFrames == 0) {
            context.unwindTo(sp);
        }
    }

    /**
     * A small straight-line method: entered and left at once, nothing is
     * pushed. Under 35 bytes of bytecode: nothing to record unless calls are
     * counted or entries take the slow path.
     */
    public static void enterExitQuick(int methodId, int location) {
        if (mode != FAST) {
            quick(methodId, location);
        }
    }

    /**
     * Counting calls alone stays inline in the compiled callers; timing and
     * notifications go out of line, so that their code is not copied into
     * every caller of a small method.
     */
    private static void quick(int methodId, int location) {
        if (timeMethods || notifyMethodEnterExit) {
            quickSlow(methodId, location);
        } else if (countCalls && !_hibernate && access != UNBOUND) {
            ZVContext context = getContextFast();
            context.hasRunCounter = 0;
            context.count(methodId);
        }
    }

    @DontInline
    private static void quickSlow(int methodId, int location) {
        if (!(countCalls || notifyMethodEnterExit || timeMethods && MethodTimes.isTimed(methodId))
                || _hibernate || access == UNBOUND) {
            return;
        }
        ZVContext context = getContextFast();
        context.hasRunCounter = 0;
        if (countCalls) {
            context.count(methodId);
        }
        if (timeMethods && MethodTimes.isTimed(methodId)) {
            MethodTimes times = context.timesOf();
            if (times != null) {
                times.quick(methodId);
            }
        }
        if (notifyMethodEnterExit && !vmExiting && !context.detached) {
            notifyMethodEnterWillExit(ZVTime.time0(), methodId, context.topLocation(), location);
        }
    }

    /** The thread's context for methods without entry and exit calls; never null. */
    public static ZVContext getContextFast() {
        if (access == THREAD_FIELD) {
            ZVContext context = Thread.currentThread().__ZV_context_;
            return context != null ? context : attachToThread();
        }
        if (access == THREAD_TABLE) {
            return tableContext();
        }
        return access == UNBOUND ? DETACHED : fromAgent();
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

    /** Creates or returns the calling thread's context; the agent caches it per thread. */
    public static ZVContext getCurrentContext() {
        boolean natives = markInitStarted();
        try {
            if (access == UNBOUND) {
                return LocalContexts.current();
            }
            ZVContext context = null;
            if (access == THREAD_FIELD) {
                context = Thread.currentThread().__ZV_context_;
            }
            if (context == null) {
                context = new ZVContext();
            }
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
        if (context != null && context.callCounts != NO_COUNTS) {
            CallCounts.retire(context);
        }
        if (context != null && context.owner != null) {
            forget(context);
        }
        if (context != null && !context.detached) {
            MethodTimes times = context.times;
            context.timesRetired = true;
            context.times = null;
            if (times != null) {
                times.clearFrames();
                MethodTimes.retire(times);
            }
        }
        if (context != null && !context.detached) {
            context.stackPointer = 0;
            context.lostFrames = 0;
            context.outgrown = null;
            context.refloor();
        }
    }

    /**
     * The agent has bound the natives; instrumented code may now reach them.
     * The thread field exists only when the agent rewrote java.lang.Thread.
     */
    public static void VMInitializationDone(boolean hibernate, boolean hibernateEnabled) {
        hibernationEnabled = hibernateEnabled;
        _hibernate = hibernate && hibernateEnabled;
        ZVTime.markNativeBound();
        access = threadHasContextField() ? THREAD_FIELD : THREAD_TABLE;
        switchesChanged();
    }

    /**
     * Entries follow the switches (_hibernate, notifyMethodEnterExit,
     * timeMethods, countCalls) again; called by whoever changes one. Exits
     * follow them per thread, at the thread's next entry or exit that takes
     * the slow path.
     */
    public static void switchesChanged() {
        if (access != THREAD_FIELD || _hibernate || notifyMethodEnterExit) {
            mode = SLOW;
        } else {
            mode = timeMethods ? TIMING : countCalls ? COUNTING : FAST;
        }
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
        switchesChanged();
    }

    public static boolean isAgentBound() {
        return access != UNBOUND;
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

    /** Marks methods (by number) for timing: from the first call on, only marked methods are timed. */
    public static void markTimed(int[] numbers) {
        MethodTimes.markTimed(numbers);
    }

    /** Every thread's call tree of timed methods; see MethodTimes.snapshot. */
    public static long[] methodTimes() {
        return MethodTimes.snapshot();
    }

    /** Calls counted so far, indexed by method identifier: ended threads and live ones. */
    public static int[] totalCallCounts() {
        return CallCounts.total();
    }

    // ------------------------------------------------------------ call counts

    /**
     * One call of an ordinary method. The sign bit stays in the page number,
     * so that a group's or a marker's identifier (negative) finds no page and
     * is left out without a test of its own.
     */
    private void count(int methodId) {
        int page = (methodId & COUNTED_BITS) >>> CallCounts.PAGE_BITS;
        int[][] pages = callCounts;
        int[] counts;
        if (page < pages.length && (counts = pages[page]) != null) {
            counts[methodId & (CallCounts.PAGE - 1)]++;
        } else if (methodId > 0 && !detached) {
            newCountPage(page)[methodId & (CallCounts.PAGE - 1)]++;
        }
    }

    /** The page numbered page, made for the call that found it missing. */
    private int[] newCountPage(int page) {
        int[][] pages = callCounts;
        if (pages == NO_COUNTS) {
            CallCounts.register(this);
        }
        if (page >= pages.length) {
            // Up to the page in steps of DIRECTORY_STEP, not to a power of
            // two: a thread's first identifiers are often high ones (its own
            // classes load late), which a power of two above would overshoot
            // by up to half. Growing by half at least bounds the copies made
            // by a thread that goes up the pages one by one.
            // (No Math.max: JDK methods are instrumented, and this runs inside a push.)
            int size = pages.length + (pages.length >> 1);
            if (size <= page) {
                size = page + 1;
            }
            size = (size + CallCounts.DIRECTORY_STEP - 1) & -CallCounts.DIRECTORY_STEP;
            int[][] bigger = new int[size][];
            System.arraycopy(pages, 0, bigger, 0, pages.length);
            pages = bigger;
        }
        if (pages[page] == null) {
            pages[page] = new int[CallCounts.PAGE];
        }
        callCounts = pages;
        return pages[page];
    }

    /** This thread's counts in pages (see callCounts); null when it counted none. */
    int[][] callCountPages() {
        return callCounts != NO_COUNTS ? callCounts : null;
    }

    // ------------------------------------------------------------ finding the context

    /** The thread's first entry since its field was empty: ask the agent and remember. */
    private static ZVContext attachToThread() {
        ZVContext context = fromAgent();
        if (!context.detached) {
            Thread.currentThread().__ZV_context_ = context;
        }
        return context;
    }

    /** The calling thread's context from the table; the agent's, placed there, the first time. */
    private static ZVContext tableContext() {
        Thread thread = Thread.currentThread();
        Object[] table = threadTable;
        int mask = table.length / 2 - 1;
        for (int i = System.identityHashCode(thread) & mask;; i = (i + 1) & mask) {
            Object key = table[2 * i];
            if (key == thread) {
                return (ZVContext) table[2 * i + 1];
            }
            if (key == null) {
                break;
            }
        }
        ZVContext context = fromAgent();
        if (!context.detached) {
            synchronized (TABLE_LOCK) {
                context.owner = thread;
                threadTable = rebuilt(threadTable, context, null);
            }
        }
        return context;
    }

    /** The thread has ended: its pair leaves the table. */
    private static void forget(ZVContext context) {
        synchronized (TABLE_LOCK) {
            threadTable = rebuilt(threadTable, null, context);
            context.owner = null;
        }
    }

    /**
     * A new table with the pairs of {@code table}, without {@code removed}'s
     * and with {@code added}'s (each may be null), at most half full.
     */
    private static Object[] rebuilt(Object[] table, ZVContext added, ZVContext removed) {
        int pairs = added != null ? 1 : 0;
        for (int i = 1; i < table.length; i += 2) {
            if (table[i] != null && table[i] != removed && table[i] != added) {
                pairs++;
            }
        }
        int slots = 16;
        while (slots < 2 * pairs) {
            slots *= 2;
        }
        Object[] fresh = new Object[2 * slots];
        for (int i = 1; i < table.length; i += 2) {
            if (table[i] != null && table[i] != removed && table[i] != added) {
                place(fresh, (ZVContext) table[i]);
            }
        }
        if (added != null) {
            place(fresh, added);
        }
        return fresh;
    }

    private static void place(Object[] table, ZVContext context) {
        int mask = table.length / 2 - 1;
        int i = System.identityHashCode(context.owner) & mask;
        while (table[2 * i] != null) {
            i = (i + 1) & mask;
        }
        table[2 * i] = context.owner;
        table[2 * i + 1] = context;
    }

    private static ZVContext slowContext() {
        return access == UNBOUND ? LocalContexts.current() : fromAgent();
    }

    private static ZVContext fromAgent() {
        ZVContext context = getContext0();
        return context != null ? context : DETACHED;
    }

    /** Whether java.lang.Thread carries the context field (checked once, at binding). */
    private static boolean threadHasContextField() {
        try {
            Thread.class.getField("__ZV_context_");
            return true;
        } catch (NoSuchFieldException | SecurityException e) {
            return false;
        }
    }

    // ------------------------------------------------------------ the stack

    private void enter(int methodId, int location) {
        hasRunCounter = 0;
        int sp = stackPointer + 2;
        int[] stack = callStack;
        if (sp < BOTTOM || sp + 1 >= stack.length) {
            if (sp < BOTTOM) {
                // A stray pop left the pointer below the bottom frame: start again there.
                sp = BOTTOM;
                stackPointer = 0;
            }
            if (sp + 1 >= stack.length) {
                stack = grow(sp);
                if (stack == null) {
                    return;
                }
            }
        }
        stack[sp] = location;
        stack[sp + 1] = methodId;
        stackPointer = sp;
        if (countCalls) {
            count(methodId);
        }
        if (timeMethods && MethodTimes.isTimed(methodId)) {
            MethodTimes mine = timesOf();
            if (mine != null) {
                mine.enter(methodId, sp);
            }
        }
        if (notifyMethodEnterExit && access != UNBOUND && !vmExiting) {
            notifyMethodEntered(ZVTime.time0(), methodId, stack[sp - 2], location);
        }
        refloor();
    }

    /**
     * Sets popFloor from the stack's state and the switches: exits of frames
     * at or below it take the slow path, the others only restore the stack
     * pointer. Above a timed frame, untimed frames return fast.
     */
    private void refloor() {
        int floor;
        if (detached || lostFrames > 0 || notifyMethodEnterExit) {
            floor = Integer.MAX_VALUE;
        } else {
            floor = outgrown != null ? outgrown.grownAt : 0;
            MethodTimes mine = times;
            int timed = mine != null ? mine.innermostFrame() : 0;
            if (timed > floor) {
                floor = timed;
            }
        }
        popFloor = floor;
    }

    /** This thread's method times, made on first use; null for the placeholder and after the thread's end. */
    private MethodTimes timesOf() {
        MethodTimes mine = times;
        if (mine == null && !detached && !timesRetired) {
            mine = MethodTimes.register();
            times = mine;
        }
        return mine;
    }

    private void notifyExited() {
        if (access != UNBOUND && !vmExiting && !detached) {
            notifyMethodExited(ZVTime.time0());
        }
    }

    /** The location of the top frame (the int at the stack pointer), 0 when out of range. */
    private int topLocation() {
        int[] stack = callStack;
        int sp = stackPointer;
        return sp >= 0 && sp < stack.length ? stack[sp] : 0;
    }

    /**
     * Room for a frame at sp: a larger array holding the frames so far, or null
     * when none can be had (the push is then only counted).
     */
    private int[] grow(int sp) {
        if (detached) {
            return null;
        }
        int[] old = callStack;
        if (sp > MAX_INTS - 2) {
            lostFrames++;
            refloor();
            return null;
        }
        int size = old.length;
        while (size < sp + 2) {
            size = size > MAX_INTS / 2 ? MAX_INTS : size * 2;
        }
        int[] bigger = spare;
        if (bigger != null && bigger.length >= size) {
            spare = null;
        } else {
            try {
                bigger = new int[size];
            } catch (OutOfMemoryError e) {
                lostFrames++;
                refloor();
                return null;
            }
        }
        System.arraycopy(old, 0, bigger, 0, old.length);
        outgrown = new Outgrown(old, sp, outgrown);
        refloor();
        switchTo(bigger);
        return bigger;
    }

    /**
     * Sets the stack pointer to {@code sp}, going back to the array that was
     * in use at that depth when the stack had outgrown it; the array left is
     * kept as the spare for the next growth.
     */
    private void dropTo(int sp) {
        int[] given = callStack;
        int[] stack = given;
        Outgrown top = outgrown;
        while (top != null && sp < top.grownAt) {
            stack = top.stack;
            top = top.next;
        }
        outgrown = top;
        stackPointer = sp;
        if (stack != given) {
            if (spare == null || spare.length < given.length) {
                spare = given;
            }
            switchTo(stack);
        }
    }

    /**
     * Pops down to {@code sp}. While pushes found no room the frames' places
     * are unknown: one frame is popped then, as by a plain exit.
     */
    private void unwindTo(int sp) {
        if (detached) {
            return;
        }
        if (lostFrames > 0 || sp == stackPointer - 2) {
            exitSlow(this, sp + 2);
            return;
        }
        if (sp >= stackPointer) {
            return;  // nothing above: the frame is gone already
        }
        hasRunCounter = 0;
        if (sp < 0) {
            sp = 0;
        }
        dropTo(sp);
        if (times != null) {
            times.exitFrom(sp + 1);
        }
        if (notifyMethodEnterExit) {
            notifyExited();
        }
        refloor();
    }

    /**
     * The agent's reference to the array is renewed by the agent when it
     * next reads the stack: a native call here made every crossing of the
     * first array's depth cost microseconds.
     */
    private void switchTo(int[] stack) {
        callStack = stack;
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
