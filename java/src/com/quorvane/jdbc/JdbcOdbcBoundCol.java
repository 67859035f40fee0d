package com.quorvane.jdbc;

/** One result column's cached value, written by the native fetch. */
public class JdbcOdbcBoundCol {
    public boolean hasCachedValue;
    public boolean cachedNull;
    public int cachedInt;
    public short cachedShort;
    public long cachedLong;
    public float cachedReal;
    public double cachedDouble;

    /** Clears the cached flags before the next row. */
    public void clearCache() {
        hasCachedValue = false;
        cachedNull = false;
    }
}
