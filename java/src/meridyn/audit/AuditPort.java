// The audit port: a listener that answers one request line per connection
// with one reply. The agent listens on a thread of its own and answers the
// line with the commands its extensions registered ("profile KIND" by the
// profiler): "OK <length>\n" followed by that many bytes, or "ERROR <text>\n".
// This class picks the ports and the address and says what came of it.
package meridyn.audit;

final class AuditPort {
    /** System property naming the last port to try when the first is taken. */
    static final String SCAN_PROPERTY = "zenva.scanForFreePort";
    /** System property that, set to "true", listens on every address instead of loopback only. */
    static final String ALL_ADDRESSES_PROPERTY = "zenva.audit.allAddresses";

    private AuditPort() {
    }

    /**
     * Binds the first free port from first to last (loopback only unless
     * allAddresses) and starts the agent's listener on it: the port, or -1.
     */
    static native int listen(int first, int last, boolean allAddresses);

    /** Listens on the port, or the first free one up to the scan property's; a port below 1 listens nowhere. */
    static void start(int port) {
        if (port < 1 || port > 65535) {
            return;
        }
        int last = port;
        String scan = System.getProperty(SCAN_PROPERTY);
        if (scan != null) {
            try {
                last = Math.min(65535, Math.max(port, Integer.parseInt(scan.trim())));
            } catch (NumberFormatException e) {
                System.err.println("Zentrova: ignoring " + SCAN_PROPERTY + "=" + scan + " (not a port number)");
            }
        }
        int listening;
        try {
            listening = listen(port, last, "true".equals(System.getProperty(ALL_ADDRESSES_PROPERTY)));
        } catch (UnsatisfiedLinkError e) {
            return;  // an agent without the listener: no live snapshots, as without a port
        }
        if (listening < 0) {
            String range = port == last ? Integer.toString(port) : port + "-" + last;
            System.err.println("Zentrova: audit port " + range + " is in use; no live snapshots");
            return;
        }
        Echo.call("AuditPort.listen", "port=" + listening);
    }
}
