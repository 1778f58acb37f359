#!/usr/bin/env bash
# Lets a real OpenLDAP server judge what quorvane-fix's schema step makes of records that break
# the schema in every common way.
#
# Usage: schema_verdict.sh QUORVANE_FIX [RECORDS [SEED]]
#
# gen_verdict_entries.py (beside this script) writes RECORDS records (default 300) from SEED
# (default 20261207): defined, undefined and disallowed attributes, unknown and misspelled
# classes, values outside their syntax, Latin-1 names, operational attributes. quorvane-fix
# repairs them with its built-in schema and no profile, under a container of their own, and
# `ldapadd -c` adds them to a throwaway slapd with the schemas a stock Debian slapd loads (core,
# cosine, nis, inetorgperson), bound to 127.0.0.1 on a free port, configuration and database in
# a temporary directory, stopped on every exit path. ldapadd, not slapadd: slapadd -u takes much
# the server refuses over the protocol.
#
# Checks:
#   1. every entry the server refuses was reported by quorvane-fix, with the line its record
#      starts on, by a message about that record (001-004, 019); the schema step's repair
#      messages (008-018, 020) do not count, they name only the first record of their kind;
#   2. no entry is refused for a reason the schema step repairs: an undefined attribute type,
#      a value outside its syntax, a constraint (single value, operational), a value given twice,
#      an invalid DN (unless its Base64 did not decode, 001, it is empty, 002, or it cannot be
#      named again, 019), an object class violation or naming violation (unless the record was
#      reported missing a required attribute, 019, or as a list without members, 003). This
#      holds for reported records too: the server's reason must be the one reported, so that
#      an entry corrected by hand in the list of refusals goes in;
#   3. no record reported as one no directory accepts (002, 003, 019) was added after all.
# It prints the records in, added, refused (by the server's reason) and the messages by number.
# Exit status: 0 passed, 1 failed, 77 skipped (slapd is not installed).
# QUORVANE_E2E_KEEP=1 keeps the generated, repaired and refused files.

set -euo pipefail

# shellcheck source=SCRIPTDIR/throwaway_slapd.sh
source "$(dirname "$0")/throwaway_slapd.sh"

readonly SUFFIX="dc=example,dc=com"
readonly ROOT_DN="cn=admin,$SUFFIX"
readonly ROOT_PW="e2e-secret"
readonly CONTAINER="dc=verdict,$SUFFIX"
HERE=$(cd "$(dirname "$0")" && pwd)

if [ $# -lt 1 ] || [ $# -gt 3 ]; then
  echo "usage: $0 QUORVANE_FIX [RECORDS [SEED]]" >&2
  exit 2
fi
FIX=$1
RECORDS=${2:-300}
SEED=${3:-20261207}
[ -x "$FIX" ] || fail "quorvane-fix not found or not executable: $FIX"

skip_without_slapd "the verdict needs a server"
require_tools ldapadd ldapsearch python3

make_work quorvane-verdict

python3 "$HERE/gen_verdict_entries.py" --records "$RECORDS" --seed "$SEED" \
  --output "$WORK/book.ldif" || fail "gen_verdict_entries.py failed"
"$FIX" --base-dn "$CONTAINER" --seed 4711 --output "$WORK/repaired.ldif" "$WORK/book.ldif" \
  2> "$WORK/fix.err" || fail "quorvane-fix failed: $(tail -n 5 "$WORK/fix.err")"

# Only records with a DN go to the server (ldapadd stops at a record without one).
tr -d '\r' < "$WORK/repaired.ldif" | awk '
  /^[ \t]*$/ { if (keep) printf "%s\n", block; block = ""; keep = 0; next }
  { block = block $0 "\n" }
  /^dn:/ { keep = 1 }
  END { if (keep) printf "%s\n", block }' > "$WORK/with-dn.ldif"

write_config
start_server || fail "could not start slapd (see the server log below)"
printf 'dn: %s\nobjectClass: domain\ndc: example\n\ndn: %s\nobjectClass: domain\ndc: verdict\n\n' \
  "$SUFFIX" "$CONTAINER" > "$WORK/base.ldif"
ldap_add -f "$WORK/base.ldif" > /dev/null || fail "could not add the base entries"
: > "$WORK/rejects.ldif"
ldap_add -c -S "$WORK/rejects.ldif" -f "$WORK/with-dn.ldif" > "$WORK/add.out" \
  2> "$WORK/add.err" || true
ldapsearch -LLL -o ldif-wrap=no -x -H "$URI" -D "$ROOT_DN" -w "$ROOT_PW" -b "$CONTAINER" \
  -s one "(objectclass=*)" 1.1 > "$WORK/added.ldif" || fail "could not list the added entries"
stop_server

python3 - "$WORK" <<'PYEOF'
import re
import sys
from collections import Counter

work = sys.argv[1]


def blocks(path):
    """Records of an LDIF file: (first line number, lines), comments and version header left out."""
    out, cur, start = [], [], 0
    with open(path, "rb") as f:
        lines = f.read().replace(b"\r\n", b"\n").replace(b"\r", b"\n").split(b"\n")
    for n, raw in enumerate(lines, 1):
        if raw.strip() == b"":
            if cur:
                out.append((start, cur))
            cur = []
            continue
        if not cur:
            start = n
        cur.append(raw)
    if cur:
        out.append((start, cur))
    return [(s, ls) for s, ls in out
            if any(not l.startswith(b"#") and not l.lower().startswith(b"version:") for l in ls)]


def unfolded(ls):
    out = []
    for l in ls:
        if l.startswith(b" ") and out:
            out[-1] += l[1:]
        else:
            out.append(l)
    return out


def dn_line(ls):
    for l in unfolded(ls):
        if l.lower().startswith(b"dn:"):
            return l
    return None


source = blocks(f"{work}/book.ldif")
repaired = blocks(f"{work}/repaired.ldif")
if len(source) != len(repaired):
    print(f"FAIL: {len(source)} records generated, {len(repaired)} repaired", file=sys.stderr)
    sys.exit(1)

# Messages: per line, the numbers.
by_line, numbers = {}, Counter()
for text in open(f"{work}/fix.err", encoding="utf-8", errors="replace"):
    m = re.match(r"line (\d+): (\d{3}):", text)
    if m:
        by_line.setdefault(int(m.group(1)), set()).add(m.group(2))
        numbers[m.group(2)] += 1

# The server's refusals: the "# Error" comment before each refused entry's dn line.
refused = {}
for _, ls in blocks(f"{work}/rejects.ldif"):
    reason = None
    for l in unfolded(ls):
        if l.startswith(b"# Error:"):
            reason = l[len(b"# Error:"):].strip().decode("utf-8", "replace")
        elif l.lower().startswith(b"dn:"):
            refused[l] = reason or "?"
            break
added = sum(1 for l in open(f"{work}/added.ldif", "rb") if l.lower().startswith(b"dn:"))

REFUSAL = {"001", "002", "003", "004", "019"}
problems, reasons = [], Counter()
sent = 0
for (start, _), (_, out) in zip(source, repaired):
    dn = dn_line(out)
    codes = by_line.get(start, set())
    refusal = codes & REFUSAL
    if dn is None:
        if not refusal:
            problems.append(f"line {start}: repaired record has no DN and was not reported")
        continue
    sent += 1
    why = refused.get(dn)
    if why is None:
        if refusal & {"002", "003", "019"}:
            problems.append(f"line {start}: reported as refused ({' '.join(sorted(refusal))}) "
                            f"but the server added it: {dn.decode('utf-8', 'replace')}")
        continue
    code = re.search(r"\((\d+)\)", why)
    code = int(code.group(1)) if code else -1
    reasons[why.split(",")[0]] += 1
    if not refusal:
        problems.append(f"line {start}: refused and not reported: {why} "
                        f"[{dn.decode('utf-8', 'replace')}]")
        continue
    # The server's reasons that match what was reported. Any other reason is one the repair
    # should have removed even from a record it reports: once the reported fault is corrected
    # in the server's list of refusals, the entry must go in.
    expected = {65: {"019", "003"}, 64: {"019"}, 34: {"001", "002", "019"}, 32: {"002"},
                68: {"002"}, 53: {"002"}}
    if code not in expected or not (expected[code] & refusal):
        problems.append(f"line {start}: refused for a schema reason the repair leaves in: {why} "
                        f"(reported {' '.join(sorted(refusal))})")

print(f"records in {len(source)}, sent {sent}, added {added}, refused {len(refused)}")
for why, n in sorted(reasons.items(), key=lambda x: -x[1]):
    print(f"  refused {n:4d}: {why}")
print("messages: " + ", ".join(f"{k} x{v}" for k, v in sorted(numbers.items())))
if added != sent - len(refused):
    problems.append(f"{sent} entries sent, {len(refused)} refused, but {added} added "
                    "(ldapadd skipped entries it could not read?)")
if problems:
    print(f"--- {len(problems)} problems (first 40):", file=sys.stderr)
    for p in problems[:40]:
        print("  " + p, file=sys.stderr)
    print("FAIL: the server refused what the repair should have fixed or reported", file=sys.stderr)
    sys.exit(1)
print("PASS")
PYEOF
