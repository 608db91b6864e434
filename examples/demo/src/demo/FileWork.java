// Writes record files into a temporary directory, reads them back and
// checks their contents.
package demo;

import java.io.BufferedReader;
import java.io.BufferedWriter;
import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.Comparator;
import java.util.List;
import java.util.stream.Collectors;
import java.util.stream.Stream;
import java.util.zip.CRC32;

final class FileWork {
    private FileWork() {
    }

    static String summary(Path dir, int files, int lines) throws IOException {
        long bytes = 0;
        for (int f = 0; f < files; f++) {
            Path file = dir.resolve(String.format("records-%03d.txt", f));
            try (BufferedWriter out = Files.newBufferedWriter(file, StandardCharsets.UTF_8)) {
                for (int i = 0; i < lines; i++) {
                    out.write(record(f, i));
                    out.newLine();
                }
            }
            bytes += Files.size(file);
        }
        CRC32 crc = new CRC32();
        long total = 0;
        int bad = 0;
        for (int f = 0; f < files; f++) {
            Path file = dir.resolve(String.format("records-%03d.txt", f));
            try (BufferedReader in = Files.newBufferedReader(file, StandardCharsets.UTF_8)) {
                int i = 0;
                for (String line; (line = in.readLine()) != null; i++) {
                    if (!line.equals(record(f, i))) {
                        bad++;
                    }
                    crc.update(line.getBytes(StandardCharsets.UTF_8));
                    total += Long.parseLong(line.substring(line.lastIndexOf(' ') + 1));
                }
            }
        }
        return String.format("%d files, %d bytes, %d bad lines, value total %d, crc %08x",
                files, bytes, bad, total, crc.getValue());
    }

    private static String record(int file, int line) {
        long value = (file * 7919L + line * 104729L) % 1_000_003L;
        return "file " + file + " line " + line + " value " + value;
    }

    static void deleteTree(Path dir) throws IOException {
        List<Path> paths;
        try (Stream<Path> walk = Files.walk(dir)) {
            paths = walk.sorted(Comparator.reverseOrder()).collect(Collectors.toList());
        }
        for (Path p : paths) {
            Files.delete(p);
        }
    }
}
