#!/usr/bin/env bash
# The throw-away MariaDB server of the tests.
#   mariadb_server.sh start DIR PORT    a new data folder in DIR/data, the server
#                                       on the socket DIR/mysqld.sock and on
#                                       127.0.0.1:PORT, the user qvt (password
#                                       qvt-pass) owning the database qvt, and
#                                       qvt_odd, whose password holds ; and }
#   mariadb_server.sh restart DIR PORT  stop the running server and start it
#                                       again on the same data
#   mariadb_server.sh stop DIR PORT     stop the server and remove DIR
# The server runs as the user that calls the script (root in CI: --user=root).
# No options file is read but the one written into DIR.
set -eu
cmd=$1
dir=$2
port=$3

server=/usr/sbin/mariadbd
[ -x "$server" ] || { echo "no MariaDB server at $server (Debian package mariadb-server)" >&2; exit 1; }

run_server() {
  "$server" --defaults-file="$dir/my.cnf" >>"$dir/server.log" 2>&1 &
  echo $! >"$dir/server.pid"
  for _ in $(seq 1 300); do
    if mariadb --defaults-file="$dir/client.cnf" -e "SELECT 1" >/dev/null 2>&1; then return 0; fi
    if ! kill -0 "$(cat "$dir/server.pid")" 2>/dev/null; then cat "$dir/server.log" >&2; exit 1; fi
    sleep 0.1
  done
  cat "$dir/server.log" >&2
  exit 1
}

stop_server() {
  [ -f "$dir/server.pid" ] || return 0
  local pid
  pid=$(cat "$dir/server.pid")
  if kill -0 "$pid" 2>/dev/null; then
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 1 300); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    kill -9 "$pid" 2>/dev/null || true
  fi
  rm -f "$dir/server.pid"
}

case "$cmd" in
start)
  stop_server 2>/dev/null || true
  rm -rf "$dir"
  mkdir -p "$dir/data" "$dir/tmp"
  cat >"$dir/my.cnf" <<CNF
[mariadbd]
user=$(id -un)
datadir=$dir/data
tmpdir=$dir/tmp
socket=$dir/mysqld.sock
pid-file=$dir/mariadbd.pid
port=$port
bind-address=127.0.0.1
skip-name-resolve
character-set-server=utf8mb4
collation-server=utf8mb4_general_ci
innodb_buffer_pool_size=64M
innodb_log_file_size=32M
innodb_flush_log_at_trx_commit=0
sync_binlog=0
max_connections=200
log-error=$dir/error.log
CNF
  cat >"$dir/client.cnf" <<CNF
[client]
user=root
socket=$dir/mysqld.sock
CNF
  mariadb-install-db --defaults-file="$dir/my.cnf" --auth-root-authentication-method=socket \
    --skip-test-db >"$dir/install.log" 2>&1 || { cat "$dir/install.log" >&2; exit 1; }
  run_server
  mariadb --defaults-file="$dir/client.cnf" <<SQL
CREATE DATABASE qvt CHARACTER SET utf8mb4;
CREATE USER 'qvt'@'localhost' IDENTIFIED BY 'qvt-pass';
CREATE USER 'qvt'@'127.0.0.1' IDENTIFIED BY 'qvt-pass';
GRANT ALL ON qvt.* TO 'qvt'@'localhost';
GRANT ALL ON qvt.* TO 'qvt'@'127.0.0.1';
GRANT CONNECTION ADMIN, PROCESS ON *.* TO 'qvt'@'localhost';
GRANT CONNECTION ADMIN, PROCESS ON *.* TO 'qvt'@'127.0.0.1';
CREATE USER 'qvt_odd'@'127.0.0.1' IDENTIFIED BY 'p;InitStmt=SET @qvt_injected=1;}x';
GRANT SELECT ON qvt.* TO 'qvt_odd'@'127.0.0.1';
SQL
  echo "MariaDB running on $dir/mysqld.sock port $port"
  ;;
restart)
  stop_server
  run_server
  echo "MariaDB restarted"
  ;;
stop)
  stop_server
  rm -rf "$dir"
  echo "MariaDB stopped"
  ;;
*)
  echo "usage: $0 start|restart|stop DIR PORT" >&2
  exit 2
  ;;
esac
