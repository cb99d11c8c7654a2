#!/bin/bash
# A throwaway PostgreSQL cluster for the store's tests, reachable only through a Unix socket in its
# own folder. The server refuses to run as root, so under root it runs as nobody.
#   pg_cluster.sh start DIR PORT [OWNER_PID]  makes the cluster in DIR on first start; with
#                                             OWNER_PID the server dies with that process
#   pg_cluster.sh stop DIR [fast|immediate]
# Exits 77 when no PostgreSQL server is installed. Connect with "host=DIR port=PORT user=movar".
set -euo pipefail

command=${1:?start or stop}
dir=${2:?the cluster folder}
bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
[[ -x $bin/pg_ctl ]] || { echo "no PostgreSQL server installed" >&2; exit 77; }

as_owner() {
  if [[ $(id -u) == 0 ]]; then runuser -u nobody -- "$@"; else "$@"; fi
}

case $command in
  start)
    port=${3:?the port}
    if [[ ! -d $dir/data ]]; then
      [[ $(id -u) == 0 ]] && chown nobody: "$dir"
      # A locale that orders text unlike bytes, so that a query relying on the server's
      # default order shows up in the tests.
      as_owner "$bin/initdb" -D "$dir/data" -U movar -A trust --no-sync --no-instructions \
        --locale-provider=icu --icu-locale=en-US --locale=C.UTF-8 >"$dir/initdb.log" 2>&1 ||
        { cat "$dir/initdb.log" >&2; exit 1; }
      cat >>"$dir/data/postgresql.conf" <<CONF
listen_addresses = ''
unix_socket_directories = '$dir'
port = $port
fsync = off
shared_buffers = 16MB
max_connections = 30
CONF
    fi
    as_owner "$bin/pg_ctl" start -D "$dir/data" -l "$dir/server.log" -w -t 30 >/dev/null ||
      { cat "$dir/server.log" >&2; exit 1; }
    if [[ -n ${4:-} ]]; then
      owner=$4 server=$(head -n 1 "$dir/data/postmaster.pid")
      # SIGQUIT is the server's immediate shutdown.
      setsid bash -c "while kill -0 $owner && kill -0 $server; do sleep 1; done; kill -QUIT $server" \
        </dev/null >/dev/null 2>&1 &
    fi
    ;;
  stop)
    as_owner "$bin/pg_ctl" stop -D "$dir/data" -m "${3:-fast}" -w -t 30 >/dev/null
    ;;
  *) echo "usage: $0 start DIR PORT [OWNER_PID] | stop DIR [fast|immediate]" >&2; exit 2 ;;
esac
