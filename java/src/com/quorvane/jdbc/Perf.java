package com.quorvane.jdbc;

/** Performance-timer hooks; the native side does nothing with them. */
public final class Perf {
    static {
        System.loadLibrary("qvJdbcCS70");
    }

    private Perf() {}

    public static native void timerStart(int timer);
    public static native void timerEnd(int timer);
    public static native void timerSummary();
    public static native void timerClear();
    public static native long timerCurrent();
    public static native void timerRef(int timer, long reference);
}
