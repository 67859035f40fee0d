package com.quorvane.jdbc;

import java.sql.Connection;
import java.sql.DatabaseMetaData;
import java.sql.ResultSet;
import java.sql.RowIdLifetime;
import java.sql.SQLException;

/**
 * What the driver and the data source offer. This first version answers what
 * pools, templates and the driver itself ask right away (names and versions,
 * batches, generated keys, transactions, the identifier quote); the catalog
 * methods and the other properties are not offered yet and throw
 * {@link java.sql.SQLFeatureNotSupportedException}.
 */
public class JdbcOdbcDatabaseMetaData implements DatabaseMetaData {
    private final JdbcOdbcConnection conn;

    JdbcOdbcDatabaseMetaData(JdbcOdbcConnection conn) {
        this.conn = conn;
    }

    private String text(int infoType) throws SQLException {
        String s = conn.infoString(infoType);
        return s == null ? "" : s;
    }

    /** A part of the data source's version text ("16.2" gives 16, then 2). */
    private int versionPart(int k) throws SQLException {
        String[] parts = text(Odbc.INFO_DBMS_VER).trim().split("[^0-9]+");
        int found = 0;
        for (String p : parts) {
            if (p.isEmpty()) continue;
            if (found++ == k) {
                try {
                    return Integer.parseInt(p);
                } catch (NumberFormatException e) {
                    return 0;
                }
            }
        }
        return 0;
    }

    @Override
    public <T> T unwrap(Class<T> iface) throws SQLException {
        if (iface.isInstance(this)) return iface.cast(this);
        throw JdbcOdbcErrors.of("Not a wrapper for " + iface.getName(), "HY024");
    }

    @Override
    public boolean isWrapperFor(Class<?> iface) {
        return iface.isInstance(this);
    }

    @Override
    public boolean allProceduresAreCallable() throws SQLException {
        throw JdbcOdbcErrors.notSupported("allProceduresAreCallable");
    }

    @Override
    public boolean allTablesAreSelectable() throws SQLException {
        throw JdbcOdbcErrors.notSupported("allTablesAreSelectable");
    }

    @Override
    public boolean autoCommitFailureClosesAllResultSets() throws SQLException {
        throw JdbcOdbcErrors.notSupported("autoCommitFailureClosesAllResultSets");
    }

    @Override
    public boolean dataDefinitionCausesTransactionCommit() throws SQLException {
        throw JdbcOdbcErrors.notSupported("dataDefinitionCausesTransactionCommit");
    }

    @Override
    public boolean dataDefinitionIgnoredInTransactions() throws SQLException {
        throw JdbcOdbcErrors.notSupported("dataDefinitionIgnoredInTransactions");
    }

    @Override
    public boolean deletesAreDetected(int a0) throws SQLException {
        throw JdbcOdbcErrors.notSupported("deletesAreDetected");
    }

    @Override
    public boolean doesMaxRowSizeIncludeBlobs() throws SQLException {
        throw JdbcOdbcErrors.notSupported("doesMaxRowSizeIncludeBlobs");
    }

    @Override
    public boolean generatedKeyAlwaysReturned() throws SQLException {
        throw JdbcOdbcErrors.notSupported("generatedKeyAlwaysReturned");
    }

    @Override
    public ResultSet getAttributes(String a0, String a1, String a2, String a3) throws SQLException {
        throw JdbcOdbcErrors.notSupported("getAttributes");
    }

    @Override
    public ResultSet getBestRowIdentifier(String a0, String a1, String a2, int a3, boolean a4) throws SQLException {
        throw JdbcOdbcErrors.notSupported("getBestRowIdentifier");
    }

    @Override
    public String getCatalogSeparator() throws SQLException {
        throw JdbcOdbcErrors.notSupported("getCatalogSeparator");
    }

    @Override
    public String getCatalogTerm() throws SQLException {
        throw JdbcOdbcErrors.notSupported("getCatalogTerm");
    }

    @Override
    public ResultSet getCatalogs() throws SQLException {
        throw JdbcOdbcErrors.notSupported("getCatalogs");
    }

    @Override
    public ResultSet getClientInfoProperties() throws SQLException {
        throw JdbcOdbcErrors.notSupported("getClientInfoProperties");
    }

    @Override
    public ResultSet getColumnPrivileges(String a0, String a1, String a2, String a3) throws SQLException {
        throw JdbcOdbcErrors.notSupported("getColumnPrivileges");
    }

    @Override
    public ResultSet getColumns(String a0, String a1, String a2, String a3) throws SQLException {
        throw JdbcOdbcErrors.notSupported("getColumns");
    }

    @Override
    public Connection getConnection() throws SQLException {
        return conn;
    }

    @Override
    public ResultSet getCrossReference(String a0, String a1, String a2, String a3, String a4, String a5) throws SQLException {
        throw JdbcOdbcErrors.notSupported("getCrossReference");
    }

    @Override
    public int getDatabaseMajorVersion() throws SQLException {
        return versionPart(0);
    }

    @Override
    public int getDatabaseMinorVersion() throws SQLException {
        return versionPart(1);
    }

    @Override
    public String getDatabaseProductName() throws SQLException {
        return text(Odbc.INFO_DBMS_NAME);
    }

    @Override
    public String getDatabaseProductVersion() throws SQLException {
        return text(Odbc.INFO_DBMS_VER);
    }

    @Override
    public int getDefaultTransactionIsolation() throws SQLException {
        Integer d = conn.info(Odbc.INFO_DEFAULT_TXN_ISOLATION);
        return d != null && (d == 1 || d == 2 || d == 4 || d == 8) ? d : Connection.TRANSACTION_READ_COMMITTED;
    }

    @Override
    public int getDriverMajorVersion() {
        return JdbcOdbcDriver.MAJOR;
    }

    @Override
    public int getDriverMinorVersion() {
        return JdbcOdbcDriver.MINOR;
    }

    @Override
    public String getDriverName() throws SQLException {
        return JdbcOdbcDriver.NAME;
    }

    @Override
    public String getDriverVersion() throws SQLException {
        return JdbcOdbcDriver.MAJOR + "." + JdbcOdbcDriver.MINOR + " (native " + conn.odbc.getFullZirUrorVersion() + ")";
    }

    @Override
    public ResultSet getExportedKeys(String a0, String a1, String a2) throws SQLException {
        throw JdbcOdbcErrors.notSupported("getExportedKeys");
    }

    @Override
    public String getExtraNameCharacters() throws SQLException {
        throw JdbcOdbcErrors.notSupported("getExtraNameCharacters");
    }

    @Override
    public ResultSet getFunctionColumns(String a0, String a1, String a2, String a3) throws SQLException {
        throw JdbcOdbcErrors.notSupported("getFunctionColumns");
    }

    @Override
    public ResultSet getFunctions(String a0, String a1, String a2) throws SQLException {
        throw JdbcOdbcErrors.notSupported("getFunctions");
    }

    @Override
    public String getIdentifierQuoteString() throws SQLException {
        String q = text(Odbc.INFO_IDENTIFIER_QUOTE_CHAR);
        return q.isEmpty() ? " " : q;
    }

    @Override
    public ResultSet getImportedKeys(String a0, String a1, String a2) throws SQLException {
        throw JdbcOdbcErrors.notSupported("getImportedKeys");
    }

    @Override
    public ResultSet getIndexInfo(String a0, String a1, String a2, boolean a3, boolean a4) throws SQLException {
        throw JdbcOdbcErrors.notSupported("getIndexInfo");
    }

    @Override
    public int getJDBCMajorVersion() throws SQLException {
        return 4;
    }

    @Override
    public int getJDBCMinorVersion() throws SQLException {
        return 2;
    }

    @Override
    public int getMaxBinaryLiteralLength() throws SQLException {
        throw JdbcOdbcErrors.notSupported("getMaxBinaryLiteralLength");
    }

    @Override
    public int getMaxCatalogNameLength() throws SQLException {
        throw JdbcOdbcErrors.notSupported("getMaxCatalogNameLength");
    }

    @Override
    public int getMaxCharLiteralLength() throws SQLException {
        throw JdbcOdbcErrors.notSupported("getMaxCharLiteralLength");
    }

    @Override
    public int getMaxColumnNameLength() throws SQLException {
        throw JdbcOdbcErrors.notSupported("getMaxColumnNameLength");
    }

    @Override
    public int getMaxColumnsInGroupBy() throws SQLException {
        throw JdbcOdbcErrors.notSupported("getMaxColumnsInGroupBy");
    }

    @Override
    public int getMaxColumnsInIndex() throws SQLException {
        throw JdbcOdbcErrors.notSupported("getMaxColumnsInIndex");
    }

    @Override
    public int getMaxColumnsInOrderBy() throws SQLException {
        throw JdbcOdbcErrors.notSupported("getMaxColumnsInOrderBy");
    }

    @Override
    public int getMaxColumnsInSelect() throws SQLException {
        throw JdbcOdbcErrors.notSupported("getMaxColumnsInSelect");
    }

    @Override
    public int getMaxColumnsInTable() throws SQLException {
        throw JdbcOdbcErrors.notSupported("getMaxColumnsInTable");
    }

    @Override
    public int getMaxConnections() throws SQLException {
        throw JdbcOdbcErrors.notSupported("getMaxConnections");
    }

    @Override
    public int getMaxCursorNameLength() throws SQLException {
        throw JdbcOdbcErrors.notSupported("getMaxCursorNameLength");
    }

    @Override
    public int getMaxIndexLength() throws SQLException {
        throw JdbcOdbcErrors.notSupported("getMaxIndexLength");
    }

    @Override
    public int getMaxProcedureNameLength() throws SQLException {
        throw JdbcOdbcErrors.notSupported("getMaxProcedureNameLength");
    }

    @Override
    public int getMaxRowSize() throws SQLException {
        throw JdbcOdbcErrors.notSupported("getMaxRowSize");
    }

    @Override
    public int getMaxSchemaNameLength() throws SQLException {
        throw JdbcOdbcErrors.notSupported("getMaxSchemaNameLength");
    }

    @Override
    public int getMaxStatementLength() throws SQLException {
        throw JdbcOdbcErrors.notSupported("getMaxStatementLength");
    }

    @Override
    public int getMaxStatements() throws SQLException {
        throw JdbcOdbcErrors.notSupported("getMaxStatements");
    }

    @Override
    public int getMaxTableNameLength() throws SQLException {
        throw JdbcOdbcErrors.notSupported("getMaxTableNameLength");
    }

    @Override
    public int getMaxTablesInSelect() throws SQLException {
        throw JdbcOdbcErrors.notSupported("getMaxTablesInSelect");
    }

    @Override
    public int getMaxUserNameLength() throws SQLException {
        throw JdbcOdbcErrors.notSupported("getMaxUserNameLength");
    }

    @Override
    public String getNumericFunctions() throws SQLException {
        throw JdbcOdbcErrors.notSupported("getNumericFunctions");
    }

    @Override
    public ResultSet getPrimaryKeys(String a0, String a1, String a2) throws SQLException {
        throw JdbcOdbcErrors.notSupported("getPrimaryKeys");
    }

    @Override
    public ResultSet getProcedureColumns(String a0, String a1, String a2, String a3) throws SQLException {
        throw JdbcOdbcErrors.notSupported("getProcedureColumns");
    }

    @Override
    public String getProcedureTerm() throws SQLException {
        throw JdbcOdbcErrors.notSupported("getProcedureTerm");
    }

    @Override
    public ResultSet getProcedures(String a0, String a1, String a2) throws SQLException {
        throw JdbcOdbcErrors.notSupported("getProcedures");
    }

    @Override
    public ResultSet getPseudoColumns(String a0, String a1, String a2, String a3) throws SQLException {
        throw JdbcOdbcErrors.notSupported("getPseudoColumns");
    }

    @Override
    public int getResultSetHoldability() throws SQLException {
        return ResultSet.CLOSE_CURSORS_AT_COMMIT;
    }

    @Override
    public RowIdLifetime getRowIdLifetime() throws SQLException {
        throw JdbcOdbcErrors.notSupported("getRowIdLifetime");
    }

    @Override
    public String getSQLKeywords() throws SQLException {
        throw JdbcOdbcErrors.notSupported("getSQLKeywords");
    }

    @Override
    public int getSQLStateType() throws SQLException {
        throw JdbcOdbcErrors.notSupported("getSQLStateType");
    }

    @Override
    public String getSchemaTerm() throws SQLException {
        throw JdbcOdbcErrors.notSupported("getSchemaTerm");
    }

    @Override
    public ResultSet getSchemas() throws SQLException {
        throw JdbcOdbcErrors.notSupported("getSchemas");
    }

    @Override
    public ResultSet getSchemas(String a0, String a1) throws SQLException {
        throw JdbcOdbcErrors.notSupported("getSchemas");
    }

    @Override
    public String getSearchStringEscape() throws SQLException {
        throw JdbcOdbcErrors.notSupported("getSearchStringEscape");
    }

    @Override
    public String getStringFunctions() throws SQLException {
        throw JdbcOdbcErrors.notSupported("getStringFunctions");
    }

    @Override
    public ResultSet getSuperTables(String a0, String a1, String a2) throws SQLException {
        throw JdbcOdbcErrors.notSupported("getSuperTables");
    }

    @Override
    public ResultSet getSuperTypes(String a0, String a1, String a2) throws SQLException {
        throw JdbcOdbcErrors.notSupported("getSuperTypes");
    }

    @Override
    public String getSystemFunctions() throws SQLException {
        throw JdbcOdbcErrors.notSupported("getSystemFunctions");
    }

    @Override
    public ResultSet getTablePrivileges(String a0, String a1, String a2) throws SQLException {
        throw JdbcOdbcErrors.notSupported("getTablePrivileges");
    }

    @Override
    public ResultSet getTableTypes() throws SQLException {
        throw JdbcOdbcErrors.notSupported("getTableTypes");
    }

    @Override
    public ResultSet getTables(String a0, String a1, String a2, String[] a3) throws SQLException {
        throw JdbcOdbcErrors.notSupported("getTables");
    }

    @Override
    public String getTimeDateFunctions() throws SQLException {
        throw JdbcOdbcErrors.notSupported("getTimeDateFunctions");
    }

    @Override
    public ResultSet getTypeInfo() throws SQLException {
        throw JdbcOdbcErrors.notSupported("getTypeInfo");
    }

    @Override
    public ResultSet getUDTs(String a0, String a1, String a2, int[] a3) throws SQLException {
        throw JdbcOdbcErrors.notSupported("getUDTs");
    }

    @Override
    public String getURL() throws SQLException {
        return conn.url();
    }

    @Override
    public String getUserName() throws SQLException {
        String u = conn.infoString(Odbc.INFO_USER_NAME);
        return u == null || u.isEmpty() ? conn.user() : u;
    }

    @Override
    public ResultSet getVersionColumns(String a0, String a1, String a2) throws SQLException {
        throw JdbcOdbcErrors.notSupported("getVersionColumns");
    }

    @Override
    public boolean insertsAreDetected(int a0) throws SQLException {
        throw JdbcOdbcErrors.notSupported("insertsAreDetected");
    }

    @Override
    public boolean isCatalogAtStart() throws SQLException {
        throw JdbcOdbcErrors.notSupported("isCatalogAtStart");
    }

    @Override
    public boolean isReadOnly() throws SQLException {
        return conn.isReadOnly();
    }

    @Override
    public boolean locatorsUpdateCopy() throws SQLException {
        throw JdbcOdbcErrors.notSupported("locatorsUpdateCopy");
    }

    @Override
    public boolean nullPlusNonNullIsNull() throws SQLException {
        throw JdbcOdbcErrors.notSupported("nullPlusNonNullIsNull");
    }

    @Override
    public boolean nullsAreSortedAtEnd() throws SQLException {
        throw JdbcOdbcErrors.notSupported("nullsAreSortedAtEnd");
    }

    @Override
    public boolean nullsAreSortedAtStart() throws SQLException {
        throw JdbcOdbcErrors.notSupported("nullsAreSortedAtStart");
    }

    @Override
    public boolean nullsAreSortedHigh() throws SQLException {
        throw JdbcOdbcErrors.notSupported("nullsAreSortedHigh");
    }

    @Override
    public boolean nullsAreSortedLow() throws SQLException {
        throw JdbcOdbcErrors.notSupported("nullsAreSortedLow");
    }

    @Override
    public boolean othersDeletesAreVisible(int a0) throws SQLException {
        throw JdbcOdbcErrors.notSupported("othersDeletesAreVisible");
    }

    @Override
    public boolean othersInsertsAreVisible(int a0) throws SQLException {
        throw JdbcOdbcErrors.notSupported("othersInsertsAreVisible");
    }

    @Override
    public boolean othersUpdatesAreVisible(int a0) throws SQLException {
        throw JdbcOdbcErrors.notSupported("othersUpdatesAreVisible");
    }

    @Override
    public boolean ownDeletesAreVisible(int a0) throws SQLException {
        throw JdbcOdbcErrors.notSupported("ownDeletesAreVisible");
    }

    @Override
    public boolean ownInsertsAreVisible(int a0) throws SQLException {
        throw JdbcOdbcErrors.notSupported("ownInsertsAreVisible");
    }

    @Override
    public boolean ownUpdatesAreVisible(int a0) throws SQLException {
        throw JdbcOdbcErrors.notSupported("ownUpdatesAreVisible");
    }

    @Override
    public boolean storesLowerCaseIdentifiers() throws SQLException {
        throw JdbcOdbcErrors.notSupported("storesLowerCaseIdentifiers");
    }

    @Override
    public boolean storesLowerCaseQuotedIdentifiers() throws SQLException {
        throw JdbcOdbcErrors.notSupported("storesLowerCaseQuotedIdentifiers");
    }

    @Override
    public boolean storesMixedCaseIdentifiers() throws SQLException {
        throw JdbcOdbcErrors.notSupported("storesMixedCaseIdentifiers");
    }

    @Override
    public boolean storesMixedCaseQuotedIdentifiers() throws SQLException {
        throw JdbcOdbcErrors.notSupported("storesMixedCaseQuotedIdentifiers");
    }

    @Override
    public boolean storesUpperCaseIdentifiers() throws SQLException {
        throw JdbcOdbcErrors.notSupported("storesUpperCaseIdentifiers");
    }

    @Override
    public boolean storesUpperCaseQuotedIdentifiers() throws SQLException {
        throw JdbcOdbcErrors.notSupported("storesUpperCaseQuotedIdentifiers");
    }

    @Override
    public boolean supportsANSI92EntryLevelSQL() throws SQLException {
        throw JdbcOdbcErrors.notSupported("supportsANSI92EntryLevelSQL");
    }

    @Override
    public boolean supportsANSI92FullSQL() throws SQLException {
        throw JdbcOdbcErrors.notSupported("supportsANSI92FullSQL");
    }

    @Override
    public boolean supportsANSI92IntermediateSQL() throws SQLException {
        throw JdbcOdbcErrors.notSupported("supportsANSI92IntermediateSQL");
    }

    @Override
    public boolean supportsAlterTableWithAddColumn() throws SQLException {
        throw JdbcOdbcErrors.notSupported("supportsAlterTableWithAddColumn");
    }

    @Override
    public boolean supportsAlterTableWithDropColumn() throws SQLException {
        throw JdbcOdbcErrors.notSupported("supportsAlterTableWithDropColumn");
    }

    @Override
    public boolean supportsBatchUpdates() throws SQLException {
        return true;
    }

    @Override
    public boolean supportsCatalogsInDataManipulation() throws SQLException {
        throw JdbcOdbcErrors.notSupported("supportsCatalogsInDataManipulation");
    }

    @Override
    public boolean supportsCatalogsInIndexDefinitions() throws SQLException {
        throw JdbcOdbcErrors.notSupported("supportsCatalogsInIndexDefinitions");
    }

    @Override
    public boolean supportsCatalogsInPrivilegeDefinitions() throws SQLException {
        throw JdbcOdbcErrors.notSupported("supportsCatalogsInPrivilegeDefinitions");
    }

    @Override
    public boolean supportsCatalogsInProcedureCalls() throws SQLException {
        throw JdbcOdbcErrors.notSupported("supportsCatalogsInProcedureCalls");
    }

    @Override
    public boolean supportsCatalogsInTableDefinitions() throws SQLException {
        throw JdbcOdbcErrors.notSupported("supportsCatalogsInTableDefinitions");
    }

    @Override
    public boolean supportsColumnAliasing() throws SQLException {
        throw JdbcOdbcErrors.notSupported("supportsColumnAliasing");
    }

    @Override
    public boolean supportsConvert() throws SQLException {
        throw JdbcOdbcErrors.notSupported("supportsConvert");
    }

    @Override
    public boolean supportsConvert(int a0, int a1) throws SQLException {
        throw JdbcOdbcErrors.notSupported("supportsConvert");
    }

    @Override
    public boolean supportsCoreSQLGrammar() throws SQLException {
        throw JdbcOdbcErrors.notSupported("supportsCoreSQLGrammar");
    }

    @Override
    public boolean supportsCorrelatedSubqueries() throws SQLException {
        throw JdbcOdbcErrors.notSupported("supportsCorrelatedSubqueries");
    }

    @Override
    public boolean supportsDataDefinitionAndDataManipulationTransactions() throws SQLException {
        throw JdbcOdbcErrors.notSupported("supportsDataDefinitionAndDataManipulationTransactions");
    }

    @Override
    public boolean supportsDataManipulationTransactionsOnly() throws SQLException {
        throw JdbcOdbcErrors.notSupported("supportsDataManipulationTransactionsOnly");
    }

    @Override
    public boolean supportsDifferentTableCorrelationNames() throws SQLException {
        throw JdbcOdbcErrors.notSupported("supportsDifferentTableCorrelationNames");
    }

    @Override
    public boolean supportsExpressionsInOrderBy() throws SQLException {
        throw JdbcOdbcErrors.notSupported("supportsExpressionsInOrderBy");
    }

    @Override
    public boolean supportsExtendedSQLGrammar() throws SQLException {
        throw JdbcOdbcErrors.notSupported("supportsExtendedSQLGrammar");
    }

    @Override
    public boolean supportsFullOuterJoins() throws SQLException {
        throw JdbcOdbcErrors.notSupported("supportsFullOuterJoins");
    }

    @Override
    public boolean supportsGetGeneratedKeys() throws SQLException {
        return false;
    }

    @Override
    public boolean supportsGroupBy() throws SQLException {
        throw JdbcOdbcErrors.notSupported("supportsGroupBy");
    }

    @Override
    public boolean supportsGroupByBeyondSelect() throws SQLException {
        throw JdbcOdbcErrors.notSupported("supportsGroupByBeyondSelect");
    }

    @Override
    public boolean supportsGroupByUnrelated() throws SQLException {
        throw JdbcOdbcErrors.notSupported("supportsGroupByUnrelated");
    }

    @Override
    public boolean supportsIntegrityEnhancementFacility() throws SQLException {
        throw JdbcOdbcErrors.notSupported("supportsIntegrityEnhancementFacility");
    }

    @Override
    public boolean supportsLikeEscapeClause() throws SQLException {
        throw JdbcOdbcErrors.notSupported("supportsLikeEscapeClause");
    }

    @Override
    public boolean supportsLimitedOuterJoins() throws SQLException {
        throw JdbcOdbcErrors.notSupported("supportsLimitedOuterJoins");
    }

    @Override
    public boolean supportsMinimumSQLGrammar() throws SQLException {
        throw JdbcOdbcErrors.notSupported("supportsMinimumSQLGrammar");
    }

    @Override
    public boolean supportsMixedCaseIdentifiers() throws SQLException {
        throw JdbcOdbcErrors.notSupported("supportsMixedCaseIdentifiers");
    }

    @Override
    public boolean supportsMixedCaseQuotedIdentifiers() throws SQLException {
        throw JdbcOdbcErrors.notSupported("supportsMixedCaseQuotedIdentifiers");
    }

    @Override
    public boolean supportsMultipleOpenResults() throws SQLException {
        throw JdbcOdbcErrors.notSupported("supportsMultipleOpenResults");
    }

    @Override
    public boolean supportsMultipleResultSets() throws SQLException {
        throw JdbcOdbcErrors.notSupported("supportsMultipleResultSets");
    }

    @Override
    public boolean supportsMultipleTransactions() throws SQLException {
        return true;
    }

    @Override
    public boolean supportsNamedParameters() throws SQLException {
        throw JdbcOdbcErrors.notSupported("supportsNamedParameters");
    }

    @Override
    public boolean supportsNonNullableColumns() throws SQLException {
        throw JdbcOdbcErrors.notSupported("supportsNonNullableColumns");
    }

    @Override
    public boolean supportsOpenCursorsAcrossCommit() throws SQLException {
        throw JdbcOdbcErrors.notSupported("supportsOpenCursorsAcrossCommit");
    }

    @Override
    public boolean supportsOpenCursorsAcrossRollback() throws SQLException {
        throw JdbcOdbcErrors.notSupported("supportsOpenCursorsAcrossRollback");
    }

    @Override
    public boolean supportsOpenStatementsAcrossCommit() throws SQLException {
        throw JdbcOdbcErrors.notSupported("supportsOpenStatementsAcrossCommit");
    }

    @Override
    public boolean supportsOpenStatementsAcrossRollback() throws SQLException {
        throw JdbcOdbcErrors.notSupported("supportsOpenStatementsAcrossRollback");
    }

    @Override
    public boolean supportsOrderByUnrelated() throws SQLException {
        throw JdbcOdbcErrors.notSupported("supportsOrderByUnrelated");
    }

    @Override
    public boolean supportsOuterJoins() throws SQLException {
        throw JdbcOdbcErrors.notSupported("supportsOuterJoins");
    }

    @Override
    public boolean supportsPositionedDelete() throws SQLException {
        throw JdbcOdbcErrors.notSupported("supportsPositionedDelete");
    }

    @Override
    public boolean supportsPositionedUpdate() throws SQLException {
        throw JdbcOdbcErrors.notSupported("supportsPositionedUpdate");
    }

    @Override
    public boolean supportsResultSetConcurrency(int a0, int a1) throws SQLException {
        return a0 == ResultSet.TYPE_FORWARD_ONLY && a1 == ResultSet.CONCUR_READ_ONLY;
    }

    @Override
    public boolean supportsResultSetHoldability(int a0) throws SQLException {
        return a0 == ResultSet.CLOSE_CURSORS_AT_COMMIT;
    }

    @Override
    public boolean supportsResultSetType(int a0) throws SQLException {
        return a0 == ResultSet.TYPE_FORWARD_ONLY;
    }

    @Override
    public boolean supportsSavepoints() throws SQLException {
        return false;
    }

    @Override
    public boolean supportsSchemasInDataManipulation() throws SQLException {
        throw JdbcOdbcErrors.notSupported("supportsSchemasInDataManipulation");
    }

    @Override
    public boolean supportsSchemasInIndexDefinitions() throws SQLException {
        throw JdbcOdbcErrors.notSupported("supportsSchemasInIndexDefinitions");
    }

    @Override
    public boolean supportsSchemasInPrivilegeDefinitions() throws SQLException {
        throw JdbcOdbcErrors.notSupported("supportsSchemasInPrivilegeDefinitions");
    }

    @Override
    public boolean supportsSchemasInProcedureCalls() throws SQLException {
        throw JdbcOdbcErrors.notSupported("supportsSchemasInProcedureCalls");
    }

    @Override
    public boolean supportsSchemasInTableDefinitions() throws SQLException {
        throw JdbcOdbcErrors.notSupported("supportsSchemasInTableDefinitions");
    }

    @Override
    public boolean supportsSelectForUpdate() throws SQLException {
        throw JdbcOdbcErrors.notSupported("supportsSelectForUpdate");
    }

    @Override
    public boolean supportsStatementPooling() throws SQLException {
        throw JdbcOdbcErrors.notSupported("supportsStatementPooling");
    }

    @Override
    public boolean supportsStoredFunctionsUsingCallSyntax() throws SQLException {
        throw JdbcOdbcErrors.notSupported("supportsStoredFunctionsUsingCallSyntax");
    }

    @Override
    public boolean supportsStoredProcedures() throws SQLException {
        throw JdbcOdbcErrors.notSupported("supportsStoredProcedures");
    }

    @Override
    public boolean supportsSubqueriesInComparisons() throws SQLException {
        throw JdbcOdbcErrors.notSupported("supportsSubqueriesInComparisons");
    }

    @Override
    public boolean supportsSubqueriesInExists() throws SQLException {
        throw JdbcOdbcErrors.notSupported("supportsSubqueriesInExists");
    }

    @Override
    public boolean supportsSubqueriesInIns() throws SQLException {
        throw JdbcOdbcErrors.notSupported("supportsSubqueriesInIns");
    }

    @Override
    public boolean supportsSubqueriesInQuantifieds() throws SQLException {
        throw JdbcOdbcErrors.notSupported("supportsSubqueriesInQuantifieds");
    }

    @Override
    public boolean supportsTableCorrelationNames() throws SQLException {
        throw JdbcOdbcErrors.notSupported("supportsTableCorrelationNames");
    }

    @Override
    public boolean supportsTransactionIsolationLevel(int a0) throws SQLException {
        if (a0 == Connection.TRANSACTION_NONE) return !supportsTransactions();
        Integer o = conn.info(Odbc.INFO_TXN_ISOLATION_OPTION);
        return o != null && (o & a0) != 0;
    }

    @Override
    public boolean supportsTransactions() throws SQLException {
        Integer t = conn.infoShort(Odbc.INFO_TXN_CAPABLE);
        return t == null || t != 0;
    }

    @Override
    public boolean supportsUnion() throws SQLException {
        throw JdbcOdbcErrors.notSupported("supportsUnion");
    }

    @Override
    public boolean supportsUnionAll() throws SQLException {
        throw JdbcOdbcErrors.notSupported("supportsUnionAll");
    }

    @Override
    public boolean updatesAreDetected(int a0) throws SQLException {
        throw JdbcOdbcErrors.notSupported("updatesAreDetected");
    }

    @Override
    public boolean usesLocalFilePerTable() throws SQLException {
        throw JdbcOdbcErrors.notSupported("usesLocalFilePerTable");
    }

    @Override
    public boolean usesLocalFiles() throws SQLException {
        throw JdbcOdbcErrors.notSupported("usesLocalFiles");
    }
}
