// The audit port: a loopback listener that answers one request line per
// connection with one reply. The agent answers the line with the commands
// its extensions registered ("profile KIND" by the profiler):
//   "OK <length>\n" followed by that many bytes, or "ERROR <text>\n".
package meridyn.audit;

import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.net.InetAddress;
import java.net.InetSocketAddress;
import java.net.ServerSocket;
import java.net.Socket;
import java.nio.charset.StandardCharsets;

final class AuditPort implements Runnable {
    /** System property naming the last port to try when the first is taken. */
    static final String SCAN_PROPERTY = "zenva.scanForFreePort";
    /** System property that, set to "true", listens on every address instead of loopback only. */
    static final String ALL_ADDRESSES_PROPERTY = "zenva.audit.allAddresses";
    /** Longest request line accepted. */
    static final int MAX_REQUEST = 256;
    static final int READ_TIMEOUT_MS = 5000;

    private final int first;
    private final int last;

    private AuditPort(int first, int last) {
        this.first = first;
        this.last = last;
    }

    /** The whole reply to one request line, from the agent. */
    static native byte[] request(String line);

    /** Listens on a daemon thread of the audit group; a port below 1 listens nowhere. */
    static void start(ThreadGroup group, int port) {
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
        Thread thread = new Thread(group, new AuditPort(port, last), "audit port");
        thread.setDaemon(true);
        thread.start();
    }

    @Override
    public void run() {
        ServerSocket server = bind();
        if (server == null) {
            String range = first == last ? Integer.toString(first) : first + "-" + last;
            System.err.println("Zentrova: audit port " + range + " is in use; no live snapshots");
            return;
        }
        Echo.call("AuditPort.listen", "port=" + server.getLocalPort());
        for (;;) {
            try (Socket client = server.accept()) {
                client.setSoTimeout(READ_TIMEOUT_MS);
                answer(client);
            } catch (IOException e) {
                // One client's trouble does not stop the listener.
            }
        }
    }

    private ServerSocket bind() {
        boolean all = "true".equals(System.getProperty(ALL_ADDRESSES_PROPERTY));
        InetAddress address = all ? null : InetAddress.getLoopbackAddress();
        for (int port = first; port <= last; port++) {
            ServerSocket server = null;
            try {
                server = new ServerSocket();
                server.bind(new InetSocketAddress(address, port));
                return server;
            } catch (IOException e) {
                close(server);
            }
        }
        return null;
    }

    private static void close(ServerSocket server) {
        if (server == null) {
            return;
        }
        try {
            server.close();
        } catch (IOException e) {
            // Nothing more to release.
        }
    }

    private static void answer(Socket client) throws IOException {
        String request = readLine(client.getInputStream());
        OutputStream out = client.getOutputStream();
        if (request == null) {
            reply(out, "ERROR request line missing or longer than " + MAX_REQUEST + " bytes");
            return;
        }
        byte[] answer;
        try {
            answer = request(request);
        } catch (UnsatisfiedLinkError e) {
            answer = null;
        }
        if (answer == null) {
            reply(out, "ERROR no extension takes requests");
            return;
        }
        out.write(answer);
        out.flush();
    }

    private static void reply(OutputStream out, String line) throws IOException {
        out.write((line + "\n").getBytes(StandardCharsets.UTF_8));
        out.flush();
    }

    /** The first line without its end, or null when it is missing or too long. */
    private static String readLine(InputStream in) throws IOException {
        byte[] line = new byte[MAX_REQUEST];
        int length = 0;
        for (;;) {
            int c = in.read();
            if (c < 0 || c == '\n') {
                return c < 0 && length == 0 ? null : new String(line, 0, length, StandardCharsets.US_ASCII);
            }
            if (length == MAX_REQUEST) {
                return null;
            }
            if (c != '\r') {
                line[length++] = (byte) c;
            }
        }
    }
}
