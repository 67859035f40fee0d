#!/usr/bin/env bash
# The throw-away PostgreSQL server of the tests.
#   pg_server.sh start DIR PORT   initdb in DIR/data, start on a Unix socket in DIR
#                                 and on 127.0.0.1:PORT, create the database qvjdbc
#   pg_server.sh restart DIR PORT stop the running server (fast: sessions are
#                                 ended) and start it again on the same data
#   pg_server.sh stop DIR PORT    stop the server and remove DIR
# The server runs as the postgres user when started by root (DIR lives under
# /tmp so that user can reach it), with trust authentication and
# max_prepared_transactions 20.
set -eu
cmd=$1
dir=$2
port=$3

bindir=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
if [ -z "$bindir" ]; then
  echo "no PostgreSQL server binaries under /usr/lib/postgresql" >&2
  exit 1
fi

as_owner() {
  if [ "$(id -u)" = 0 ]; then
    runuser -u postgres -- "$@"
  else
    "$@"
  fi
}

case "$cmd" in
start)
  if [ -S "$dir/.s.PGSQL.$port" ] && as_owner "$bindir/pg_ctl" -D "$dir/data" status >/dev/null 2>&1; then
    as_owner "$bindir/pg_ctl" -D "$dir/data" -m immediate stop >/dev/null 2>&1 || true
  fi
  rm -rf "$dir"
  mkdir -p "$dir"
  if [ "$(id -u)" = 0 ]; then chown postgres:postgres "$dir"; fi
  as_owner "$bindir/initdb" -D "$dir/data" -U postgres --auth=trust -E UTF8 --locale=C.UTF-8 >"$dir/initdb.log" 2>&1 \
    || as_owner "$bindir/initdb" -D "$dir/data" -U postgres --auth=trust -E UTF8 --locale=C >"$dir/initdb.log" 2>&1 \
    || { cat "$dir/initdb.log"; exit 1; }
  cat >>"$dir/data/postgresql.conf" <<CONF
listen_addresses = '127.0.0.1'
unix_socket_directories = '$dir'
port = $port
max_prepared_transactions = 20
max_connections = 100
fsync = off
synchronous_commit = off
full_page_writes = off
CONF
  # Members of the role qvt_password_login log in with a password (the
  # credential tests); everyone else is trusted.
  { printf 'local all +qvt_password_login scram-sha-256\nhost all +qvt_password_login 127.0.0.1/32 scram-sha-256\n'
    cat "$dir/data/pg_hba.conf"; } >"$dir/data/pg_hba.conf.new"
  mv "$dir/data/pg_hba.conf.new" "$dir/data/pg_hba.conf"
  if [ "$(id -u)" = 0 ]; then chown postgres:postgres "$dir/data/pg_hba.conf"; fi
  as_owner "$bindir/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 start >/dev/null \
    || { cat "$dir/server.log"; exit 1; }
  as_owner "$bindir/psql" -h "$dir" -p "$port" -U postgres -d postgres -qAt -c "CREATE DATABASE qvjdbc" >/dev/null
  echo "PostgreSQL running on $dir port $port"
  ;;
restart)
  as_owner "$bindir/pg_ctl" -D "$dir/data" -l "$dir/server.log" -m fast -w -t 60 restart >/dev/null \
    || { cat "$dir/server.log"; exit 1; }
  echo "PostgreSQL restarted"
  ;;
stop)
  if [ -d "$dir/data" ]; then
    as_owner "$bindir/pg_ctl" -D "$dir/data" -m fast -w stop >/dev/null 2>&1 || true
  fi
  rm -rf "$dir"
  echo "PostgreSQL stopped"
  ;;
*)
  echo "usage: $0 start|restart|stop DIR PORT" >&2
  exit 2
  ;;
esac
