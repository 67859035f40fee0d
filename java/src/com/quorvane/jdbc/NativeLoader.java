package com.quorvane.jdbc;

import java.io.IOException;
import java.io.InputStream;
import java.nio.file.DirectoryStream;
import java.nio.file.Files;
import java.nio.file.LinkOption;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.nio.file.attribute.PosixFilePermission;
import java.nio.file.attribute.PosixFilePermissions;
import java.nio.file.attribute.UserPrincipal;
import java.util.Set;

/**
 * Loads the native library once per class loader. The libraries come from, in
 * this order:
 * <ol>
 * <li>the folder named by the system property {@value #PATH_PROPERTY}: an
 * absolute path to a folder that neither its group nor others may write
 * (anything else is refused);</li>
 * <li>the two libraries carried in the driver jar for linux-x86_64;</li>
 * <li>otherwise {@code System.loadLibrary("qvJdbcCS70")}, which searches
 * {@code java.library.path}.</li>
 * </ol>
 * In the first two cases both libraries are copied into a private folder of
 * this class loader ({@code quorvane-jdbc-<pid>-*} in {@code java.io.tmpdir},
 * mode 0700, removed when the JVM exits) and loaded from there by absolute
 * path, libruva70 first. The JVM loads one library file into one class loader
 * only; with a copy of its own, each class loader of the driver (a
 * container's redeployed application) loads it, and a loader that is dropped
 * can be collected with its copy. Folders of this kind that a JVM which died
 * left behind (its process is gone, the folder is this user's) are removed
 * before a new one is made.
 */
final class NativeLoader {
    /** System property naming a folder that holds libqvJdbcCS70.so and libruva70.so. */
    static final String PATH_PROPERTY = "quorvane.jdbc.library.path";
    static final String RESOURCE_DIR = "/com/quorvane/jdbc/native/linux-x86_64/";
    static final String NATIVE = "libqvJdbcCS70.so";
    static final String DRIVER = "libruva70.so";
    /** The name of the private folders begins with this, the owning process id and a dash. */
    static final String FOLDER_PREFIX = "quorvane-jdbc-";

    private static boolean loaded;
    private static String loadedFrom;
    private static Path privateFolder;

    private NativeLoader() {}

    /** Loads the libraries if no earlier call did; safe from any thread. */
    static synchronized void load() {
        if (loaded) return;
        String dir = System.getProperty(PATH_PROPERTY);
        if (dir != null && !dir.isEmpty()) {
            Path d = checkedFolder(dir);
            privateFolder = copyAndLoad(name -> Files.newInputStream(d.resolve(name)));
            loadedFrom = d.toString();
        } else if (onLinuxX64() && NativeLoader.class.getResource(RESOURCE_DIR + NATIVE) != null) {
            privateFolder = copyAndLoad(name -> NativeLoader.class.getResourceAsStream(RESOURCE_DIR + name));
            loadedFrom = privateFolder.toString();
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

    /** The private folder the libraries were loaded from; null when loaded from java.library.path. */
    static synchronized Path privateFolder() {
        return privateFolder;
    }

    private static boolean onLinuxX64() {
        String os = System.getProperty("os.name", "").toLowerCase(java.util.Locale.ROOT);
        String arch = System.getProperty("os.arch", "");
        return os.startsWith("linux") && (arch.equals("amd64") || arch.equals("x86_64"));
    }

    /**
     * The folder of {@value #PATH_PROPERTY}: absolute, and writable by its
     * owner alone (whoever else may write it could put code there).
     */
    static Path checkedFolder(String dir) {
        Path d = Paths.get(dir);
        if (!d.isAbsolute()) {
            throw new UnsatisfiedLinkError(PATH_PROPERTY + " must name a folder by an absolute path; \"" + dir
                    + "\" would depend on the working folder");
        }
        try {
            Path real = d.toRealPath();
            refuseWritableByOthers(real, "the folder");
            for (String name : new String[] {DRIVER, NATIVE}) {
                Path f = real.resolve(name);
                if (Files.exists(f)) refuseWritableByOthers(f.toRealPath(), name);
            }
            return real;
        } catch (IOException e) {
            UnsatisfiedLinkError err = new UnsatisfiedLinkError(PATH_PROPERTY + " names no usable folder: " + dir
                    + " (" + e + ")");
            err.initCause(e);
            throw err;
        }
    }

    private static void refuseWritableByOthers(Path p, String what) throws IOException {
        Set<PosixFilePermission> perms = Files.getPosixFilePermissions(p);
        if (perms.contains(PosixFilePermission.GROUP_WRITE) || perms.contains(PosixFilePermission.OTHERS_WRITE)) {
            throw new UnsatisfiedLinkError(PATH_PROPERTY + ": " + what + " " + p + " is writable by "
                    + (perms.contains(PosixFilePermission.OTHERS_WRITE) ? "others" : "its group")
                    + " (" + PosixFilePermissions.toString(perms) + "); the driver loads no code from there");
        }
    }

    private interface Source {
        InputStream open(String name) throws IOException;
    }

    private static Path copyAndLoad(Source source) {
        Path dir;
        try {
            Path tmp = Paths.get(System.getProperty("java.io.tmpdir"));
            removeStaleFolders(tmp);
            dir = Files.createTempDirectory(tmp, FOLDER_PREFIX + ProcessHandle.current().pid() + "-",
                    PosixFilePermissions.asFileAttribute(PosixFilePermissions.fromString("rwx------")));
            dir.toFile().deleteOnExit();
            for (String name : new String[] {DRIVER, NATIVE}) {
                Path target = dir.resolve(name);
                try (InputStream in = source.open(name)) {
                    if (in == null) throw new UnsatisfiedLinkError("the driver jar lacks " + name);
                    Files.copy(in, target);
                }
                // deleteOnExit runs in reverse order of registration: files before their folder.
                target.toFile().deleteOnExit();
            }
        } catch (IOException e) {
            UnsatisfiedLinkError err = new UnsatisfiedLinkError("cannot copy the native library: " + e);
            err.initCause(e);
            throw err;
        }
        // libruva70 first, by path: the native library's dependency on it is
        // then met by a copy already in the process.
        System.load(dir.resolve(DRIVER).toString());
        System.load(dir.resolve(NATIVE).toString());
        return dir;
    }

    /**
     * Removes the private folders of processes that are gone: named
     * {@code quorvane-jdbc-<pid>-...}, owned by this user, with no
     * {@code /proc/<pid>}. Their files are removed, never followed; anything
     * else in them (a folder) leaves the folder in place. Failures are
     * ignored: this is housekeeping.
     */
    static void removeStaleFolders(Path tmp) {
        UserPrincipal me;
        try {
            Path probe = Files.createTempFile(tmp, FOLDER_PREFIX + "owner-", ".probe");
            try {
                me = Files.getOwner(probe);
            } finally {
                Files.deleteIfExists(probe);
            }
        } catch (IOException | UnsupportedOperationException e) {
            return;
        }
        long self = ProcessHandle.current().pid();
        try (DirectoryStream<Path> entries = Files.newDirectoryStream(tmp, FOLDER_PREFIX + "*")) {
            for (Path p : entries) {
                long pid = ownerPid(p.getFileName().toString());
                if (pid <= 0 || pid == self || Files.exists(Paths.get("/proc", Long.toString(pid)))) continue;
                if (!Files.isDirectory(p, LinkOption.NOFOLLOW_LINKS)) continue;
                if (!me.equals(Files.getOwner(p, LinkOption.NOFOLLOW_LINKS))) continue;
                removeFolder(p);
            }
        } catch (IOException | RuntimeException e) {
            // housekeeping only
        }
    }

    /** The process id in a private folder's name, or -1 when the name is not of that form. */
    static long ownerPid(String name) {
        if (!name.startsWith(FOLDER_PREFIX)) return -1;
        int end = name.indexOf('-', FOLDER_PREFIX.length());
        if (end <= FOLDER_PREFIX.length() || end == name.length() - 1) return -1;
        try {
            return Long.parseLong(name.substring(FOLDER_PREFIX.length(), end));
        } catch (NumberFormatException e) {
            return -1;
        }
    }

    private static void removeFolder(Path dir) throws IOException {
        try (DirectoryStream<Path> files = Files.newDirectoryStream(dir)) {
            for (Path f : files) {
                if (!Files.isDirectory(f, LinkOption.NOFOLLOW_LINKS)) Files.deleteIfExists(f);
            }
        }
        Files.deleteIfExists(dir);
    }
}
