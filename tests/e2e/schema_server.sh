#!/usr/bin/env bash
# quorvane-fix reads the schema of a running server: a throwaway slapd with a schema of the
# test's own beside the stock ones.
#
# Usage: schema_server.sh QUORVANE_FIX
#
# Starts its own slapd (configuration and mdb database in a temporary directory, the schemas a
# stock Debian slapd loads plus a small test schema with an auxiliary class and an attribute,
# bound to 127.0.0.1 on a free port; never the system's service) and checks that:
#  - --schema ldap://... keeps the test schema's class and attribute, anonymously and bound,
#    and the entries so repaired import into that server;
#  - --schema builtin --schema FILE keeps them too; the built-in schema alone drops them;
#  - a bind with a wrong password, a server whose certificate the system does not trust
#    (ldaps:// and --starttls; checked where openssl is there to make one), or a server that
#    is gone, stops the run with exit status 2 and one message naming the server, never the
#    password, and writes nothing.
# The server is stopped on every exit path.
# Exit status: 0 passed, 1 failed, 77 skipped (slapd is not installed).

set -euo pipefail

# shellcheck source=SCRIPTDIR/throwaway_slapd.sh
source "$(dirname "$0")/throwaway_slapd.sh"

readonly SUFFIX="dc=example,dc=com"
readonly ROOT_DN="cn=admin,$SUFFIX"
readonly ROOT_PW="schema-e2e-secret"
readonly WRONG_PW="not-the-right-one"

[ $# -eq 1 ] || { echo "usage: $0 QUORVANE_FIX" >&2; exit 2; }
FIX=$1
[ -x "$FIX" ] || fail "quorvane-fix not found or not executable: $FIX"
skip_without_slapd
require_tools ldapadd

make_work quorvane-schema-e2e
SLAPD_LOG_TAIL=plain
SLAPD_KEEP_WORK=
SLAPD_MAXSIZE=
SLAPD_ANNOUNCE=

cat > "$WORK/test.schema" << 'EOF'
# A schema of the test's own, built on the standard ones as an address book's schema is.
attributetype ( 1.3.6.1.4.1.99999.1.1 NAME 'qvNickname'
  EQUALITY caseIgnoreMatch SUBSTR caseIgnoreSubstringsMatch
  SYNTAX 1.3.6.1.4.1.1466.115.121.1.15{256} )
objectclass ( 1.3.6.1.4.1.99999.2.1 NAME 'qvNicknamed' SUP top AUXILIARY
  MAY qvNickname )
EOF

# A certificate of its own, which the system does not trust.
TLS=
if command -v openssl > /dev/null; then
  openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=127.0.0.1" \
    -keyout "$WORK/key.pem" -out "$WORK/cert.pem" > /dev/null 2>&1 && TLS=1
fi

# The server takes that certificate for ldaps:// and StartTLS.
slapd_global_config() {
  if [ -n "$TLS" ]; then
    echo "TLSCertificateFile \"$WORK/cert.pem\""
    echo "TLSCertificateKeyFile \"$WORK/key.pem\""
  fi
}
SLAPD_LDAPS=$TLS
write_config "$WORK/test.schema"
start_server || fail "could not start slapd"
URI=${URI%/}
echo "slapd (pid $SLAPD_PID) answers on $URI"

cat > "$WORK/book.ldif" << 'EOF'
dn: cn=Jane Roe,mail=jane@example.org
objectclass: inetOrgPerson
objectclass: qvNicknamed
cn: Jane Roe
sn: Roe
mail: jane@example.org
qvNickname: JR
EOF
printf '%s\n' "$ROOT_PW" > "$WORK/password"
printf '%s\n' "$WRONG_PW" > "$WORK/wrong-password"

# repair NAME ARGS...: runs quorvane-fix on the book into $WORK/NAME.ldif, stderr in NAME.err.
repair() {
  local name=$1
  shift
  "$FIX" --base-dn "$SUFFIX" --seed 1 --output "$WORK/$name.ldif" "$@" "$WORK/book.ldif" \
    2> "$WORK/$name.err"
}

# expect_kept NAME YES|NO: whether the test schema's class and attribute survived.
expect_kept() {
  local name=$1 want=$2 got=NO
  grep -q '^qvNickname: JR' "$WORK/$name.ldif" && grep -q '^objectclass: qvNicknamed' \
    "$WORK/$name.ldif" && got=YES
  [ "$got" = "$want" ] ||
    fail "$name: the test schema's class and attribute kept: $got, expected $want
$(cat "$WORK/$name.err")"
  echo "ok: $name (kept: $got)"
}

repair server --schema "$URI" || fail "server: exit status $? $(cat "$WORK/server.err")"
expect_kept server YES
repair bound --schema "$URI" --bind-dn "$ROOT_DN" --password-file "$WORK/password" ||
  fail "bound: exit status $? $(cat "$WORK/bound.err")"
expect_kept bound YES
repair file --schema builtin --schema "$WORK/test.schema" || fail "file: $(cat "$WORK/file.err")"
expect_kept file YES
repair builtin || fail "builtin: $(cat "$WORK/builtin.err")"
expect_kept builtin NO

# What the server's schema kept, the server takes.
printf 'dn: %s\nobjectClass: domain\ndc: example\n\n' "$SUFFIX" | tr -d '\r' |
  ldapadd -x -H "$URI" -D "$ROOT_DN" -w "$ROOT_PW" > /dev/null || fail "cannot add the suffix"
ldapadd -x -H "$URI" -D "$ROOT_DN" -w "$ROOT_PW" -f "$WORK/server.ldif" > "$WORK/add.log" 2>&1 ||
  fail "the server refused the entry repaired for its schema: $(cat "$WORK/add.log")"
echo "ok: the server took the entry repaired for its schema"

# expect_refused NAME MESSAGE ARGS...: exit status 2, one line starting MESSAGE, no password,
# no output file.
expect_refused() {
  local name=$1 message=$2 status=0
  shift 2
  repair "$name" "$@" || status=$?
  [ "$status" -eq 2 ] || fail "$name: exit status $status, expected 2"
  [ "$(wc -l < "$WORK/$name.err")" -eq 1 ] || fail "$name: not one line: $(cat "$WORK/$name.err")"
  case "$(cat "$WORK/$name.err")" in
    "quorvane-fix: $message"*) ;;
    *) fail "$name: unexpected message: $(cat "$WORK/$name.err")" ;;
  esac
  ! grep -q -e "$WRONG_PW" -e "$ROOT_PW" "$WORK/$name.err" || fail "$name: the password was shown"
  [ ! -e "$WORK/$name.ldif" ] || fail "$name: an output file was written"
  echo "ok: $name refused: $(cat "$WORK/$name.err")"
}

expect_refused wrong-password "cannot read the schema of $URI: bind as \"$ROOT_DN\" refused: " \
  --schema "$URI" --bind-dn "$ROOT_DN" --password-file "$WORK/wrong-password"
expect_refused starttls "cannot read the schema of $URI: StartTLS failed: " \
  --schema "$URI" --starttls
if [ -n "$TLS" ]; then
  LDAPS="ldaps://127.0.0.1:$((SLAPD_PORT + 1))"
  expect_refused untrusted "cannot read the schema of $LDAPS: Can't contact LDAP server; with TLS, \
the server's certificate must be one the system trusts" \
    --schema "$LDAPS" --bind-dn "$ROOT_DN" --password-file "$WORK/password"
  # The certificate works for a client that is told to trust it.
  LDAPTLS_CACERT="$WORK/cert.pem" ldapsearch -x -H "$LDAPS" -b "" -s base > /dev/null ||
    fail "the server's TLS does not work: the refusals above prove nothing"
  echo "ok: ldapsearch trusting the test certificate reads $LDAPS"
else
  echo "SKIP: openssl is not installed: no certificate check"
fi
stop_server
expect_refused gone "cannot read the schema of $URI: Can't contact LDAP server" --schema "$URI"
echo "PASS"
