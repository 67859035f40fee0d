package com.quorvane.jdbc.tests;

import java.util.Objects;

/** Counts the checks of one Java test, reports each failure and ends the JVM with the verdict. */
final class Check {
    private final String name;
    private int checks;
    private int failures;

    Check(String name) {
        this.name = name;
    }

    void isTrue(boolean condition, String what) {
        ++checks;
        if (!condition) {
            ++failures;
            System.out.println("FAIL " + what);
        }
    }

    void equal(Object expected, Object actual, String what) {
        isTrue(Objects.equals(expected, actual), what + ": expected <" + expected + ">, got <" + actual + ">");
    }

    void fail(String what) {
        isTrue(false, what);
    }

    /** Prints the summary and exits: 0 when every check passed. */
    void finish() {
        System.out.println(name + ": " + checks + " checks, " + failures + " failed");
        System.exit(failures == 0 && checks > 0 ? 0 : 1);
    }
}
