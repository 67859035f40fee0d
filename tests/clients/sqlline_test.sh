#!/usr/bin/env bash
# sqlline (Debian's, 1.0.2) driven by a script on its standard input:
# connect, create and fill a table, !tables, !describe, a query, a failing
# query, !primarykeys, !indexes, !dbinfo. The output must show each result and
# the failure's SQLSTATE, and no Java exception.
#   sqlline_test.sh sqlite|postgres DRIVER_JAR TMPDIR
set -u
db=$1
jar=$2
tmp=$3
mkdir -p "$tmp"
home=$(mktemp -d "$tmp/sqlline-XXXXXX")
trap 'rm -rf "$home"' EXIT
if [ "$db" = postgres ]; then
  url="jdbc:quorvane:Driver=$QVT_PG_DRIVER;Servername=$QVT_PG_HOST;Port=$QVT_PG_PORT;Database=qvjdbc;"
  user=postgres
  missing_state=42P01
  product=PostgreSQL
else
  url="jdbc:quorvane:Database=$home/sqlline.db;"
  user=""
  missing_state=42000
  product=SQLite
fi
table="sqlline_people_$$"
out="$home/out.txt"
"$QVT_JAVA" -Duser.home="$home" -Djline.terminal=jline.UnsupportedTerminal \
  -cp "/usr/share/java/sqlline.jar:/usr/share/java/jline.jar:$jar" sqlline.SqlLine \
  -u "$url" -n "$user" -p "" -d com.quorvane.jdbc.JdbcOdbcDriver --force=true --color=false --maxWidth=250 \
  >"$out" 2>&1 <<SCRIPT
CREATE TABLE $table (id integer PRIMARY KEY, name varchar(30) NOT NULL);
INSERT INTO $table VALUES (1, 'Ada');
INSERT INTO $table VALUES (2, 'Grace');
!tables
!describe $table
SELECT id, name FROM $table ORDER BY id;
SELECT * FROM sqlline_missing_table;
!primarykeys $table
!indexes $table
!dbinfo
DROP TABLE $table;
!quit
SCRIPT
rc=$?
status=0
expect() {
  if ! grep -qE -- "$1" "$out"; then
    echo "missing in sqlline's output: $2"
    status=1
  fi
}
expect "Connected to: $product" "the connection"
expect "TABLE_NAME.*TABLE_TYPE" "the header of !tables"
expect "\| +$table +\| TABLE " "the table in !tables"
expect "COLUMN_NAME.*DATA_TYPE.*TYPE_NAME" "the header of !describe"
expect "\| +$table +\| name +\| 12 " "the column name, VARCHAR, in !describe"
expect "\| 2 +\| Grace +\|" "the query's second row"
expect "2 rows selected" "the query's row count"
expect "^0: .*> Error: " "the failing query's error"
expect "\(state=$missing_state," "the failing query's SQLSTATE"
expect "\| +$table +\| id +\| 1 " "the primary key in !primarykeys"
expect "getDatabaseProductName +$product" "!dbinfo"
expect "supportsTransactions +true" "!dbinfo to its end"
if grep -qE "Exception|at (java|sqlline|com)\." "$out"; then
  echo "a Java exception in sqlline's output"
  status=1
fi
if [ $status -ne 0 ] || [ $rc -ne 0 ]; then
  echo "sqlline exit code $rc; its output:"
  cat "$out"
  exit 1
fi
echo "sqlline on $db: every step as expected"
