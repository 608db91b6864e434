// Receives the agent's options at VM start, one static setter per option group,
// and keeps the latest arguments of each for the audit system.
package meridyn.audit;

import java.util.ArrayList;
import java.util.Arrays;
import java.util.Collections;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Map;

public final class Main {
    /** Latest arguments of each setter, in the order the setters were first called. */
    private static final Map<String, List<Object>> CALLS = new LinkedHashMap<>();

    /** The CPU profiler's sampler period in ms and its time (1 clock, 2 CPU); 0 until the agent sets them. */
    public static volatile int samplerPeriod;
    public static volatile int samplerTime;

    private Main() {
    }

    public static void askForFilterFileChangeNotification(String filterPath) {
        record("askForFilterFileChangeNotification", filterPath);
    }

    public static void setCPUProfilerOptions(int type, int time, int samplerPeriod, int samplerPrecision,
            int instrumentationPrecision, boolean instrumentationFilterEnabled, int instrumentationFilterLimit) {
        Main.samplerTime = time;
        Main.samplerPeriod = samplerPeriod;
        record("setCPUProfilerOptions", type, time, samplerPeriod, samplerPrecision, instrumentationPrecision,
                instrumentationFilterEnabled, instrumentationFilterLimit);
    }

    public static void setAutoCaptureOptions(boolean snapshotGeneration, boolean xmlReportGeneration,
            boolean generateOnExit, int initialDelay, int captureDelay, int captureCounter,
            String captureFileDirectory, String captureFileNameFormat, boolean resetMark, boolean reserved1,
            boolean reserved2, boolean includeCPUInformation, boolean includeMetricsInformation,
            String captureComment) {
        record("setAutoCaptureOptions", snapshotGeneration, xmlReportGeneration, generateOnExit, initialDelay,
                captureDelay, captureCounter, captureFileDirectory, captureFileNameFormat, resetMark, reserved1,
                reserved2, includeCPUInformation, includeMetricsInformation, captureComment);
    }

    public static void setVMName(String vmName) {
        record("setVMName", vmName);
    }

    public static void setSNMPAgentPort(int port) {
        record("setSNMPAgentPort", port);
    }

    public static void setSNMPConfPath(String path) {
        record("setSNMPConfPath", path);
    }

    public static void setSNMPTrapPort(int port) {
        record("setSNMPTrapPort", port);
    }

    public static void setActionFilename(String fileName) {
        record("setActionFilename", fileName);
    }

    public static void setSnapshotRepository(String repository, String logFile, int logSeverity) {
        record("setSnapshotRepository", repository, logFile, logSeverity);
    }

    public static void setFilterFilename(String fileName) {
        record("setFilterFilename", fileName);
    }

    public static void setUnitTestMode(boolean unitTestMode, boolean unitTestMode2) {
        record("setUnitTestMode", unitTestMode, unitTestMode2);
    }

    public static void setAcceptConnections(boolean accept) {
        record("setAcceptConnections", accept);
    }

    /** The latest arguments given to SETTER, or null when it was never called. */
    public static List<Object> lastCall(String setter) {
        synchronized (CALLS) {
            return CALLS.get(setter);
        }
    }

    /** Names of the setters called so far, in the order of their first call. */
    public static List<String> calledSetters() {
        synchronized (CALLS) {
            return new ArrayList<>(CALLS.keySet());
        }
    }

    private static void record(String setter, Object... args) {
        synchronized (CALLS) {
            CALLS.put(setter, Collections.unmodifiableList(Arrays.asList(args)));
        }
        Echo.call("Main." + setter, args);
    }
}
