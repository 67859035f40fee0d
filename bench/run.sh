#!/usr/bin/env bash
# The side-by-side benchmark: the same work through raw ODBC from C, through
# the natives from Java, through this driver's JDBC layer (when its jar is on
# the class path) and through the peer JDBC drivers (pgjdbc, SQLite JDBC), on
# SQLite, on PostgreSQL over TCP and a Unix socket, and on MariaDB over TCP
# (against MariaDB Connector/J) when its server is installed.
#
#   bench/run.sh BUILD_DIR [--rounds N] [--fetch-rows N] [--batch-rows N]
#                          [--only fetch,batch,setter,threads,short,many,large,stream]
#                          [--sources sqlite,postgres] [--stream-rows N] [--stream-fetch-size N]
#                          [--stream-heap 256m] [--callgrind]
#
# Starts its own throw-away PostgreSQL server (tests/pg_server.sh) and MariaDB
# server (tests/mariadb_server.sh), makes the
# SQLite file and the tables, then runs every path of each piece of work in
# turn, round after round, and prints medians and ratios (see Bench.java).
# --callgrind prints instructions per fetched row by layer instead (needs
# valgrind). The JDBC layer's jar is BUILD_DIR/quorvane-jdbc.jar (or
# QV_BENCH_JDBC_JAR); every Java path loads the native libraries of BUILD_DIR.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?usage: bench/run.sh BUILD_DIR [options]}" && pwd)
shift
callgrind=0
args=()
for a in "$@"; do
  if [ "$a" = --callgrind ]; then callgrind=1; else args+=("$a"); fi
done

java=/usr/lib/jvm/java-17-openjdk-amd64/bin/java
cp="$build/java/classes:$build/bench/classes:/usr/share/java/postgresql.jar:/usr/share/java/sqlite-jdbc.jar"
cp="$cp:/usr/share/java/mariadb-java-client.jar"
for jar in ${QV_BENCH_JDBC_JAR:-"$build/quorvane-jdbc.jar"}; do
  if [ -f "$jar" ]; then cp="$cp:$jar"; fi
done

fetch_rows=1000000
only=fetch,batch,setter,threads,short
rounds=5
for ((i = 0; i < ${#args[@]}; i++)); do
  if [ "${args[$i]}" = --fetch-rows ]; then fetch_rows=${args[$((i + 1))]}; fi
  if [ "${args[$i]}" = --only ]; then only=${args[$((i + 1))]}; fi
  if [ "${args[$i]}" = --rounds ]; then rounds=${args[$((i + 1))]}; fi
done
# Short statements through a pool: HikariCP's jars beside the drivers.
cp="$cp:/usr/share/java/HikariCP.jar:/usr/share/java/slf4j-api.jar:/usr/share/java/slf4j-nop.jar"

work=$(mktemp -d /tmp/qvjdbc-bench.XXXXXX)
chmod 755 "$work"
pgdir="$work/pg"
port=$((45000 + $$ % 5000))
mydir="$work/mariadb"
myport=$((port + 1))
cleanup() {
  "$here/../tests/pg_server.sh" stop "$pgdir" "$port" >/dev/null 2>&1 || true
  "$here/../tests/mariadb_server.sh" stop "$mydir" "$myport" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
"$here/../tests/pg_server.sh" start "$pgdir" "$port" >/dev/null

sqlite_file="$work/bench.sqlite"
sqlite_conn="Driver=/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so;Database=$sqlite_file;"
pg_conn="Driver=/usr/lib/x86_64-linux-gnu/odbc/psqlodbcw.so;Servername=$pgdir;Port=$port;Database=qvjdbc;Uid=postgres;Pwd=;"
"$build/bench/odbc_bench" setup "$sqlite_conn" "$fetch_rows"
"$build/bench/odbc_bench" setup "$pg_conn" "$fetch_rows"
mariadb_args=()
if [ -x /usr/sbin/mariadbd ] && [ -f /usr/lib/x86_64-linux-gnu/odbc/libmaodbc.so ]; then
  "$here/../tests/mariadb_server.sh" start "$mydir" "$myport" >/dev/null
  my_conn="Driver=/usr/lib/x86_64-linux-gnu/odbc/libmaodbc.so;Server=127.0.0.1;Port=$myport;Database=qvt;UID=qvt;PWD=qvt-pass;"
  "$build/bench/odbc_bench" setup "$my_conn" "$fetch_rows"
  mariadb_args=(--mariadb-port "$myport")
fi

mode=run
if [ "$callgrind" = 1 ]; then mode=callgrind; fi
"$java" -cp "$cp" Bench "$mode" --build "$build" --classpath "$cp" --sqlite "$sqlite_file" \
  --pg-host "$pgdir" --pg-port "$port" ${mariadb_args[@]+"${mariadb_args[@]}"} ${args[@]+"${args[@]}"}

# Short statements (not counted by --callgrind): the raw C limit, this driver
# and pgjdbc, each over TCP, alternating.
if [ "$callgrind" = 0 ] && [[ ",$only," == *,short,* ]]; then
  "$java" -cp "$cp" ShortBench run "$build" "$cp" "$port" "$rounds"
fi
