package com.quorvane.jdbc;

import java.io.IOException;
import java.io.InputStream;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.nio.file.StandardCopyOption;
import java.nio.file.attribute.PosixFilePermissions;

/**
 * Loads the native library once per class loader. In this order:
 * <ol>
 * <li>the folder named by the system property {@value #PATH_PROPERTY}: both
 * libraries are loaded from there by absolute path;</li>
 * <li>the two libraries carried in the driver jar for linux-x86_64: extracted
 * into a private temporary folder (mode 0700, removed when the JVM exits) and
 * loaded from there;</li>
 * <li>otherwise {@code System.loadLibrary("qvJdbcCS70")}, which searches
 * {@code java.library.path}.</li>
 * </ol>
 * libruva70 is always loaded first by absolute path, so that the native
 * library's own dependency on it is met by the copy already in the process.
 */
final class NativeLoader {
    /** System property naming a folder that holds libqvJdbcCS70.so and libruva70.so. */
    static final String PATH_PROPERTY = "quorvane.jdbc.library.path";
    static final String RESOURCE_DIR = "/com/quorvane/jdbc/native/linux-x86_64/";
    static final String NATIVE = "libqvJdbcCS70.so";
    static final String DRIVER = "libruva70.so";

    private static boolean loaded;
    private static String loadedFrom;

    private NativeLoader() {}

    /** Loads the libraries if no earlier call did; safe from any thread. */
    static synchronized void load() {
        if (loaded) return;
        String dir = System.getProperty(PATH_PROPERTY);
        if (dir != null && !dir.isEmpty()) {
            Path d = Paths.get(dir).toAbsolutePath();
            System.load(d.resolve(DRIVER).toString());
            System.load(d.resolve(NATIVE).toString());
            loadedFrom = d.toString();
        } else if (onLinuxX64() && NativeLoader.class.getResource(RESOURCE_DIR + NATIVE) != null) {
            Path d = extract();
            System.load(d.resolve(DRIVER).toString());
            System.load(d.resolve(NATIVE).toString());
            loadedFrom = d.toString();
        } else {
            System.loadLibrary("qvJdbcCS70");
            loadedFrom = "java.library.path";
        }
        loaded = true;
    }

    /** Where the library came from: a folder, or "java.library.path". */
    static synchronized String loadedFrom() {
        return loadedFrom;
    }

    private static boolean onLinuxX64() {
        String os = System.getProperty("os.name", "").toLowerCase(java.util.Locale.ROOT);
        String arch = System.getProperty("os.arch", "");
        return os.startsWith("linux") && (arch.equals("amd64") || arch.equals("x86_64"));
    }

    private static Path extract() {
        try {
            Path dir = Files.createTempDirectory("quorvane-jdbc-",
                    PosixFilePermissions.asFileAttribute(PosixFilePermissions.fromString("rwx------")));
            dir.toFile().deleteOnExit();
            for (String name : new String[] {DRIVER, NATIVE}) {
                Path target = dir.resolve(name);
                try (InputStream in = NativeLoader.class.getResourceAsStream(RESOURCE_DIR + name)) {
                    if (in == null) throw new UnsatisfiedLinkError("the driver jar lacks " + name);
                    Files.copy(in, target, StandardCopyOption.REPLACE_EXISTING);
                }
                // deleteOnExit runs in reverse order of registration: files before their folder.
                target.toFile().deleteOnExit();
            }
            return dir;
        } catch (IOException e) {
            UnsatisfiedLinkError err = new UnsatisfiedLinkError("cannot extract the native library: " + e);
            err.initCause(e);
            throw err;
        }
    }
}
