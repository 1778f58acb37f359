# Shell functions that start and stop a throwaway OpenLDAP server: its own configuration and
# mdb database in a temporary directory, bound to 127.0.0.1 on a free port; never the system's
# service. Sourced by the end-to-end scripts beside it and by scripts/gen_builtin_schema.sh.
#
# Use:
#   find_slapd                  SLAPD: the slapd program, empty when it is not installed.
#   skip_without_slapd [WHY]    exits with $SKIP (77), saying so, when slapd is not installed.
#   make_work PREFIX            WORK: a new temporary directory ${TMPDIR:-/tmp}/PREFIX.XXXXXX,
#                               removed with the server stopped on every exit path (cleanup).
#   write_config [SCHEMA...]    WORK/slapd.conf: the schemas a stock Debian slapd loads (core,
#                               cosine, nis, inetorgperson), then the SCHEMA files given, and one
#                               mdb database for $SUFFIX, with $ROOT_DN and $ROOT_PW when set.
#   start_server                slapd on a random free port: URI ldap://127.0.0.1:PORT/, the port
#                               in SLAPD_PORT, the process in SLAPD_PID; returns 1 when it does
#                               not come up.
#   stop_server                 stops it, if it runs.
#   ldap_add ARGS...            ldapadd on URI, bound as $ROOT_DN.
# Settings (change them after sourcing this file):
#   SLAPD_LOG_TAIL=headed|plain|none  on a failed exit (not $SKIP), the server log's last lines
#                                     with a heading, without, or not at all (default headed).
#   SLAPD_KEEP_WORK=1|""              whether QUORVANE_E2E_KEEP keeps WORK (default 1).
#   SLAPD_MAXSIZE=BYTES|""            the database's maxsize line (default 104857600; "" none).
#   SLAPD_LDAPS=1|""                  also listen with ldaps:// on SLAPD_PORT + 1 (default "").
#   SLAPD_ANNOUNCE=1|""               start_server says where slapd answers (default 1).
# Hook: a function slapd_global_config, when defined, writes lines for the configuration's
# global section (after pidfile and argsfile), e.g. the TLS certificate.

# shellcheck shell=bash

readonly SKIP=77
SLAPD=
SLAPD_PID=
SLAPD_PORT=
URI=
SLAPD_LOG_TAIL=headed
SLAPD_KEEP_WORK=1
SLAPD_MAXSIZE=104857600
SLAPD_LDAPS=
SLAPD_ANNOUNCE=1

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

find_slapd() {
  SLAPD=$(command -v slapd || true)
  [ -n "$SLAPD" ] || [ ! -x /usr/sbin/slapd ] || SLAPD=/usr/sbin/slapd
}

# require_tools TOOL...: fails unless every TOOL is on the PATH (ldapadd and ldapsearch come with
# the Debian package ldap-utils).
require_tools() {
  local tool
  for tool in "$@"; do
    command -v "$tool" > /dev/null || fail "$tool not found (ldapadd and ldapsearch: install the Debian package ldap-utils)"
  done
}

# skip_without_slapd [WHY]: WHY says what needs the server.
# shellcheck disable=SC2120  # WHY is optional
skip_without_slapd() {
  find_slapd
  if [ -z "$SLAPD" ]; then
    echo "SKIP: slapd is not installed (Debian package slapd)${1:+; $1}."
    exit "$SKIP"
  fi
}

stop_server() {
  if [ -n "$SLAPD_PID" ] && kill -0 "$SLAPD_PID" 2> /dev/null; then
    kill "$SLAPD_PID" 2> /dev/null || true
    local waited=0
    while kill -0 "$SLAPD_PID" 2> /dev/null && [ "$waited" -lt 50 ]; do
      sleep 0.1
      waited=$((waited + 1))
    done
    kill -9 "$SLAPD_PID" 2> /dev/null || true
    wait "$SLAPD_PID" 2> /dev/null || true
  fi
  SLAPD_PID=
}

cleanup() {
  local status=$?
  stop_server
  if [ "$SLAPD_LOG_TAIL" != none ] && [ "$status" -ne 0 ] && [ "$status" -ne "$SKIP" ] &&
    [ -s "$WORK/slapd.log" ]; then
    [ "$SLAPD_LOG_TAIL" != headed ] || echo "--- last lines of the server log:" >&2
    tail -n 20 "$WORK/slapd.log" >&2 || true
  fi
  if [ -n "$SLAPD_KEEP_WORK" ] && [ -n "${QUORVANE_E2E_KEEP:-}" ]; then
    echo "Work files kept in $WORK" >&2
  else
    rm -rf "$WORK"
  fi
}

make_work() {
  WORK=$(mktemp -d "${TMPDIR:-/tmp}/$1.XXXXXX")
  SLAPD_PID=
  trap cleanup EXIT
  trap 'exit 1' INT TERM HUP
}

# shellcheck disable=SC2120  # the extra schemas are optional
write_config() {
  local schema
  mkdir -p "$WORK/db"
  {
    # What a stock Debian slapd loads, in its order: what the built-in schema copies.
    for schema in core cosine nis inetorgperson; do
      echo "include /etc/ldap/schema/$schema.schema"
    done
    for schema in "$@"; do
      echo "include \"$schema\""
    done
    echo "pidfile \"$WORK/slapd.pid\""
    echo "argsfile \"$WORK/slapd.args\""
    if declare -F slapd_global_config > /dev/null; then
      slapd_global_config
    fi
    # Debian builds the database back ends as modules; other builds may link them in.
    if [ -e /usr/lib/ldap/back_mdb.so ] || [ -e /usr/lib/ldap/back_mdb.la ]; then
      echo "modulepath /usr/lib/ldap"
      echo "moduleload back_mdb"
    fi
    echo "database mdb"
    [ -z "$SLAPD_MAXSIZE" ] || echo "maxsize $SLAPD_MAXSIZE"
    echo "suffix \"$SUFFIX\""
    if [ -n "${ROOT_DN:-}" ]; then
      echo "rootdn \"$ROOT_DN\""
      echo "rootpw \"$ROOT_PW\""
    fi
    echo "directory \"$WORK/db\""
  } > "$WORK/slapd.conf"
}

port_in_use() {
  (exec 3<> "/dev/tcp/127.0.0.1/$1") 2> /dev/null
}

# Starts slapd on the first free port it can bind, trying random ports in 20000-59999.
start_server() {
  local listen
  for _ in $(seq 1 20); do
    SLAPD_PORT=$((20000 + (RANDOM * 32768 + RANDOM) % 40000))
    port_in_use "$SLAPD_PORT" && continue
    URI="ldap://127.0.0.1:$SLAPD_PORT/"
    listen=$URI
    if [ -n "$SLAPD_LDAPS" ]; then
      port_in_use $((SLAPD_PORT + 1)) && continue
      listen="$listen ldaps://127.0.0.1:$((SLAPD_PORT + 1))/"
    fi
    # -d 0 keeps slapd in the foreground, so $! is the server itself.
    "$SLAPD" -d 0 -f "$WORK/slapd.conf" -h "$listen" >> "$WORK/slapd.log" 2>&1 &
    SLAPD_PID=$!
    for _ in $(seq 1 100); do
      # Gone: the port was taken after all, or the configuration is wrong.
      kill -0 "$SLAPD_PID" 2> /dev/null || break
      if ldapsearch -x -H "$URI" -o nettimeout=1 -b "" -s base "(objectclass=*)" \
        namingContexts > /dev/null 2>&1; then
        [ -z "$SLAPD_ANNOUNCE" ] || echo "slapd (pid $SLAPD_PID) answers on $URI"
        return 0
      fi
      sleep 0.1
    done
    stop_server
  done
  URI=
  return 1
}

ldap_add() {
  ldapadd -x -H "$URI" -D "$ROOT_DN" -w "$ROOT_PW" "$@"
}
