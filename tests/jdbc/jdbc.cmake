# JDBC tests: JUnit 5 (Debian's junit5 console launcher) against the driver
# jar, the way an application uses it (no java.library.path). Every test class
# runs on SQLite (jdbc_sqlite), PostgreSQL (jdbc_postgres) and MariaDB
# (jdbc_mariadb, less the classes named below); the data source is chosen with
# -Dqvt.db. Labels jdbc and sqlite / postgres / mariadb.
set(QVT_JUNIT /usr/share/java/junit-platform-console-standalone.jar)
if(NOT EXISTS ${QVT_JUNIT})
  message(FATAL_ERROR "JUnit 5 missing: install junit5")
endif()
set(QVT_JDBC_CLASSES ${CMAKE_BINARY_DIR}/tests/jdbc/classes)
file(GLOB_RECURSE QVT_JDBC_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/jdbc/*.java)
set(QVT_JDBC_STAMP ${CMAKE_BINARY_DIR}/tests/jdbc/classes.stamp)
add_custom_command(
  OUTPUT ${QVT_JDBC_STAMP}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${QVT_JDBC_CLASSES}
  COMMAND ${QV_JAVAC} -Xlint:all -Xlint:-try -Werror -cp ${QVT_JUNIT}:${QV_JAR} -d ${QVT_JDBC_CLASSES}
          ${QVT_JDBC_SOURCES}
  COMMAND ${CMAKE_COMMAND} -E touch ${QVT_JDBC_STAMP}
  DEPENDS ${QVT_JDBC_SOURCES} ${QV_JAR})
add_custom_target(jdbc_test_classes ALL DEPENDS ${QVT_JDBC_STAMP})

set(QVT_JDBC_RUN ${QV_JAVA} -Xcheck:jni)
if(QV_SANITIZE)
  set(QVT_JDBC_RUN ${CMAKE_COMMAND} -E env LD_PRELOAD=${QVT_LIBASAN} ${QVT_JDBC_RUN})
endif()
foreach(db sqlite postgres)
  qvt_add(jdbc_${db} ${db} ${QVT_JDBC_RUN} -Dqvt.db=${db} -jar ${QVT_JUNIT}
    -cp ${QV_JAR}:${QVT_JDBC_CLASSES} --scan-classpath ${QVT_JDBC_CLASSES}
    --disable-banner --disable-ansi-colors --details=tree --fail-if-no-tests)
  set_tests_properties(jdbc_${db} PROPERTIES LABELS "jdbc;${db}")
  # The class path of the processes a test starts itself (XA recovery after a kill).
  set_property(TEST jdbc_${db} APPEND PROPERTY ENVIRONMENT "QVT_JDBC_CP=${QV_JAR}:${QVT_JDBC_CLASSES}")
  # The time zone tests once more in a JVM that starts in a zone west of UTC
  # (they switch zones themselves; this catches a zone taken at start-up).
  qvt_add(jdbc_${db}_zones ${db} ${QVT_JDBC_RUN} -Dqvt.db=${db} -Duser.timezone=America/New_York -jar ${QVT_JUNIT}
    -cp ${QV_JAR}:${QVT_JDBC_CLASSES} --select-class com.quorvane.jdbc.TimeZonesAndFractionsTest
    --disable-banner --disable-ansi-colors --details=tree --fail-if-no-tests)
  set_tests_properties(jdbc_${db}_zones PROPERTIES LABELS "jdbc;${db}")
endforeach()

# MariaDB through MariaDB Connector/ODBC: every class (what differs on MariaDB is
# data in Db.java), less those still left out here, each with why.
set(QVT_JDBC_MARIADB_LEFT_OUT
  # The database's own texts: MariaDB's access-denied message names the user as given.
  SecurityTest
  # Its child process connects without MariaDB's password; length() counts bytes.
  LargeValueTest
  # getBinaryStream of a LONGBLOB reads the value whole (its described size is 4 GB), so
  # a second read while it streams is not refused (open).
  PreparedStatementTest
  # Schemas and BOOLEAN columns, which MariaDB does not have.
  DatabaseMetaDataTest
  # Integers wider than their column are SQLite's; MariaDB's INTEGER is 32 bits and its
  # BOOLEAN a TINYINT(1) (MariadbTest reads its integer and BIT types).
  IntegerColumnsTest
  # Keys named as asked; MariaDB's are labelled insert_id, as Connector/J labels them
  # (MariadbTest and the Spring key holder on MariaDB cover them).
  GeneratedKeysTest
  # Its slow statements and the server's view of them are PostgreSQL's and SQLite's; the
  # watchdog is the same Java code on every data source.
  NetworkTimeoutTest)
list(JOIN QVT_JDBC_MARIADB_LEFT_OUT "|" QVT_JDBC_MARIADB_LEFT_OUT_RE)
qvt_add(jdbc_mariadb mariadb ${QVT_JDBC_RUN} -Dqvt.db=mariadb -jar ${QVT_JUNIT}
  -cp ${QV_JAR}:${QVT_JDBC_CLASSES} --scan-classpath ${QVT_JDBC_CLASSES}
  --exclude-classname "^com[.]quorvane[.]jdbc[.](${QVT_JDBC_MARIADB_LEFT_OUT_RE})$"
  --disable-banner --disable-ansi-colors --details=tree --fail-if-no-tests)
set_tests_properties(jdbc_mariadb PROPERTIES LABELS "jdbc;mariadb")
set_property(TEST jdbc_mariadb APPEND PROPERTY ENVIRONMENT "QVT_JDBC_CP=${QV_JAR}:${QVT_JDBC_CLASSES}")
