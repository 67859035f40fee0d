package com.quorvane.jdbc.tests;

import java.io.File;
import java.net.MalformedURLException;
import java.net.URL;
import java.net.URLClassLoader;

/**
 * Loads a class in a class loader of its own that sees only the given folders
 * (and the platform's classes), so that a variant of a driver class in the
 * first folder takes the place of the real one.
 */
public final class VariantClasses {
    private VariantClasses() {}

    /** classPath: folders separated by the path separator, searched in order. */
    public static Class<?> load(String className, String classPath)
            throws ClassNotFoundException, MalformedURLException {
        String[] dirs = classPath.split(File.pathSeparator);
        URL[] urls = new URL[dirs.length];
        for (int i = 0; i < dirs.length; ++i) {
            urls[i] = new File(dirs[i]).toURI().toURL();
        }
        ClassLoader loader = new URLClassLoader(urls, ClassLoader.getPlatformClassLoader());
        return Class.forName(className, false, loader);
    }
}
