// Reads the current thread's profiler call stack through the context's public
// members (loaded only when the context class is there). Plain field reads:
// reflection would run instrumented JDK code and count its own frames.
package cpu;

import meridyn.audit.profiler.ZVContext;

final class ContextFrames {
    /** The frames below the given number of this thread's top frames, top first. */
    static int[][] below(int skipped) {
        ZVContext context = ZVContext.getCurrentContext();
        int[] stack = context.callStack;
        int sp = context.stackPointer;
        int count = sp / 2 - 1 - skipped;  // below(): at sp
        int[][] result = new int[Math.max(count, 0)][];
        for (int i = 0; i < count; i++) {
            int at = sp - 2 * (i + 1 + skipped);
            result[i] = new int[] {stack[at], stack[at + 1]};
        }
        return result;
    }
}
