package com.quorvane.jdbc;

/** A JdbcOdbcBoundCol without cachedShort, for the failure path of initIDs. */
public class JdbcOdbcBoundCol {
    public boolean hasCachedValue;
    public boolean cachedNull;
    public int cachedInt;
    public long cachedLong;
    public float cachedReal;
    public double cachedDouble;
}
