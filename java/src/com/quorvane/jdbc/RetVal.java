package com.quorvane.jdbc;

/** A result object with two status bytes, written by the native getString. */
public class RetVal {
    public Object obj;
    public byte err0;
    public byte err1;
}
