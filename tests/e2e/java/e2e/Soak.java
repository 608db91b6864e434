// A steady server-like load: a loopback server whose fixed pool of workers
// parses each request line, computes over it (sorting, hashing, a recursion),
// allocates and answers, while client threads in the same VM send requests
// over connections they reopen every few hundred requests. The load stays the
// same throughout, so after warm-up the process's memory should stay flat.
// Usage: Soak SECONDS SAMPLE_SECONDS; every SAMPLE_SECONDS it prints
// "sample: SECONDS HEAP_BYTES RESIDENT_KB REQUESTS", the least of four
// readings over a second of the process's heap in use (where the agent
// allocates) and resident set, so a snapshot being rendered does not count.
package e2e;

import java.io.BufferedReader;
import java.io.IOException;
import java.io.InputStreamReader;
import java.io.PrintWriter;
import java.net.InetAddress;
import java.net.ServerSocket;
import java.net.Socket;
import java.nio.charset.StandardCharsets;
import java.util.Arrays;
import java.util.concurrent.ExecutorService;
import java.util.concurrent.Executors;
import java.util.concurrent.TimeUnit;
import java.util.concurrent.atomic.AtomicLong;

public final class Soak {
    static final int WORKERS = 4;
    static final int CLIENTS = 3;
    static final AtomicLong REQUESTS = new AtomicLong();
    static final AtomicLong FAILED = new AtomicLong();
    static volatile boolean stopping;
    static volatile String firstFailure = "";

    static void failed(Throwable e) {
        if (FAILED.getAndIncrement() == 0) {
            firstFailure = e.toString();
        }
    }

    // "n v1 v2 ... vn" -> "sum hash depth"
    static String handle(String line) {
        String[] words = line.split(" ");
        int n = Integer.parseInt(words[0]);
        long[] values = new long[n];
        for (int i = 0; i < n; ++i) {
            values[i] = Long.parseLong(words[i + 1]);
        }
        Arrays.sort(values);
        StringBuilder text = new StringBuilder();
        long sum = 0;
        for (long v : values) {
            sum += v;
            text.append(v).append(',');
        }
        return sum + " " + text.toString().hashCode() + " " + depth((int) (values[0] & 63) + 1);
    }

    static int depth(int n) {
        Object[] frame = new Object[4];
        frame[n & 3] = frame;
        return n == 0 ? frame.length : depth(n - 1) + 1;
    }

    static void serve(Socket socket) {
        try (socket;
             BufferedReader in = new BufferedReader(new InputStreamReader(socket.getInputStream(), StandardCharsets.UTF_8));
             PrintWriter out = new PrintWriter(socket.getOutputStream(), false, StandardCharsets.UTF_8)) {
            for (String line; (line = in.readLine()) != null;) {
                out.println(handle(line));
                out.flush();
            }
        } catch (IOException | RuntimeException e) {
            if (!stopping) {
                failed(e);
            }
        }
    }

    static void client(int port, int seed) {
        java.util.Random random = new java.util.Random(seed);
        while (!stopping) {
            try (Socket socket = new Socket(InetAddress.getLoopbackAddress(), port);
                 BufferedReader in = new BufferedReader(new InputStreamReader(socket.getInputStream(), StandardCharsets.UTF_8));
                 PrintWriter out = new PrintWriter(socket.getOutputStream(), false, StandardCharsets.UTF_8)) {
                for (int r = 0; r < 500 && !stopping; ++r) {
                    int n = 1 + random.nextInt(200);
                    StringBuilder request = new StringBuilder().append(n);
                    for (int i = 0; i < n; ++i) {
                        request.append(' ').append(random.nextInt(1_000_000));
                    }
                    out.println(request);
                    out.flush();
                    String answer = in.readLine();
                    if (answer == null || answer.split(" ").length != 3) {
                        throw new IOException("bad answer: " + answer);
                    }
                    REQUESTS.incrementAndGet();
                }
            } catch (IOException | RuntimeException e) {
                if (!stopping) {
                    failed(e);
                }
            }
        }
    }

    public static void main(String[] args) throws Exception {
        System.load(System.getProperty("zv.churn"));
        long seconds = Long.parseLong(args[0]);
        long every = Long.parseLong(args[1]);
        ExecutorService workers = Executors.newFixedThreadPool(WORKERS);
        ServerSocket server = new ServerSocket(0, 50, InetAddress.getLoopbackAddress());
        Thread acceptor = new Thread(() -> {
            while (!stopping) {
                try {
                    Socket socket = server.accept();
                    workers.execute(() -> serve(socket));
                } catch (IOException e) {
                    if (!stopping) {
                        failed(e);
                    }
                }
            }
        }, "soak-acceptor");
        acceptor.start();
        Thread[] clients = new Thread[CLIENTS];
        for (int i = 0; i < CLIENTS; ++i) {
            int seed = i;
            clients[i] = new Thread(() -> client(server.getLocalPort(), seed), "soak-client-" + i);
            clients[i].start();
        }
        long start = System.nanoTime();
        for (long next = every; next <= seconds; next += every) {
            long wait = start + next * 1_000_000_000L - System.nanoTime() - 1_000_000_000L;
            if (wait > 0) {
                Thread.sleep(wait / 1_000_000);
            }
            long heap = Long.MAX_VALUE;
            long resident = Long.MAX_VALUE;
            for (int i = 0; i < 4; ++i) {
                Thread.sleep(250);
                heap = Math.min(heap, Churn.memory()[0]);
                resident = Math.min(resident, Churn.resident());
            }
            System.out.println("sample: " + next + " " + heap + " " + resident + " " + REQUESTS.get());
        }
        stopping = true;
        server.close();
        for (Thread client : clients) {
            client.join();
        }
        acceptor.join();
        workers.shutdown();
        boolean ended = workers.awaitTermination(30, TimeUnit.SECONDS);
        System.out.println("soak: " + REQUESTS.get() + " requests, " + FAILED.get() + " failed " + firstFailure);
        System.out.println("workers ended: " + ended);
    }
}
