package com.quorvane.jdbc;

/**
 * The native half of the driver: every method here is implemented by the
 * library qvJdbcCS70. Handles and native addresses travel as int; results and
 * failures come back as codes in errorCode (element 0: low byte of the ODBC
 * return code, element 1: a library status code).
 */
public class JdbcOdbcClient {
    static {
        NativeLoader.load();
    }

    public JdbcOdbcClient() {}

    // Platform and product
    public native boolean isLittleEndianPlatform();
    public native String getFullZirUrorVersion();
    public native void initIDs();

    // Diagnostics
    public native int error(int hEnv, int hDbc, int hStmt, byte[] sqlState, byte[] errorMsg, byte[] errorCode);

    // Handles and connection
    public native int allocEnv(byte[] errorCode);
    public native int allocConnect(int hEnv, byte[] errorCode);
    public native int allocStmt(int hDbc, byte[] errorCode);
    public native void freeEnv(int hEnv, byte[] errorCode);
    public native void freeConnect(int hDbc, byte[] errorCode);
    public native short freeStmt(int hStmt, int option);
    public native void driverConnect(int hDbc, byte[] connStr, byte[] errorCode);
    public native short browseConnect(int hDbc, byte[] connStrIn, byte[] connStrOut);
    public native void disconnect(int hDbc, byte[] errorCode);
    public native short transact(int hEnv, int hDbc, int completionType);
    public native short cancel(int hStmt);

    // Options, information and cursor names
    public native int getConnectOption(int hDbc, int option, byte[] errorCode);
    public native void getConnectOptionString(int hDbc, int option, byte[] buffer, byte[] errorCode);
    public native void setConnectOption(int hDbc, int option, int value, byte[] errorCode);
    public native void setConnectOptionString(int hDbc, int option, byte[] value, byte[] errorCode);
    public native int getStmtOption(int hStmt, int option, byte[] errorCode);
    public native void setStmtOption(int hStmt, int option, int value, byte[] errorCode);
    public native int getInfo(int hDbc, int infoType, byte[] errorCode);
    public native int getInfoShort(int hDbc, int infoType, byte[] errorCode);
    public native void getInfoString(int hDbc, int infoType, byte[] buffer, byte[] errorCode);
    public native int getDataStoreState(int hDbc, byte[] errorCode);
    public native void nativeSql(int hDbc, byte[] sqlIn, byte[] sqlOut, byte[] errorCode);
    public native void getCursorName(int hStmt, byte[] buffer, byte[] errorCode);
    public native void setCursorName(int hStmt, byte[] cursorName, byte[] errorCode);

    // Prepare, execute and data at execution
    public native void prepare(int hStmt, String sql, byte[] errorCode);
    public native short execDirect(int hStmt, String sql);
    public native short execute(int hStmt);
    public native int numParams(int hStmt, byte[] errorCode);
    public native int numResultCols(int hStmt, byte[] errorCode);
    public native int rowCount(int hStmt, byte[] errorCode);
    public native void moreResults(int hStmt, byte[] errorCode);
    public native int describeParam(int hStmt, int param, int which, byte[] errorCode);
    public native int paramData(int hStmt, byte[] errorCode);
    public native void putData(int hStmt, byte[] data, int length, byte[] errorCode);
    public native void putData(int hStmt, char[] data, int length, byte[] errorCode);

    // Batches
    public native short execStatementBatch(int hStmt, Object statement, String[] sqlTexts, int[] updateCounts);
    public native short execPreparedStatementBatch(int hStmt, Object statement, int params, short[] paramSqlTypes,
            int numParams, int numRows, short[] batchCTypes, Object[] valueColumns, Object[] indicatorColumns,
            int[] updateCounts);
    public native short rebindAllParams(int hStmt, int params, short[] paramSqlTypes, int numParams);

    // Parameter binding
    public native int bindAllParams(int hStmt, short[] sqlTypes, short[] driverTypes, int[] columnSizes,
            byte[] errorCode, int numParams);
    public native int setInteger(int hStmt, int params, int value, int paramNumber);
    public native int setLong(int hStmt, int params, long value, int paramNumber);
    public native int setFloat(int hStmt, int params, float value, int paramNumber);
    public native int setDouble(int hStmt, int params, double value, int paramNumber);
    public native void setNull(int hStmt, int params, byte[] errorCode, int paramNumber);
    public native void setTimestamp(int hStmt, int params, long value, byte[] errorCode, int paramNumber);
    public native void setString(int hStmt, int params, String value, byte[] errorCode, int paramNumber);
    public native void setBytes(int hStmt, int params, byte[] value, byte[] errorCode, int paramNumber);
    public native void bindInParameterAtExec(int params, int hStmt, int paramNumber, int sqlType, int cType,
            int length, byte[] tokenBytes, byte[] lengthBytes, byte[] errorCode, int[] storage);
    public native short bindOutParameterString(int hStmt, int paramNumber, int sqlType, int scale, byte[] buffer,
            byte[] lengthBytes, int[] storage);
    public native void ReleaseStoredBytes(int elements, int arrayRef);
    public native void freeBoundParams(int params, int numParams);

    // Column description and bound-column buffers
    public native int allocAndBindAllCols(int unused, int hStmt, int[] sqlTypes, int[] driverTypes, int[] lengths,
            int[] cTypes, byte[] errorCode, int numCols);
    public native void getStmtTypeInfo(int unused, int hStmt, int[] sqlTypes, int[] driverTypes, int[] lengths,
            byte[] errorCode, int numCols);
    public native void justReBindAllCols(int hStmt, int boundCols, int numCols, byte[] errorCode);
    public native int bindCol(int hStmt, int boundCols, int cType, int length, int column, byte[] errorCode);
    public native void freeBoundColBuffers(int boundCols, int numCols);
    public native int colAttributes(int hStmt, int column, int descType, byte[] errorCode);
    public native short colAttributesString(int hStmt, int column, int descType, byte[] buffer);

    // Fetch
    public native int fetch(int hStmt, int boundCols, JdbcOdbcBoundCol[] boundColObjects, int numCols);

    // Bound-column getters
    public native short getShort(int boundCols, byte[] errorCode, int column);
    public native int getInteger(int boundCols, byte[] errorCode, int column);
    public native long getLong(int boundCols, byte[] errorCode, int column);
    public native float getFloat(int boundCols, byte[] errorCode, int column);
    public native double getDouble(int boundCols, byte[] errorCode, int column);
    public native long getTimestampRaw(int boundCols, byte[] errorCode, int column);
    public native void getDate(int boundCols, byte[] errorCode, int column, int[] values);
    public native void getTime(int boundCols, byte[] errorCode, int column, int[] values);
    public native void getTimestamp(int boundCols, byte[] errorCode, int column, int[] values);
    public native int getBytes(int boundCols, byte[] buffer, byte[] errorCode, int column);

    // Decimal and string results
    public native java.math.BigDecimal getBigDecimal(int boundCols, int column);
    public native void getString(int boundCols, int column, RetVal retVal, int cType);

    // Unbound column retrieval
    public native int getDataInteger(int hStmt, int boundCols, int column, byte[] errorCode);
    public native short getDataShort(int hStmt, int boundCols, int column, byte[] errorCode);
    public native long getDataLong(int hStmt, int boundCols, int column, byte[] errorCode);
    public native float getDataFloat(int hStmt, int boundCols, int column, byte[] errorCode);
    public native double getDataDouble(int hStmt, int boundCols, int column, byte[] errorCode);
    public native long getDataTimestampRaw(int hStmt, int boundCols, byte[] errorCode, int column);
    public native void getDataDate(int hStmt, int boundCols, int column, int[] values, byte[] errorCode);
    public native void getDataTime(int hStmt, int boundCols, int column, int[] values, byte[] errorCode);
    public native void getDataTimestamp(int hStmt, int boundCols, int column, int[] values, byte[] errorCode);
    public native int getDataBinary(int hStmt, int boundCols, int column, int cType, byte[] buffer, int bufferSize,
            byte[] errorCode);
    public native int getDataString(int hStmt, int boundCols, int column, char[] buffer, byte[] errorCode,
            int sqlType);
    public native int getDataLength(int boundCols, byte[] errorCode, int column);

    // Streams
    public native void getStream(int boundCols, byte[] buffer, byte[] errorCode, int column, int streamType);
    public native int getDataStream(int hStmt, int boundCols, int column, int cType, byte[] buffer, int bufferSize,
            int streamType, byte[] errorCode);

    // Catalog functions
    public native void tables(int hStmt, byte[] catalog, boolean catalogNull, byte[] schema, boolean schemaNull,
            byte[] table, boolean tableNull, byte[] tableTypes, boolean tableTypesNull, byte[] errorCode);
    public native void columns(int hStmt, byte[] catalog, boolean catalogNull, byte[] schema, boolean schemaNull,
            byte[] table, boolean tableNull, byte[] columnName, boolean columnNameNull, byte[] errorCode);
    public native void columnPrivileges(int hStmt, byte[] catalog, boolean catalogNull, byte[] schema,
            boolean schemaNull, byte[] table, boolean tableNull, byte[] columnName, boolean columnNameNull,
            byte[] errorCode);
    public native void tablePrivileges(int hStmt, byte[] catalog, boolean catalogNull, byte[] schema,
            boolean schemaNull, byte[] table, boolean tableNull, byte[] errorCode);
    public native void primaryKeys(int hStmt, byte[] catalog, boolean catalogNull, byte[] schema,
            boolean schemaNull, byte[] table, boolean tableNull, byte[] errorCode);
    public native void foreignKeys(int hStmt, byte[] pkCatalog, boolean pkCatalogNull, byte[] pkSchema,
            boolean pkSchemaNull, byte[] pkTable, boolean pkTableNull, byte[] fkCatalog, boolean fkCatalogNull,
            byte[] fkSchema, boolean fkSchemaNull, byte[] fkTable, boolean fkTableNull, byte[] errorCode);
    public native void procedures(int hStmt, byte[] catalog, boolean catalogNull, byte[] schema,
            boolean schemaNull, byte[] procedure, boolean procedureNull, byte[] errorCode);
    public native void procedureColumns(int hStmt, byte[] catalog, boolean catalogNull, byte[] schema,
            boolean schemaNull, byte[] procedure, boolean procedureNull, byte[] columnName,
            boolean columnNameNull, byte[] errorCode);
    public native void specialColumns(int hStmt, int identifierType, byte[] catalog, boolean catalogNull,
            byte[] schema, boolean schemaNull, byte[] table, boolean tableNull, int scope, int nullable,
            byte[] errorCode);
    public native void statistics(int hStmt, byte[] catalog, boolean catalogNull, byte[] schema,
            boolean schemaNull, byte[] table, boolean tableNull, int unique, int approximate, byte[] errorCode);
    public native void getTypeInfo(int hStmt, int sqlType, byte[] errorCode);
}
