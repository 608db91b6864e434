// Per-thread contexts for when no agent has bound the natives (the Java side
// used on its own, as in tests). Loaded only on that path.
package meridyn.audit.profiler;

final class LocalContexts {
    // An anonymous subclass rather than a lambda: no invokedynamic in boot classes.
    private static final ThreadLocal<ZVContext> CONTEXTS = new ThreadLocal<ZVContext>() {
        @Override
        protected ZVContext initialValue() {
            return new ZVContext();
        }
    };

    private LocalContexts() {
    }

    static ZVContext current() {
        return CONTEXTS.get();
    }
}
