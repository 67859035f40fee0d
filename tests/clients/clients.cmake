# Real clients over the driver jar, from Debian's packages: sqlline (scripted),
# a HikariCP pool, Spring's JdbcTemplate and Hibernate 3.6; and the
# differential tests against pgjdbc and MariaDB Connector/J on the same servers. The JUnit
# classes share Db.java with the JDBC tests; each runs as its own CTest test
# (label clients, and sqlite / postgres).
set(QVT_CLIENT_JARS
  HikariCP.jar:libhikaricp-java slf4j-api.jar:libslf4j-java slf4j-nop.jar:libslf4j-java
  spring3-jdbc.jar:libspring-jdbc-java spring3-core.jar:libspring-core-java
  spring3-beans.jar:libspring-beans-java spring3-transaction.jar:libspring-transaction-java
  commons-logging.jar:libcommons-logging-java
  hibernate3.jar:libhibernate3-java dom4j.jar:libdom4j-java commons-collections3.jar:libcommons-collections3-java
  antlr.jar:libantlr-java geronimo-jta-1.2-spec.jar:libgeronimo-jta-1.2-spec-java
  hibernate-commons-annotations.jar:libhibernate-commons-annotations-java
  geronimo-jpa_2.0_spec.jar:libgeronimo-jpa-2.0-spec-java
  javassist.jar:libjavassist-java
  postgresql.jar:libpostgresql-jdbc-java
  mariadb-java-client.jar:libmariadb-java
  sqlline.jar:sqlline jline.jar:libjline-java)
set(QVT_CLIENT_CP "")
foreach(entry ${QVT_CLIENT_JARS})
  string(REPLACE ":" ";" pair ${entry})
  list(GET pair 0 jar)
  list(GET pair 1 package)
  if(NOT EXISTS /usr/share/java/${jar})
    message(FATAL_ERROR "/usr/share/java/${jar} missing: install the Debian package ${package}")
  endif()
  string(APPEND QVT_CLIENT_CP ":/usr/share/java/${jar}")
endforeach()

set(QVT_CLIENT_CLASSES ${CMAKE_BINARY_DIR}/tests/clients/classes)
file(GLOB_RECURSE QVT_CLIENT_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/clients/*.java)
set(QVT_CLIENT_STAMP ${CMAKE_BINARY_DIR}/tests/clients/classes.stamp)
add_custom_command(
  OUTPUT ${QVT_CLIENT_STAMP}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${QVT_CLIENT_CLASSES}
  COMMAND ${QV_JAVAC} -Xlint:all -Xlint:-try -Xlint:-processing -Xlint:-path -Werror
          -cp ${QVT_JUNIT}:${QV_JAR}${QVT_CLIENT_CP} -d ${QVT_CLIENT_CLASSES}
          ${QVT_CLIENT_SOURCES} ${CMAKE_CURRENT_SOURCE_DIR}/jdbc/com/quorvane/jdbc/Db.java
  COMMAND ${CMAKE_COMMAND} -E touch ${QVT_CLIENT_STAMP}
  DEPENDS ${QVT_CLIENT_SOURCES} ${CMAKE_CURRENT_SOURCE_DIR}/jdbc/com/quorvane/jdbc/Db.java ${QV_JAR})
add_custom_target(client_test_classes ALL DEPENDS ${QVT_CLIENT_STAMP})

function(qvt_client name db class)
  qvt_add(${name} ${db} ${QVT_JDBC_RUN} -Dqvt.db=${db} -jar ${QVT_JUNIT}
    -cp ${QV_JAR}:${QVT_CLIENT_CLASSES}${QVT_CLIENT_CP} --select-class com.quorvane.jdbc.${class}
    --disable-banner --disable-ansi-colors --details=tree --fail-if-no-tests)
  set_tests_properties(${name} PROPERTIES LABELS "clients;${db}")
endfunction()

foreach(db sqlite postgres)
  qvt_client(client_hikari_${db} ${db} HikariPoolTest)
  qvt_client(client_spring_${db} ${db} SpringJdbcTemplateTest)
  qvt_client(client_spring_keys_${db} ${db} SpringKeysAndSavepointsTest)
  qvt_add(client_sqlline_${db} ${db} ${CMAKE_CURRENT_SOURCE_DIR}/clients/sqlline_test.sh ${db}
    ${QV_JAR} ${QVT_TMP})
  set_tests_properties(client_sqlline_${db} PROPERTIES LABELS "clients;${db}")
  if(QV_SANITIZE)
    set_property(TEST client_sqlline_${db} APPEND PROPERTY ENVIRONMENT "LD_PRELOAD=${QVT_LIBASAN}")
  endif()
endforeach()
foreach(db mariadb)
  qvt_client(client_hikari_${db} ${db} HikariPoolTest)
  qvt_client(client_spring_${db} ${db} SpringJdbcTemplateTest)
  qvt_client(client_spring_keys_${db} ${db} SpringKeysAndSavepointsTest)
endforeach()
qvt_client(client_hibernate_postgres postgres HibernateTest)
qvt_client(jdbc_peer_postgres postgres PeerDifferentialTest)
qvt_client(jdbc_peer_mariadb mariadb ConnectorJDifferentialTest)
