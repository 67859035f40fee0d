#!/usr/bin/env bash
# Installs the Debian 12 packages that the build, the example program and the
# tests need (as root, or through sudo). The README's two commands and CI run it.
set -euo pipefail
packages=(
  g++ make cmake ninja-build libgtest-dev
  openjdk-17-jdk-headless junit5
  unixodbc unixodbc-dev odbc-postgresql libsqliteodbc
  postgresql
  # MariaDB, the third data source: its server, its ODBC driver and its own
  # JDBC driver (the peer of the comparison and the benchmark).
  mariadb-server odbc-mariadb libmariadb-java
  g++-mingw-w64-i686 binutils-mingw-w64-i686
  binutils util-linux
  clang libclang-rt-14-dev
  # Real clients and the peer of the JDBC tests (jars in /usr/share/java).
  sqlline libhikaricp-java libslf4j-java libspring-jdbc-java libspring-core-java libspring-transaction-java libcommons-logging-java
  libhibernate3-java libjavassist-java libpostgresql-jdbc-java
)
as_root=()
if [ "$(id -u)" != 0 ]; then as_root=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update
"${as_root[@]}" apt-get install -y --no-install-recommends "${packages[@]}"
