#!/usr/bin/env bash
# Runs both fetch benchmarks on one 1M-row SQLite database: bench/run.sh BUILD_DIR
set -eu
build=$(cd "${1:-build}" && pwd)
db=$(mktemp -d)/bench.db
trap 'rm -rf "$(dirname "$db")"' EXIT
"$build/bench/fetch_bench" "$db"
"$build/bench/fetch_bench" "$db"
/usr/lib/jvm/java-17-openjdk-amd64/bin/java -Djava.library.path="$build" \
  -cp "$build/java/classes:$build/bench/classes" FetchBench "$db"
