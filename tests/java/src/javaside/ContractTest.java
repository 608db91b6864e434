// Checks that every Java member the agent looks up, calls, reads or writes
// exists with its exact name, static-ness, native-ness and descriptor.
package javaside;

import java.lang.reflect.Constructor;
import java.lang.reflect.Field;
import java.lang.reflect.Method;
import java.lang.reflect.Modifier;

final class ContractTest {
    private static final String CTX = "Lmeridyn/audit/profiler/ZVContext;";

    // class | kind (F field, M method, N native method, C constructor) | static? | name | descriptor
    private static final String[] MEMBERS = {
        "meridyn.audit.Native M s waitForever ()V",
        "meridyn.audit.Native N s getTool ()I",
        "meridyn.audit.Native N s getPort ()I",
        "meridyn.audit.Native N s getOptions ()Ljava/lang/String;",
        "meridyn.audit.Native N s libraryLoaded (Ljava/lang/String;)Z",
        "meridyn.audit.Native N s hasStarted ()Z",
        "meridyn.audit.Native N s installDir ()Ljava/lang/String;",
        "meridyn.audit.Native N s runMetricsLoop ()V",
        "meridyn.audit.Native N s invokePrioritizedSystemThread ()V",
        "meridyn.audit.Audit F s MEMORY_PROFILER_ALWAYS_DISABLED I",
        "meridyn.audit.Audit F s SYSTEM_EXIT_DISABLED I",
        "meridyn.audit.Audit F s PROFILERS_ALWAYS_ENABLED I",
        "meridyn.audit.Audit F s WAIT_FOR_ZENTROVA I",
        "meridyn.audit.Audit F s AUTO_START_CPU_PROFILER I",
        "meridyn.audit.Audit M s start (II)V",
        "meridyn.audit.Audit M s getDirectInstrumentationTablePath ()Ljava/lang/String;",
        "meridyn.audit.Main M s askForFilterFileChangeNotification (Ljava/lang/String;)V",
        "meridyn.audit.Main M s setCPUProfilerOptions (IIIIIZI)V",
        "meridyn.audit.Main M s setAutoCaptureOptions "
                + "(ZZZIIILjava/lang/String;Ljava/lang/String;ZZZZZLjava/lang/String;)V",
        "meridyn.audit.Main M s setVMName (Ljava/lang/String;)V",
        "meridyn.audit.Main M s setSNMPAgentPort (I)V",
        "meridyn.audit.Main M s setSNMPConfPath (Ljava/lang/String;)V",
        "meridyn.audit.Main M s setSNMPTrapPort (I)V",
        "meridyn.audit.Main M s setActionFilename (Ljava/lang/String;)V",
        "meridyn.audit.Main M s setSnapshotRepository (Ljava/lang/String;Ljava/lang/String;I)V",
        "meridyn.audit.Main M s setFilterFilename (Ljava/lang/String;)V",
        "meridyn.audit.Main M s setUnitTestMode (ZZ)V",
        "meridyn.audit.Main M s setAcceptConnections (Z)V",
        "meridyn.audit.profiler.ZVContext F i threadInfo J",
        "meridyn.audit.profiler.ZVContext F i callStack [I",
        "meridyn.audit.profiler.ZVContext F i stackPointer I",
        "meridyn.audit.profiler.ZVContext F i hasRunCounter I",
        "meridyn.audit.profiler.ZVContext F s _hibernate Z",
        "meridyn.audit.profiler.ZVContext F s _fakeStack [I",
        "meridyn.audit.profiler.ZVContext F s notifyMethodEnterExit Z",
        "meridyn.audit.profiler.ZVContext C i <init> ()V",
        "meridyn.audit.profiler.ZVContext M s getCurrentContext ()" + CTX,
        "meridyn.audit.profiler.ZVContext M s removeContext (" + CTX + ")V",
        "meridyn.audit.profiler.ZVContext M s VMInitializationDone (ZZ)V",
        "meridyn.audit.profiler.ZVContext M s initDone ()V",
        "meridyn.audit.profiler.ZVContext M s VMExiting ()V",
        "meridyn.audit.profiler.ZVContext M s getContextWarning ()V",
        "meridyn.audit.profiler.ZVContext M s didEnterMethod (II)" + CTX,
        "meridyn.audit.profiler.ZVContext M s didEnterMethodPreInit (II)" + CTX,
        "meridyn.audit.profiler.ZVContext M s willExitMethod (" + CTX + ")V",
        "meridyn.audit.profiler.ZVContext M s enterExitQuick (II)V",
        "meridyn.audit.profiler.ZVContext M s getContextFast ()" + CTX,
        "meridyn.audit.profiler.ZVContext M s updateLocation (" + CTX + "I)V",
        "meridyn.audit.profiler.ZVContext M s filterMethods ([Ljava/lang/reflect/Method;)[Ljava/lang/reflect/Method;",
        "meridyn.audit.profiler.ZVContext M s filterInterfaces ([Ljava/lang/Class;)[Ljava/lang/Class;",
        "meridyn.audit.profiler.ZVContext M s filterHasClassInit (ZLjava/lang/Class;)Z",
        "meridyn.audit.profiler.ZVContext N s getContext0 ()" + CTX,
        "meridyn.audit.profiler.ZVContext N s initStarted0 ()V",
        "meridyn.audit.profiler.ZVContext N s initEnded0 ()V",
        "meridyn.audit.profiler.ZVContext N s notifyMethodEntered (JIII)V",
        "meridyn.audit.profiler.ZVContext N s notifyMethodExited (J)V",
        "meridyn.audit.profiler.ZVContext N s notifyMethodEnterWillExit (JIII)V",
        "meridyn.audit.profiler.ZVContext N s directINotEnabled0 ()V",
        "meridyn.audit.profiler.ZVContext N s storeContext0 (" + CTX + ")V",
        "meridyn.audit.profiler.ZVContext N s getCurrentBacktraceID0 (I)I",
        "meridyn.audit.profiler.ZVContext N s createMarker (Ljava/lang/String;I)I",
        "meridyn.audit.profiler.ZVContext N s convertMarker (II)I",
        "meridyn.audit.profiler.ZVContext N s frequency0 ()J",
        "meridyn.audit.profiler.ZVTime N s time0 ()J",
        "meridyn.audit.profiler.ZVTime M s setUsePreciseTimer (Z)V",
        "meridyn.audit.instr.PRINative N s instrumentThread0 ([B)[B",
        "meridyn.audit.instr.PRINative N s isPRIThreadInstrumented0 ([B)Z",
        "meridyn.audit.instr.DAraraNative N s instrumentObjectStream0 ([B)[B",
        "meridyn.audit.instr.PreInstrumentation N s isPRIObjectStreamInstrumented0 ([B)Z",
    };

    private ContractTest() {
    }

    static void run(Check check) throws ClassNotFoundException {
        for (String entry : MEMBERS) {
            String[] p = entry.split(" ");
            Class<?> owner = Class.forName(p[0]);
            check.that(Modifier.isPublic(owner.getModifiers()), p[0] + " is public");
            String kind = p[1];
            boolean isStatic = p[2].equals("s");
            String name = p[3];
            String descriptor = p[4];
            int modifiers = find(owner, kind, name, descriptor);
            if (modifiers < 0) {
                check.fail("missing " + entry);
                continue;
            }
            check.that(Modifier.isStatic(modifiers) == isStatic, "static-ness of " + entry);
            check.that(Modifier.isNative(modifiers) == kind.equals("N"), "native-ness of " + entry);
            if (kind.equals("F") || kind.equals("C")) {
                // Instrumented code in any package reads these fields and creates contexts.
                check.that(Modifier.isPublic(modifiers), entry + " is public");
            }
        }
        // The profiler classes must come from the boot class path.
        check.that(Class.forName("meridyn.audit.profiler.ZVContext").getClassLoader() == null,
                "ZVContext is loaded by the boot loader");
    }

    /** The member's modifiers, or -1 when it is absent. */
    private static int find(Class<?> owner, String kind, String name, String descriptor) {
        switch (kind) {
        case "F":
            for (Field f : owner.getDeclaredFields()) {
                if (f.getName().equals(name) && descriptor(f.getType()).equals(descriptor)) {
                    return f.getModifiers();
                }
            }
            return -1;
        case "C":
            for (Constructor<?> c : owner.getDeclaredConstructors()) {
                if (descriptor(c.getParameterTypes(), void.class).equals(descriptor)) {
                    return c.getModifiers();
                }
            }
            return -1;
        default:
            for (Method m : owner.getDeclaredMethods()) {
                if (m.getName().equals(name)
                        && descriptor(m.getParameterTypes(), m.getReturnType()).equals(descriptor)) {
                    return m.getModifiers();
                }
            }
            return -1;
        }
    }

    private static String descriptor(Class<?>[] parameters, Class<?> result) {
        StringBuilder s = new StringBuilder("(");
        for (Class<?> p : parameters) {
            s.append(descriptor(p));
        }
        return s.append(')').append(descriptor(result)).toString();
    }

    private static String descriptor(Class<?> type) {
        if (type.isArray()) {
            return type.getName().replace('.', '/');
        }
        if (!type.isPrimitive()) {
            return "L" + type.getName().replace('.', '/') + ";";
        }
        if (type == void.class) {
            return "V";
        }
        if (type == boolean.class) {
            return "Z";
        }
        if (type == long.class) {
            return "J";
        }
        return type.getName().substring(0, 1).toUpperCase();
    }
}
