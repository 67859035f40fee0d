package com.quorvane.jdbc.tests;

import java.io.IOException;
import java.lang.reflect.Method;
import java.lang.reflect.Modifier;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.HashMap;
import java.util.List;
import java.util.Map;
import java.util.TreeMap;
import java.util.TreeSet;

/**
 * The native methods of the Java classes, reflected without initialising the
 * classes (so the library is not loaded), against two lists kept as data:
 * tests/data/exports.txt, the JNI names with their argument byte counts, and
 * tests/data/descriptors.txt, the JNI names with the full Java descriptor and
 * whether the method is static, written from the interface tables of the
 * driver's description. Every native must be on both lists, and every entry
 * of the lists must be a native.
 */
public final class ExportsTest {
    private static final String[] CLASSES = {
        "com.quorvane.jdbc.JdbcOdbcClient", "com.quorvane.jdbc.xa.XAJdbcOdbcClient", "com.quorvane.jdbc.Perf",
    };
    private static final int[] NATIVE_COUNTS = {100, 9, 6};

    private ExportsTest() {}

    /** JNI name mangling of one name or signature part. */
    static String mangle(String s) {
        StringBuilder b = new StringBuilder();
        for (char c : s.toCharArray()) {
            if (c == '/' || c == '.') {
                b.append('_');
            } else if (c == '_') {
                b.append("_1");
            } else if (c == ';') {
                b.append("_2");
            } else if (c == '[') {
                b.append("_3");
            } else if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
                b.append(c);
            } else {
                b.append(String.format("_0%04x", (int) c));
            }
        }
        return b.toString();
    }

    static String descriptor(Class<?> c) {
        if (c.isArray()) {
            return c.getName().replace('.', '/');
        }
        if (c == void.class) return "V";
        if (c == boolean.class) return "Z";
        if (c == byte.class) return "B";
        if (c == char.class) return "C";
        if (c == short.class) return "S";
        if (c == int.class) return "I";
        if (c == long.class) return "J";
        if (c == float.class) return "F";
        if (c == double.class) return "D";
        return "L" + c.getName().replace('.', '/') + ";";
    }

    static String arguments(Method m) {
        StringBuilder b = new StringBuilder();
        for (Class<?> p : m.getParameterTypes()) {
            b.append(descriptor(p));
        }
        return b.toString();
    }

    /** 4 for the JNIEnv pointer, 4 for the receiver, 4 per argument, 8 for long and double. */
    static int byteCount(Method m) {
        int n = 8;
        for (Class<?> p : m.getParameterTypes()) {
            n += (p == long.class || p == double.class) ? 8 : 4;
        }
        return n;
    }

    /** Non-comment lines split at blanks, keyed by their first field. */
    static Map<String, String[]> readList(Path file, int fields, Check check) throws IOException {
        Map<String, String[]> m = new TreeMap<>();
        for (String line : Files.readAllLines(file)) {
            line = line.strip();
            if (line.isEmpty() || line.startsWith("#")) continue;
            String[] f = line.split("\\s+");
            check.equal(fields, f.length, file.getFileName() + ": fields of \"" + line + "\"");
            check.isTrue(m.put(f[0], f) == null, file.getFileName() + ": " + f[0] + " listed once");
        }
        return m;
    }

    public static void main(String[] args) throws Exception {
        Check check = new Check("ExportsTest");
        String source = System.getProperty("qvt.source.dir", System.getenv("QVT_SOURCE_DIR"));
        if (source == null) {
            System.out.println("set -Dqvt.source.dir or QVT_SOURCE_DIR to the source tree");
            System.exit(2);
        }
        Path data = Path.of(source, "tests", "data");
        Map<String, String[]> exports = readList(data.resolve("exports.txt"), 2, check);
        Map<String, String[]> descriptors = readList(data.resolve("descriptors.txt"), 3, check);

        ClassLoader loader = ExportsTest.class.getClassLoader();
        Map<String, Integer> counts = new TreeMap<>();
        Map<String, String> described = new TreeMap<>();
        for (int k = 0; k < CLASSES.length; ++k) {
            Class<?> cls = Class.forName(CLASSES[k], false, loader);
            List<Method> natives = new ArrayList<>();
            Map<String, Integer> perName = new HashMap<>();
            for (Method m : cls.getDeclaredMethods()) {
                if (Modifier.isNative(m.getModifiers())) {
                    natives.add(m);
                    perName.merge(m.getName(), 1, Integer::sum);
                }
            }
            check.equal(NATIVE_COUNTS[k], natives.size(), "native methods of " + CLASSES[k]);
            String prefix = "Java_" + mangle(cls.getName()) + "_";
            for (Method m : natives) {
                String name = prefix + mangle(m.getName());
                if (perName.get(m.getName()) > 1) {
                    name += "__" + mangle(arguments(m));
                }
                boolean isStatic = Modifier.isStatic(m.getModifiers());
                String full = "(" + arguments(m) + ")" + descriptor(m.getReturnType());
                check.isTrue(counts.put(name, byteCount(m)) == null, name + " names one native");
                described.put(name, full + " " + (isStatic ? "static" : "instance"));
            }
        }

        for (Map.Entry<String, Integer> e : counts.entrySet()) {
            String[] listed = exports.get(e.getKey());
            if (listed == null) {
                check.fail("exports.txt lacks " + e.getKey());
            } else {
                check.equal(listed[1], String.valueOf(e.getValue()), "byte count of " + e.getKey());
            }
            String[] d = descriptors.get(e.getKey());
            if (d == null) {
                check.fail("descriptors.txt lacks " + e.getKey());
            } else {
                check.equal(d[1] + " " + d[2], described.get(e.getKey()), "descriptor of " + e.getKey());
            }
        }
        TreeSet<String> unknown = new TreeSet<>(exports.keySet());
        unknown.addAll(descriptors.keySet());
        unknown.removeAll(counts.keySet());
        for (String name : unknown) {
            check.fail("listed but not a native method: " + name);
        }
        check.equal(115, exports.size(), "entries of exports.txt");
        check.equal(115, descriptors.size(), "entries of descriptors.txt");
        check.finish();
    }
}
