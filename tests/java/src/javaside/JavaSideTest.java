// Tests of the Java side without an agent: the call stack's underflow, the
// serialization filters, and the behaviour of the natives' wrappers while
// nothing registered them. (Frames pushed by instrumented code, the stack's
// growth past its first array and the echo mode's order are checked end to end.)
package javaside;

import java.lang.reflect.Method;
import java.util.Arrays;

import meridyn.audit.Audit;
import meridyn.audit.Native;
import meridyn.audit.instr.DAraraNative;
import meridyn.audit.instr.PRINative;
import meridyn.audit.profiler.ZVContext;
import meridyn.audit.profiler.ZVTime;

public final class JavaSideTest {
    public static void main(String[] args) throws Exception {
        Check check = new Check();
        callStackIgnoresUnderflow(check);
        contextsArePerThreadAndSafeWithoutAgent(check);
        serializationFiltersDropOnlyAddedMembers(check);
        wrappersAnswerSafelyWithoutAgent(check);
        waitForeverIgnoresInterrupts(check);
        callCountsStayExactAsTheDirectoryGrows(check);
        System.exit(check.report("java_side") ? 0 : 1);
    }

    static void callStackIgnoresUnderflow(Check check) {
        ZVContext ctx = ZVContext.didEnterMethod(1, 1);
        int first = ctx.stackPointer;
        ZVContext.willExitMethod(ctx, first);
        ZVContext.willExitMethod(ctx, first);
        check.equal(0, ctx.stackPointer, "a second exit of the same frame changes nothing");
        ctx.stackPointer = -6; // as a stray marker pop could leave it
        ZVContext.didEnterMethod(7, 70);
        check.equal(2, ctx.stackPointer, "a negative stack pointer restarts at the bottom frame");
        ZVContext.willExitMethod(ctx, 2);
        ZVContext.removeContext(ctx);
        check.equal(0, ctx.depth(), "a removed context is empty");
    }

    static void contextsArePerThreadAndSafeWithoutAgent(Check check) throws InterruptedException {
        ZVContext mine = ZVContext.getCurrentContext();
        ZVContext[] other = new ZVContext[1];
        Thread t = new Thread(() -> other[0] = ZVContext.didEnterMethod(5, 50));
        t.start();
        t.join();
        check.that(other[0] != null && other[0] != mine, "each thread has its own context");
        check.equal(2, other[0].stackPointer, "the other thread's frame stays on its own stack");
        ZVContext early = ZVContext.didEnterMethodPreInit(1, 1);
        check.that(early != null && early != mine, "pre-init entry gives the placeholder without agent");
        ZVContext fast = ZVContext.getContextFast();
        check.that(fast == early && fast.callStack.length >= 1, "getContextFast gives the placeholder too");
        ZVContext.didEnterMethod(9, 9);
        ZVContext.willExitMethod(early, early.stackPointer);
        ZVContext.exitFrame(early, 4);
        check.equal(2, mine.stackPointer, "exits on the placeholder context leave the real stack alone");
        ZVContext.willExitMethod(mine, 2);
        ZVContext.enterExitQuick(3, 3);
        check.equal(0, mine.stackPointer, "enterExitQuick pushes nothing");
        check.that(ZVContext._fakeStack.length >= 1, "line probes may write _fakeStack[0]");
        check.that(!ZVContext.isAgentBound(), "no agent bound in this run");
    }

    static void serializationFiltersDropOnlyAddedMembers(Check check) throws Exception {
        Method[] methods = WithAddedMember.class.getDeclaredMethods();
        Method[] filtered = ZVContext.filterMethods(methods);
        check.equal(methods.length - 1, filtered.length, "one added method dropped");
        check.that(Arrays.stream(filtered).noneMatch(m -> m.getName().startsWith("__ZV_")), "no __ZV_ method left");
        Method[] plain = String.class.getDeclaredMethods();
        check.that(ZVContext.filterMethods(plain) == plain, "nothing to drop gives the same array");
        Class<?>[] interfaces = String.class.getInterfaces();
        check.that(ZVContext.filterInterfaces(interfaces) == interfaces, "JDK interfaces are kept");
        check.that(ZVContext.filterMethods(null) == null, "null methods pass through");
        check.that(ZVContext.filterHasClassInit(true, String.class), "static initializer answer kept (true)");
        check.that(!ZVContext.filterHasClassInit(false, String.class), "static initializer answer kept (false)");
    }

    static void wrappersAnswerSafelyWithoutAgent(Check check) throws ReflectiveOperationException {
        check.that(!Native.isAvailable(), "natives not registered without agent");
        check.that(PRINative.instrumentThread(new byte[] {1, 2, 3}) == null, "instrumentThread gives null");
        check.that(!PRINative.isThreadInstrumented(new byte[0]), "isThreadInstrumented gives false");
        check.that(DAraraNative.instrumentObjectStream(new byte[0]) == null, "instrumentObjectStream gives null");
        check.that(Audit.getDirectInstrumentationTablePath() == null, "no table path unless the property names one");
        System.setProperty("zenva.directi.table", "/opt/zenva/lib/directi.table");
        check.equal("/opt/zenva/lib/directi.table", Audit.getDirectInstrumentationTablePath(), "table path property");
        System.clearProperty("zenva.directi.table");
        Method bound = ZVTime.class.getDeclaredMethod("markNativeBound");
        bound.setAccessible(true);
        bound.invoke(null);
        long before = System.nanoTime();
        check.that(ZVTime.now() >= before, "ZVTime.now falls back to nanoTime when time0 is not bound");
    }

    static void waitForeverIgnoresInterrupts(Check check) throws InterruptedException {
        Thread waiter = new Thread(Native::waitForever, "waiter");
        waiter.setDaemon(true);
        waiter.start();
        waiter.interrupt();
        waiter.join(300);
        check.that(waiter.isAlive(), "waitForever does not return when interrupted");
    }

    /** A class shaped like one the agent rewrote: one added static method. */
    static final class WithAddedMember {
        static Object __ZV_getContext_() {
            return null;
        }

        int value() {
            return 1;
        }
    }

    // High identifiers before low ones, then up one page at a time: the
    // directory's growths keep every page; an ended thread's counts stay.
    static void callCountsStayExactAsTheDirectoryGrows(Check check) throws InterruptedException {
        ZVContext.countCalls = true;
        Thread t = new Thread(() -> {
            for (int id : new int[] {70_000, 5, 300_000, 70_000, 1_000}) {
                ZVContext.willExitMethod(ZVContext.didEnterMethod(id, 1), 2);
            }
            for (int page = 0; page < 40; page++) {
                ZVContext.willExitMethod(ZVContext.didEnterMethod(400_000 + 128 * page, 1), 2);
            }
            ZVContext.removeContext(ZVContext.getContextFast());
        });
        t.start();
        t.join();
        ZVContext.willExitMethod(ZVContext.didEnterMethod(70_000, 1), 2);
        ZVContext.countCalls = false;
        int[] n = ZVContext.totalCallCounts();
        check.equal("3 1 1 1 1 1", n[70_000] + " " + n[5] + " " + n[300_000] + " " + n[1_000] + " " + n[400_000]
                + " " + n[400_000 + 128 * 39], "exact counts");
    }
}
