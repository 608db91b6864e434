// A small workload for profiling: several threads compute (primes, sorting, a
// cellular automaton, Collatz chains) and one does file I/O in a temporary
// directory; a summary that does not depend on timing is printed at the end.
// The classes use no invokedynamic (no lambdas, string concatenation compiled
// inline), so that a class-file reader without those constants can instrument them.
package demo;

import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Map;
import java.util.concurrent.Callable;

public final class Main {
    private Main() {
    }

    public static void main(String[] args) throws Exception {
        final int scale = args.length > 0 ? Integer.parseInt(args[0]) : 1;
        if (scale < 1 || scale > 40) {
            throw new IllegalArgumentException("scale must be between 1 and 40");
        }
        final Path dir = Files.createTempDirectory("zenva-demo");
        try {
            Map<String, Callable<String>> tasks = new LinkedHashMap<>();
            tasks.put("primes", new Callable<String>() {
                @Override
                public String call() {
                    return Primes.summary(30_000_000 * scale);
                }
            });
            tasks.put("sorting", new Callable<String>() {
                @Override
                public String call() {
                    return Sorting.summary(24 * scale, 200_000, 42L);
                }
            });
            tasks.put("life", new Callable<String>() {
                @Override
                public String call() {
                    return Life.summary(256, 360 * scale, 7L);
                }
            });
            tasks.put("collatz", new Callable<String>() {
                @Override
                public String call() throws InterruptedException {
                    return Collatz.summary(4_000_000 * scale, 2);
                }
            });
            tasks.put("files", new Callable<String>() {
                @Override
                public String call() throws IOException {
                    return FileWork.summary(dir, 40 * scale, 2000);
                }
            });
            List<Worker> workers = new ArrayList<>();
            for (Map.Entry<String, Callable<String>> task : tasks.entrySet()) {
                Worker worker = new Worker(task.getKey(), task.getValue());
                workers.add(worker);
                worker.start();
            }
            System.out.println("demo summary (scale " + scale + ")");
            boolean failed = false;
            for (Worker worker : workers) {
                worker.join();
                System.out.println("  " + worker.getName() + ": " + worker.result());
                failed |= worker.failed();
            }
            if (failed) {
                System.exit(1);
            }
        } finally {
            FileWork.deleteTree(dir);
        }
    }

    /** One task on its own thread; keeps its result line or its failure. */
    private static final class Worker extends Thread {
        private final Callable<String> task;
        private String result;
        private Throwable failure;

        Worker(String name, Callable<String> task) {
            super(name);
            this.task = task;
        }

        @Override
        public void run() {
            try {
                result = task.call();
            } catch (Throwable t) {
                failure = t;
            }
        }

        boolean failed() {
            return failure != null;
        }

        String result() {
            return failure == null ? result : "FAILED: " + failure;
        }
    }
}
