package com.quorvane.jdbc.variant;

/**
 * A class whose native initIDs a contract test binds to the library's initIDs
 * (RegisterNatives), so that the library resolves class names in this class's
 * loader, the one that holds the variant classes.
 */
public final class InitIdsProbe {
    private InitIdsProbe() {}

    public static native void initIDs();
}
