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

# shellcheck source=SCRIPTDIR/throwaway_slapd.sh
source "$(dirname "$0")/throwaway_slapd.sh"

readonly SUFFIX="dc=example,dc=com"
readonly ROOT_DN="cn=admin,$SUFFIX"
readonly ROOT_PW="verdict-secret"

[ $# -eq 1 ] || { echo "usage: $0 MATCHING_PAIRS" >&2; exit 2; }
PAIRS=$1
[ -x "$PAIRS" ] || fail "matching_pairs not found or not executable: $PAIRS"

skip_without_slapd "the verdict needs a server"
require_tools ldapadd ldapsearch

make_work quorvane-verdict
SLAPD_ANNOUNCE=

write_config
"$PAIRS" generate "$WORK" "$SUFFIX" > /dev/null || fail "matching_pairs could not write the pairs"
start_server || fail "could not start slapd (see the server log below)"
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
