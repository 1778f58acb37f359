#!/usr/bin/env bash
# Whether the repair compares DNs and values as the directory does, judged by a throwaway slapd.
#
# Usage: matching_verdict.sh MATCHING_PAIRS
#
# MATCHING_PAIRS (tests/e2e/matching_pairs.cpp) writes a few hundred pairs of DNs and of values
# (letter case beyond ASCII, composed and decomposed forms, spaces, TABs and no-break spaces,
# telephone numbers), each under a container of its own, with what the repair's keys say of
# each pair. The script starts its own slapd (schemas core, cosine, nis and inetorgperson, a
# temporary directory, 127.0.0.1 on a free port; never the system's service), adds them with
# `ldapadd -c`, and has MATCHING_PAIRS compare what the server kept with what the keys said.
# Every refusal must be one of the two a pair provokes: "Already exists" for a DN, "provided
# more than once" for a value. The server is stopped on every exit path.
# Exit status: 0 passed, 1 failed, 77 skipped (slapd is not installed).

set -euo pipefail

readonly SKIP=77
readonly SUFFIX="dc=example,dc=com"
readonly ROOT_DN="cn=admin,$SUFFIX"
readonly ROOT_PW="verdict-secret"

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

[ $# -eq 1 ] || { echo "usage: $0 MATCHING_PAIRS" >&2; exit 2; }
PAIRS=$1
[ -x "$PAIRS" ] || fail "matching_pairs not found or not executable: $PAIRS"

SLAPD=$(command -v slapd || true)
[ -n "$SLAPD" ] || [ ! -x /usr/sbin/slapd ] || SLAPD=/usr/sbin/slapd
if [ -z "$SLAPD" ]; then
  echo "SKIP: slapd is not installed (Debian package slapd); the verdict needs a server."
  exit "$SKIP"
fi
for tool in ldapadd ldapsearch; do
  command -v "$tool" > /dev/null || fail "$tool not found: install the Debian package ldap-utils"
done

WORK=$(mktemp -d "${TMPDIR:-/tmp}/quorvane-verdict.XXXXXX")
SLAPD_PID=

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
  if [ "$status" -ne 0 ] && [ "$status" -ne "$SKIP" ] && [ -s "$WORK/slapd.log" ]; then
    echo "--- last lines of the server log:" >&2
    tail -n 20 "$WORK/slapd.log" >&2 || true
  fi
  if [ -n "${QUORVANE_E2E_KEEP:-}" ]; then
    echo "Work files kept in $WORK" >&2
  else
    rm -rf "$WORK"
  fi
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

write_config() {
  local schema
  mkdir -p "$WORK/db"
  {
    for schema in core cosine nis inetorgperson; do
      echo "include /etc/ldap/schema/$schema.schema"
    done
    echo "pidfile \"$WORK/slapd.pid\""
    echo "argsfile \"$WORK/slapd.args\""
    if [ -e /usr/lib/ldap/back_mdb.so ] || [ -e /usr/lib/ldap/back_mdb.la ]; then
      echo "modulepath /usr/lib/ldap"
      echo "moduleload back_mdb"
    fi
    echo "database mdb"
    echo "maxsize 104857600"
    echo "suffix \"$SUFFIX\""
    echo "rootdn \"$ROOT_DN\""
    echo "rootpw \"$ROOT_PW\""
    echo "directory \"$WORK/db\""
  } > "$WORK/slapd.conf"
}

port_in_use() {
  (exec 3<> "/dev/tcp/127.0.0.1/$1") 2> /dev/null
}

# Starts slapd on the first free port it can bind, trying random ports in 20000-59999.
start_server() {
  local port
  for _ in $(seq 1 20); do
    port=$((20000 + (RANDOM * 32768 + RANDOM) % 40000))
    port_in_use "$port" && continue
    URI="ldap://127.0.0.1:$port/"
    # -d 0 keeps slapd in the foreground, so $! is the server itself.
    "$SLAPD" -d 0 -f "$WORK/slapd.conf" -h "$URI" >> "$WORK/slapd.log" 2>&1 &
    SLAPD_PID=$!
    for _ in $(seq 1 100); do
      kill -0 "$SLAPD_PID" 2> /dev/null || break
      if ldapsearch -x -H "$URI" -o nettimeout=1 -b "" -s base "(objectclass=*)" \
        namingContexts > /dev/null 2>&1; then
        return 0
      fi
      sleep 0.1
    done
    stop_server
  done
  fail "could not start slapd (see the server log below)"
}

write_config
"$PAIRS" generate "$WORK" "$SUFFIX" > /dev/null || fail "matching_pairs could not write the pairs"
start_server
printf 'dn: %s\nobjectClass: domain\ndc: example\n\n' "$SUFFIX" |
  ldapadd -x -H "$URI" -D "$ROOT_DN" -w "$ROOT_PW" > /dev/null || fail "could not add $SUFFIX"
: > "$WORK/rejects.ldif"
ldapadd -c -x -H "$URI" -D "$ROOT_DN" -w "$ROOT_PW" -S "$WORK/rejects.ldif" \
  -f "$WORK/probes.ldif" > /dev/null 2> "$WORK/add.err" || true

# A refusal for any other reason means a pair tests nothing: say which.
others=$(grep '^# Error:' "$WORK/rejects.ldif" |
  grep -v -e 'Already exists (68)' -e 'Type or value exists (20)' || true)
if [ -n "$others" ]; then
  grep -A3 '^# Error:' "$WORK/rejects.ldif" | grep -v -e 'Already exists' -e 'Type or value' |
    head -n 40 >&2
  fail "the server refused pairs for other reasons than the pair itself"
fi
if grep -A1 'Type or value exists (20)' "$WORK/rejects.ldif" | grep '^# ' |
  grep -v -e 'Type or value exists' -e 'provided more than once' | grep -q .; then
  fail "a value pair was refused as existing, but not as a value given twice"
fi

ldapsearch -LLL -o ldif-wrap=no -x -H "$URI" -D "$ROOT_DN" -w "$ROOT_PW" -b "$SUFFIX" \
  "(objectclass=*)" 1.1 > "$WORK/entries.ldif" || fail "could not read the entries back"
"$PAIRS" judge "$WORK" < "$WORK/entries.ldif" || fail "the repair's keys and the server disagree"
echo "PASS"
