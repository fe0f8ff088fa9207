# Copyright (C) 2026 The Velora developers
# SPDX-License-Identifier: MIT
#
# Throw-away PostgreSQL 15 and MariaDB servers for the test suite, sourced by
# scripts/test.sh. Each server gets its own data folder under one temporary
# folder and a free port on 127.0.0.1; both listen on loopback only. Callers
# run velora_servers_start, then velora_write_odbc_ini, and must arrange for
# velora_servers_stop to run on every exit path (trap EXIT INT TERM).
#
# Accounts (password authentication, so login tests can try wrong passwords):
#   PostgreSQL: velora/velora-pw (LOGIN CREATEDB, owns velora_test) and
#               velora_login/login-pw; scram-sha-256 on 127.0.0.1.
#   MariaDB:    velora/velora-pw at '%', '127.0.0.1' and 'localhost', all
#               privileges on velora_test.

VELORA_PG_BIN=${VELORA_PG_BIN:-/usr/lib/postgresql/15/bin}
VELORA_SERVERS_DIR=""
VELORA_PG_PORT=""
VELORA_MARIADB_PORT=""
_velora_mariadb_pid=""

# Prints a millisecond clock reading.
_velora_now_ms() { date +%s%3N; }

# True when something accepts TCP connections on 127.0.0.1:$1.
_velora_port_in_use() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

# Prints a port in 20000-59999 that nothing on 127.0.0.1 listens on.
_velora_free_port() {
  local port tries=0
  while [ $tries -lt 200 ]; do
    port=$((20000 + RANDOM % 40000))
    if ! _velora_port_in_use "$port"; then
      echo "$port"
      return 0
    fi
    tries=$((tries + 1))
  done
  echo "servers: no free port found" >&2
  return 1
}

# Runs a command as the PostgreSQL account (initdb and postgres refuse root).
_velora_as_postgres() {
  if [ "$(id -u)" -eq 0 ]; then
    runuser -u postgres -- "$@"
  else
    "$@"
  fi
}

_velora_pg_start() {
  local dir=$VELORA_SERVERS_DIR/pg
  mkdir -p "$dir"
  [ "$(id -u)" -ne 0 ] || chown postgres: "$dir"
  _velora_as_postgres "$VELORA_PG_BIN/initdb" -D "$dir/data" -U postgres -E UTF8 --locale=C.UTF-8 \
      --auth-local=trust --auth-host=scram-sha-256 --no-sync >"$dir/initdb.log" 2>&1 \
    || { cat "$dir/initdb.log" >&2; return 1; }
  # TCP only on 127.0.0.1 with passwords; the Unix socket (in our own folder)
  # is trusted and serves the set-up below as the superuser.
  cat >"$dir/data/pg_hba.conf" <<HBA
local all all trust
host  all all 127.0.0.1/32 scram-sha-256
HBA
  local attempt
  for attempt in 1 2 3; do
    VELORA_PG_PORT=$(_velora_free_port)
    if _velora_as_postgres "$VELORA_PG_BIN/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 \
        -o "-c listen_addresses=127.0.0.1 -c port=$VELORA_PG_PORT -c unix_socket_directories=$dir \
            -c fsync=off -c synchronous_commit=off -c full_page_writes=off -c max_connections=100 \
            -c password_encryption=scram-sha-256" start >"$dir/pg_ctl.log" 2>&1; then
      break
    fi
    VELORA_PG_PORT=""
  done
  if [ -z "$VELORA_PG_PORT" ]; then
    cat "$dir/pg_ctl.log" "$dir/server.log" >&2
    return 1
  fi
  _velora_as_postgres "$VELORA_PG_BIN/psql" -X -q -v ON_ERROR_STOP=1 -h "$dir" -p "$VELORA_PG_PORT" \
      -U postgres -d postgres >"$dir/setup.log" 2>&1 <<'SQL' || { cat "$dir/setup.log" >&2; return 1; }
CREATE ROLE velora LOGIN CREATEDB PASSWORD 'velora-pw';
CREATE ROLE velora_login LOGIN PASSWORD 'login-pw';
CREATE DATABASE velora_test OWNER velora;
SQL
  # Prove the password road works the way the ODBC driver will use it.
  PGPASSWORD=velora-pw "$VELORA_PG_BIN/psql" -X -q -At -h 127.0.0.1 -p "$VELORA_PG_PORT" -U velora \
      -d velora_test -c 'SELECT 1' >/dev/null || return 1
}

_velora_pg_stop() {
  local dir=$VELORA_SERVERS_DIR/pg
  [ -f "$dir/data/postmaster.pid" ] || return 0
  _velora_as_postgres "$VELORA_PG_BIN/pg_ctl" -D "$dir/data" -m immediate -w -t 30 stop >/dev/null 2>&1 || true
}

_velora_mariadb_start() {
  local dir=$VELORA_SERVERS_DIR/mariadb
  mkdir -p "$dir/data" "$dir/tmp"
  mariadb-install-db --no-defaults --datadir="$dir/data" --user="$(id -un)" --auth-root-authentication-method=socket \
      --skip-test-db --skip-name-resolve >"$dir/install.log" 2>&1 \
    || { cat "$dir/install.log" >&2; return 1; }
  local attempt waited
  for attempt in 1 2 3; do
    VELORA_MARIADB_PORT=$(_velora_free_port)
    mariadbd --no-defaults --datadir="$dir/data" --socket="$dir/mysqld.sock" --port="$VELORA_MARIADB_PORT" \
      --bind-address=127.0.0.1 --pid-file="$dir/mysqld.pid" --tmpdir="$dir/tmp" --log-error="$dir/error.log" \
      --user="$(id -un)" --skip-name-resolve --innodb-buffer-pool-size="${VELORA_MARIADB_BUFFER_POOL:-64M}" --innodb-log-file-size=128M --max-allowed-packet=64M \
      --innodb-flush-log-at-trx-commit=0 --innodb-doublewrite=0 --skip-log-bin --max-connections=200 \
      --character-set-server=utf8mb4 --collation-server=utf8mb4_general_ci >/dev/null 2>&1 &
    _velora_mariadb_pid=$!
    waited=0
    while [ $waited -lt 600 ]; do
      if ! kill -0 "$_velora_mariadb_pid" 2>/dev/null; then
        break
      fi
      if mariadb-admin --no-defaults --socket="$dir/mysqld.sock" -u root ping >/dev/null 2>&1; then
        break 2
      fi
      sleep 0.1
      waited=$((waited + 1))
    done
    # Died (port taken meanwhile?) or never answered: try another port.
    kill "$_velora_mariadb_pid" 2>/dev/null || true
    wait "$_velora_mariadb_pid" 2>/dev/null || true
    _velora_mariadb_pid=""
    VELORA_MARIADB_PORT=""
  done
  if [ -z "$VELORA_MARIADB_PORT" ]; then
    cat "$dir/error.log" >&2
    return 1
  fi
  mariadb --no-defaults --socket="$dir/mysqld.sock" -u root >"$dir/setup.log" 2>&1 <<'SQL' || { cat "$dir/setup.log" >&2; return 1; }
CREATE DATABASE velora_test;
CREATE USER 'velora'@'%' IDENTIFIED BY 'velora-pw';
CREATE USER 'velora'@'127.0.0.1' IDENTIFIED BY 'velora-pw';
CREATE USER 'velora'@'localhost' IDENTIFIED BY 'velora-pw';
GRANT ALL PRIVILEGES ON velora_test.* TO 'velora'@'%';
GRANT ALL PRIVILEGES ON velora_test.* TO 'velora'@'127.0.0.1';
GRANT ALL PRIVILEGES ON velora_test.* TO 'velora'@'localhost';
SQL
  mariadb --no-defaults --protocol=TCP -h 127.0.0.1 -P "$VELORA_MARIADB_PORT" -u velora -pvelora-pw velora_test \
      -e 'SELECT 1' >/dev/null || return 1
}

_velora_mariadb_stop() {
  [ -n "$_velora_mariadb_pid" ] || return 0
  kill "$_velora_mariadb_pid" 2>/dev/null || true
  # A clean shutdown takes well under a second; do not wait forever.
  local waited=0
  while kill -0 "$_velora_mariadb_pid" 2>/dev/null && [ $waited -lt 100 ]; do
    sleep 0.1
    waited=$((waited + 1))
  done
  kill -9 "$_velora_mariadb_pid" 2>/dev/null || true
  wait "$_velora_mariadb_pid" 2>/dev/null || true
  _velora_mariadb_pid=""
}

# Starts both servers, one after the other (each takes one to two seconds),
# and exports VELORA_PG_PORT and VELORA_MARIADB_PORT.
velora_servers_start() {
  # Not $TMPDIR: the postgres account must be able to reach the folder.
  VELORA_SERVERS_DIR=$(mktemp -d "${VELORA_SERVERS_TMP:-/tmp}/velora-servers.XXXXXX")
  chmod 755 "$VELORA_SERVERS_DIR"
  local t0 t1
  t0=$(_velora_now_ms)
  _velora_pg_start || { echo "servers: PostgreSQL did not start" >&2; return 1; }
  t1=$(_velora_now_ms)
  echo "servers: PostgreSQL 15 on 127.0.0.1:$VELORA_PG_PORT ($((t1 - t0)) ms)"
  t0=$t1
  _velora_mariadb_start || { echo "servers: MariaDB did not start" >&2; return 1; }
  t1=$(_velora_now_ms)
  echo "servers: MariaDB on 127.0.0.1:$VELORA_MARIADB_PORT ($((t1 - t0)) ms)"
  export VELORA_PG_PORT VELORA_MARIADB_PORT
}

# Stops whatever was started and removes the temporary folder. Safe to call
# more than once and after a partial start.
velora_servers_stop() {
  [ -n "$VELORA_SERVERS_DIR" ] || return 0
  _velora_mariadb_stop
  _velora_pg_stop
  rm -rf "$VELORA_SERVERS_DIR"
  VELORA_SERVERS_DIR=""
}

# Writes $1/odbc.ini: the SQLite data sources CMake wrote to odbc.ini.base plus
# the server data sources on the ports just chosen.
velora_write_odbc_ini() {
  local odbc_dir=$1
  if [ ! -f "$odbc_dir/odbc.ini.base" ]; then
    echo "servers: $odbc_dir/odbc.ini.base missing (configure the build first)" >&2
    return 1
  fi
  {
    cat "$odbc_dir/odbc.ini.base"
    cat <<INI

[VeloraPG]
Description=Velora test database (PostgreSQL)
Driver=PostgreSQL ANSI
Servername=127.0.0.1
Port=$VELORA_PG_PORT
Database=velora_test
Username=velora
Password=velora-pw
BoolsAsChar=0
UpdatableCursors=1
UseDeclareFetch=0

[VeloraPGLogin]
Description=Velora test database (PostgreSQL, credentials supplied at login)
Driver=PostgreSQL ANSI
Servername=127.0.0.1
Port=$VELORA_PG_PORT
Database=velora_test
BoolsAsChar=0
UpdatableCursors=1
UseDeclareFetch=0

[VeloraPGDeclare]
Description=Velora test database (PostgreSQL, cursor-based fetching: rollback closes cursors)
Driver=PostgreSQL ANSI
Servername=127.0.0.1
Port=$VELORA_PG_PORT
Database=velora_test
Username=velora
Password=velora-pw
BoolsAsChar=0
UpdatableCursors=1
UseDeclareFetch=1
Fetch=100

[VeloraMaria]
Description=Velora test database (MariaDB)
Driver=MariaDB Unicode
SERVER=127.0.0.1
PORT=$VELORA_MARIADB_PORT
DATABASE=velora_test
USER=velora
PASSWORD=velora-pw
INI
  } >"$odbc_dir/odbc.ini.tmp"
  mv "$odbc_dir/odbc.ini.tmp" "$odbc_dir/odbc.ini"
}
