// Tests of the Java side once an agent has bound the context natives: context
// caching, the notification arguments, hibernation and the end of
// notifications at exit. (The agent's reference to a grown stack is read by
// the backtraces of deep threads end to end.)
// Run as: AgentBoundTest PATH_OF_THE_STAND_IN_NATIVES_LIBRARY
package javaside;

import meridyn.audit.profiler.ZVContext;
import meridyn.audit.profiler.ZVTime;

public final class AgentBoundTest {
    public static void main(String[] args) throws Exception {
        System.load(args[0]);
        Check check = new Check();
        check.equal(0, FakeAgent.bind(ZVContext.class, ZVTime.class), "natives registered");
        ZVContext.VMInitializationDone(false, true);
        check.that(ZVContext.isAgentBound(), "bound after VMInitializationDone");

        ZVContext ctx = ZVContext.didEnterMethod(11, 5);
        check.equal("store during init\n", FakeAgent.takeLog(),
                "first entry caches the new context with the agent, made inside initStarted0/initEnded0");
        check.that(FakeAgent.cachedContext() == ctx, "the agent holds the context it returns");
        check.that(ZVContext.getContextFast() == ctx, "getContextFast gives the cached context");

        ctx.threadInfo = 77;
        ZVContext.notifyMethodEnterExit = true;
        ZVContext inner = ZVContext.didEnterMethodPreInit(12, 6);
        check.that(inner == ctx, "pre-init entry gives the context once bound");
        ZVContext.enterExitQuick(13, 7);
        ZVContext.willExitMethod(inner, 4);
        ZVContext.willExitMethod(ctx, 2);
        check.equal("enter 1 12 5 6\nquick 2 13 6 7\nexit 3\nexit 4\n", FakeAgent.takeLog(),
                "notifications carry (time, method id, caller's location, location)");

        ZVContext.setHibernate(true);
        check.that(ZVContext._hibernate, "hibernation switches on when enabled");
        ZVContext.enterExitQuick(14, 8);
        ZVContext.setHibernate(false);
        check.equal("", FakeAgent.takeLog(), "no quick notification while hibernating");
        ZVContext.VMInitializationDone(true, false);
        check.that(!ZVContext._hibernate, "hibernation stays off when not enabled");
        ZVContext.setHibernate(true);
        check.that(!ZVContext._hibernate, "setHibernate has no effect when not enabled");

        ZVContext[] other = new ZVContext[1];
        Thread t = new Thread(() -> {
            other[0] = ZVContext.didEnterMethod(21, 1);
            ZVContext.willExitMethod(other[0], 2);
        });
        t.start();
        t.join();
        check.that(other[0] != null && other[0] != ctx, "another thread gets its own context");
        FakeAgent.takeLog();

        long t1 = ZVTime.now();
        long t2 = ZVTime.now();
        check.that(t2 == t1 + 1, "ZVTime.now uses the bound time0");
        check.equal(0xC0000001, ZVContext.createMarker("lock wait", 3), "marker natives reachable");

        ZVContext.VMExiting();
        ZVContext.willExitMethod(ZVContext.didEnterMethod(31, 1), 2);
        check.equal("", FakeAgent.takeLog(), "no notifications once the VM exits");
        System.exit(check.report("agent_bound") ? 0 : 1);
    }
}
