package com.quorvane.jdbc;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNotEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.nio.file.StandardCopyOption;
import java.nio.file.attribute.PosixFilePermissions;
import java.util.ArrayList;
import java.util.Comparator;
import java.util.List;
import java.util.stream.Stream;
import org.junit.jupiter.api.Test;

/**
 * Where the native library comes from, in JVMs of their own: two class
 * loaders of one JVM, the folder of quorvane.jdbc.library.path (absolute,
 * not writable by others), and the removal of folders dead processes left.
 * Only on SQLite (the data source does not matter here).
 */
class LoaderTest {
    private static final String BUILD = System.getenv("QVT_BINARY_DIR");

    private static String javaBin() {
        return Paths.get(System.getProperty("java.home"), "bin", "java").toString();
    }

    /** The test run's folder (made here: on a server data source no other test makes it). */
    private static Path tmpRoot() throws Exception {
        return Files.createDirectories(Paths.get(System.getenv("QVT_TMP")));
    }

    private static Path jar() throws Exception {
        return Paths.get(JdbcOdbcDriver.class.getProtectionDomain().getCodeSource().getLocation().toURI());
    }

    private static Path testClasses() throws Exception {
        return Paths.get(LoaderProbe.class.getProtectionDomain().getCodeSource().getLocation().toURI());
    }

    private static boolean skip() {
        return BUILD == null || Db.postgres();
    }

    /** Runs a class of the test classes in a new JVM; its exit code and output. */
    private static Result run(List<String> jvmOptions, String classPath, String main, String... args) throws Exception {
        List<String> cmd = new ArrayList<>(List.of(javaBin()));
        cmd.addAll(jvmOptions);
        cmd.addAll(List.of("-cp", classPath, main));
        cmd.addAll(List.of(args));
        Process p = new ProcessBuilder(cmd).redirectErrorStream(true).start();
        String out = new String(p.getInputStream().readAllBytes(), StandardCharsets.UTF_8);
        return new Result(p.waitFor(), out, p.pid());
    }

    private record Result(int code, String out, long pid) {}

    private static String probeClassPath() throws Exception {
        return jar() + ":" + testClasses();
    }

    private static void twoLoaders(List<String> options) throws Exception {
        Result r = run(options, testClasses().toString(), TwoLoadersProbe.class.getName(), jar().toString(),
                testClasses().toString());
        assertEquals(0, r.code(), r.out());
        String first = line(r.out(), "first=");
        String second = line(r.out(), "second=");
        assertTrue(first.startsWith("42@"), r.out());
        assertTrue(second.startsWith("42@"), r.out());
        assertNotEquals(first, second, "each loader has a copy of its own");
        assertEquals("1", line(r.out(), "deregistered="), r.out());
        assertEquals("true", line(r.out(), "collected="), "the dropped loader was collected\n" + r.out());
        assertTrue(line(r.out(), "after=").startsWith("42@"), r.out());
        assertTrue(line(r.out(), "third=").startsWith("42@"), r.out());
    }

    private static String line(String out, String prefix) {
        return out.lines().filter(l -> l.startsWith(prefix)).map(l -> l.substring(prefix.length())).findFirst()
                .orElse("<missing " + prefix + ">");
    }

    @Test
    void twoClassLoadersWithTheLibraryFromTheJar() throws Exception {
        if (skip()) return;
        twoLoaders(List.of());
    }

    @Test
    void twoClassLoadersWithTheLibraryFromAFolder() throws Exception {
        if (skip()) return;
        twoLoaders(List.of("-Dquorvane.jdbc.library.path=" + Paths.get(BUILD).toAbsolutePath()));
    }

    @Test
    void aRelativeLibraryFolderIsRefused() throws Exception {
        if (skip()) return;
        Result r = run(List.of("-Dquorvane.jdbc.library.path=build"), probeClassPath(), LoaderProbe.class.getName());
        assertNotEquals(0, r.code(), r.out());
        assertTrue(r.out().contains("absolute path"), r.out());
        assertFalse(r.out().contains("valid=true"), r.out());
    }

    @Test
    void aLibraryFolderOthersMayWriteIsRefused() throws Exception {
        if (skip()) return;
        Path dir = Files.createTempDirectory(tmpRoot(), "libs");
        try {
            for (String lib : new String[] {NativeLoader.DRIVER, NativeLoader.NATIVE}) {
                Files.copy(Paths.get(BUILD, lib), dir.resolve(lib), StandardCopyOption.REPLACE_EXISTING);
                Files.setPosixFilePermissions(dir.resolve(lib), PosixFilePermissions.fromString("rwxr-xr-x"));
            }
            String option = "-Dquorvane.jdbc.library.path=" + dir;
            Files.setPosixFilePermissions(dir, PosixFilePermissions.fromString("rwxrwxrwx"));
            Result open = run(List.of(option), probeClassPath(), LoaderProbe.class.getName());
            assertNotEquals(0, open.code(), open.out());
            assertTrue(open.out().contains("writable by others"), open.out());

            Files.setPosixFilePermissions(dir, PosixFilePermissions.fromString("rwxr-xr-x"));
            Files.setPosixFilePermissions(dir.resolve(NativeLoader.NATIVE), PosixFilePermissions.fromString("rwxrwxr-x"));
            Result lib = run(List.of(option), probeClassPath(), LoaderProbe.class.getName());
            assertNotEquals(0, lib.code(), lib.out());
            assertTrue(lib.out().contains("writable by its group"), lib.out());

            Files.setPosixFilePermissions(dir.resolve(NativeLoader.NATIVE), PosixFilePermissions.fromString("rwxr-xr-x"));
            Result ok = run(List.of(option), probeClassPath(), LoaderProbe.class.getName());
            assertEquals(0, ok.code(), ok.out());
            assertTrue(ok.out().contains("valid=true"), ok.out());
        } finally {
            deleteTree(dir);
        }
    }

    @Test
    void foldersOfDeadProcessesAreRemovedAtTheNextStart() throws Exception {
        if (skip()) return;
        Path tmp = Files.createTempDirectory(tmpRoot(), "tmpdir");
        try {
            Process gone = new ProcessBuilder("true").start();
            gone.waitFor();
            long dead = gone.pid();
            long alive = ProcessHandle.current().pid();
            Path stale = Files.createDirectory(tmp.resolve("quorvane-jdbc-" + dead + "-123"));
            Files.write(stale.resolve("libruva70.so"), new byte[] {1, 2, 3});
            Path live = Files.createDirectory(tmp.resolve("quorvane-jdbc-" + alive + "-456"));
            Path unnamed = Files.createDirectory(tmp.resolve("quorvane-jdbc-789"));
            Path foreign = Files.createDirectory(tmp.resolve("other-" + dead + "-1"));
            Path kept = Files.createDirectory(tmp.resolve("keep-me"));
            Files.write(kept.resolve("file"), new byte[] {1});
            Path link = Files.createSymbolicLink(tmp.resolve("quorvane-jdbc-" + dead + "-link"), kept);

            Result r = run(List.of("-Djava.io.tmpdir=" + tmp), probeClassPath(), LoaderProbe.class.getName());
            assertEquals(0, r.code(), r.out());
            assertTrue(r.out().contains("valid=true"), r.out());
            assertFalse(Files.exists(stale), "the dead process's folder is removed");
            assertTrue(Files.exists(live), "a live process's folder stays");
            assertTrue(Files.exists(unnamed), "a folder without a process id is not ours to judge");
            assertTrue(Files.exists(foreign));
            assertTrue(Files.exists(kept.resolve("file")), "a link is never followed");
            assertTrue(Files.isSymbolicLink(link));
            // The probe's own folder went with its JVM.
            try (Stream<Path> s = Files.list(tmp)) {
                assertFalse(s.anyMatch(p -> p.getFileName().toString().startsWith("quorvane-jdbc-" + r.pid() + "-")),
                        "the probe's folder is removed when its JVM exits");
            }
        } finally {
            deleteTree(tmp);
        }
    }

    @Test
    void privateFolderNamesCarryTheProcessId() {
        assertEquals(123, NativeLoader.ownerPid("quorvane-jdbc-123-abc"));
        assertEquals(-1, NativeLoader.ownerPid("quorvane-jdbc-abc"));
        assertEquals(-1, NativeLoader.ownerPid("quorvane-jdbc-123-"));
        assertEquals(-1, NativeLoader.ownerPid("quorvane-jdbc-owner-1.probe"));
        assertEquals(-1, NativeLoader.ownerPid("other-123-abc"));
    }

    private static void deleteTree(Path dir) throws Exception {
        if (!Files.exists(dir, java.nio.file.LinkOption.NOFOLLOW_LINKS)) return;
        try (Stream<Path> s = Files.walk(dir)) {
            for (Path p : s.sorted(Comparator.reverseOrder()).toList()) Files.deleteIfExists(p);
        }
    }
}
