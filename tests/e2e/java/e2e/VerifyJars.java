// Loads and initialises every class of some jars, so that each is linked and
// therefore verified. Arguments: JAR[:DEPENDENCY...] per jar; the jar's own
// classes are tried, the dependencies only complete its loader.
package e2e;

import java.io.File;
import java.net.URL;
import java.net.URLClassLoader;
import java.util.ArrayList;
import java.util.Collections;
import java.util.List;
import java.util.jar.JarFile;

public final class VerifyJars {
    public static void main(String[] args) throws Exception {
        for (String arg : args) {
            String[] paths = arg.split(File.pathSeparator);
            URL[] urls = new URL[paths.length];
            for (int i = 0; i < paths.length; i++) {
                urls[i] = new File(paths[i]).toURI().toURL();
            }
            List<String> names = new ArrayList<>();
            try (JarFile jar = new JarFile(paths[0])) {
                jar.stream().map(e -> e.getName())
                        .filter(n -> n.endsWith(".class") && !n.startsWith("META-INF/") && !n.endsWith("module-info.class"))
                        .forEach(n -> names.add(n.substring(0, n.length() - 6).replace('/', '.')));
            }
            Collections.sort(names);
            String jarName = new File(paths[0]).getName();
            int loaded = 0;
            int verify = 0;
            int other = 0;
            // The platform loader as parent: nothing of this program's class path leaks in.
            URLClassLoader loader = new URLClassLoader(urls, ClassLoader.getPlatformClassLoader());
            for (String name : names) {
                try {
                    Class.forName(name, true, loader);
                    loaded++;
                } catch (Throwable t) {
                    VerifyError v = verifyError(t);
                    if (v != null) {
                        verify++;
                        System.err.println("verify error: " + jarName + " " + name + ": " + reason(v.getMessage()));
                    } else {
                        other++;
                        System.err.println("other error: " + jarName + " " + name + ": " + t.getClass().getName());
                    }
                }
            }
            System.out.println(jarName + ": classes " + names.size() + ", loaded " + loaded
                    + ", verify errors " + verify + ", other errors " + other);
        }
        System.out.flush();
        // Threads some initialisers start must not keep the VM alive.
        System.exit(0);
    }

    private static VerifyError verifyError(Throwable t) {
        for (Throwable c = t; c != null; c = c.getCause()) {
            if (c instanceof VerifyError) {
                return (VerifyError) c;
            }
        }
        return null;
    }

    // The reason, and the method and offset from the details that follow it.
    private static String reason(String message) {
        if (message == null) {
            return "";
        }
        String[] lines = message.split("\n");
        for (int i = 1; i + 1 < lines.length; i++) {
            if (lines[i].trim().equals("Location:")) {
                return lines[0] + " at " + lines[i + 1].trim();
            }
        }
        return lines[0];
    }
}
