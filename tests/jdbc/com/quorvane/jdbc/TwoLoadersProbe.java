package com.quorvane.jdbc;

import java.lang.ref.WeakReference;
import java.net.URL;
import java.net.URLClassLoader;
import java.nio.file.Paths;

/**
 * Run in a JVM of its own by the loader test, with the driver jar and the
 * test classes as arguments (not on its class path): loads the driver in two
 * class loaders as a servlet container's two applications, uses both, drops
 * the first after it deregistered its driver, and reports whether that loader
 * was collected and the second still works.
 */
public final class TwoLoadersProbe {
    private TwoLoadersProbe() {}

    public static void main(String[] args) throws Exception {
        URL[] urls = {Paths.get(args[0]).toUri().toURL(), Paths.get(args[1]).toUri().toURL()};
        URLClassLoader first = new URLClassLoader(urls, ClassLoader.getPlatformClassLoader());
        URLClassLoader second = new URLClassLoader(urls, ClassLoader.getPlatformClassLoader());
        System.out.println("first=" + call(first, "use"));
        System.out.println("second=" + call(second, "use"));
        System.out.println("deregistered=" + call(first, "deregister"));
        WeakReference<ClassLoader> ref = new WeakReference<>(first);
        first.close();
        first = null;
        boolean collected = false;
        for (int i = 0; i < 100 && !collected; i++) {
            System.gc();
            Thread.sleep(50);
            collected = ref.get() == null;
        }
        System.out.println("collected=" + collected);
        System.out.println("after=" + call(second, "use"));
        URLClassLoader third = new URLClassLoader(urls, ClassLoader.getPlatformClassLoader());
        System.out.println("third=" + call(third, "use"));
    }

    /** A static method of the guest in the loader, with the loader as the thread's context loader (as a container sets it). */
    private static String call(ClassLoader loader, String method) throws Exception {
        Thread t = Thread.currentThread();
        ClassLoader before = t.getContextClassLoader();
        t.setContextClassLoader(loader);
        try {
            return String.valueOf(Class.forName("com.quorvane.jdbc.LoaderGuest", true, loader).getMethod(method).invoke(null));
        } finally {
            t.setContextClassLoader(before);
        }
    }
}
