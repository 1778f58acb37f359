#!/usr/bin/env bash
# Repairs a realistic address-book export and imports it into a throwaway OpenLDAP server.
#
# Usage: openldap_import.sh QUORVANE_FIX EXPORT.ldif [--generated | --exporter]
#
# Starts its own slapd (own configuration and mdb database in a temporary directory, schemas
# core, cosine, nis and inetorgperson as a stock Debian slapd loads them, bound to 127.0.0.1 on a
# free port; never the system's service), repairs the export with each standard-schema profile
# shipped beside QUORVANE_FIX,
# imports the result with `ldapadd -c` and checks that every record was added except those
# quorvane-fix reported as unacceptable to any directory. Then it reads entries back and
# checks the values that matter. The server is stopped on every exit path.
# With --generated the export is a book from bench/gen_book: it holds deliberately broken
# Base64 DNs, which quorvane-fix reports and the directory refuses, and none of the entries
# the value checks look for, so only the import counts are checked.
# With --exporter the export comes from another address-book program (tests/data/exporters/):
# it is repaired without any profile (the schema step alone fits it to the directory), with
# openldap-stock and with openldap-stock-business-card, each under a container of its own.
# Every record that carries a name must be added, and every record that is not added must have
# been reported by quorvane-fix, with the line it starts on, by a message about that record
# (001-004, 019); the schema step's repair messages (008-018, 020) name only the first record
# of their kind and say nothing about a refusal. A record is a block of lines that holds more
# than comments and the "version: 1" header (RFC 2849). The script prints, per run, the records
# in, the entries added and the records reported as refused.
# Exit status: 0 passed, 1 failed, 77 skipped (slapd is not installed).

set -euo pipefail

# shellcheck source=SCRIPTDIR/throwaway_slapd.sh
source "$(dirname "$0")/throwaway_slapd.sh"

readonly SUFFIX="dc=example,dc=com"
readonly ROOT_DN="cn=admin,$SUFFIX"
readonly ROOT_PW="e2e-secret"

if [ $# -lt 2 ] || [ $# -gt 3 ] ||
  { [ $# -eq 3 ] && [ "$3" != --generated ] && [ "$3" != --exporter ]; }; then
  echo "usage: $0 QUORVANE_FIX EXPORT.ldif [--generated | --exporter]" >&2
  exit 2
fi
FIX=$1
EXPORT=$2
MODE=${3:-}
GENERATED=
[ "$MODE" != --generated ] || GENERATED=1
[ -x "$FIX" ] || fail "quorvane-fix not found or not executable: $FIX"
[ -r "$EXPORT" ] || fail "cannot read the export: $EXPORT"

skip_without_slapd "the import test needs a server"
require_tools ldapadd ldapsearch

make_work quorvane-e2e

ldap_search() {
  ldapsearch -LLL -o ldif-wrap=no -x -H "$URI" -D "$ROOT_DN" -w "$ROOT_PW" "$@"
}

# Number of entries directly below $1.
count_children() {
  ldap_search -b "$1" -s one "(objectclass=*)" 1.1 | grep -c '^dn:' || true
}

# The value of attribute $2 in the LDIF on standard input, Base64 values decoded, one per line.
values_of() {
  local name=$1 line
  while IFS= read -r line; do
    case "$line" in
      "$name:: "*) printf '%s\n' "${line#"$name":: }" | base64 -d && echo ;;
      "$name: "*) printf '%s\n' "${line#"$name": }" ;;
    esac
  done
}

# Prints the 1-based line number on which each record of the LDIF file $1 starts.
record_start_lines() {
  tr -d '\r' < "$1" | awk 'NF && !inrec { print NR; inrec = 1 } !NF { inrec = 0 }'
}

# Prints the DN line of each record of the repaired file $1, in order.
record_dn_lines() {
  tr -d '\r' < "$1" | awk 'NF && !inrec { print; inrec = 1 } !NF { inrec = 0 }'
}

# Adds the base entries: the suffix and one container per profile run.
add_base_entries() {
  local container
  {
    printf 'dn: %s\nobjectClass: domain\ndc: example\n\n' "$SUFFIX"
    for container in "$@"; do
      printf 'dn: dc=%s,%s\nobjectClass: domain\ndc: %s\n\n' "$container" "$SUFFIX" "$container"
    done
  } > "$WORK/base.ldif"
  ldap_add -f "$WORK/base.ldif" > /dev/null || fail "could not add the base entries"
}

# import_book PROFILE CONTAINER: repairs the export under dc=CONTAINER,$SUFFIX, imports it
# and checks that exactly the records quorvane-fix reported were refused.
import_book() {
  local profile=$1 base="dc=$2,$SUFFIX" out="$WORK/$1.ldif" err="$WORK/$1.err"
  local rejects="$WORK/$1.rejects.ldif"

  "$FIX" --profile "$profile" --base-dn "$base" --seed 4711 --output "$out" "$WORK/export.ldif" \
    2> "$err" || fail "quorvane-fix --profile $profile failed: $(cat "$err")"

  # Records reported as unacceptable to any directory, by the line their record starts on
  # (the refusal messages only: the schema step's repairs name the first record of their kind).
  # Base64 decoding problems ("001:") would mean the export itself is broken.
  if [ -z "$GENERATED" ] && grep -q '^line [0-9]*: 001:' "$err"; then
    fail "quorvane-fix could not decode a value of the export: $(cat "$err")"
  fi
  local -A reported=()
  local n
  while IFS= read -r n; do
    reported[$n]=1
  done < <(sed -n 's/^line \([0-9]*\): \(001\|002\|003\|004\|019\):.*/\1/p' "$err")

  local -a starts dns
  mapfile -t starts < <(record_start_lines "$WORK/export.ldif")
  mapfile -t dns < <(record_dn_lines "$out")
  local records=${#dns[@]}
  [ "$records" -eq "${#starts[@]}" ] ||
    fail "$profile: ${#starts[@]} records in the export, but $records in the repaired file"

  local i expected_refused=()
  for i in "${!starts[@]}"; do
    if [ -n "${reported[${starts[i]}]:-}" ]; then
      expected_refused+=("${dns[i]}")
    fi
  done

  : > "$rejects"
  ldap_add -c -S "$rejects" -f "$out" > "$WORK/$profile.add.out" 2> "$WORK/$profile.add.err" || true

  local refused_list
  refused_list=$( (grep '^dn:' "$rejects" || true) | sort)
  local expected_list
  expected_list=$(printf '%s\n' "${expected_refused[@]+"${expected_refused[@]}"}" | sed '/^$/d' | sort)
  local added
  added=$(count_children "$base")
  local refused
  refused=$( (grep -c '^dn:' "$rejects" || true))

  echo "$profile: records in $records, entries added $added, failures $refused" \
    "(reported by quorvane-fix: ${#expected_refused[@]})"
  if [ "$refused_list" != "$expected_list" ]; then
    echo "--- refused by the directory:" >&2
    grep -E '^(# Error|dn:)' "$rejects" >&2 || true
    echo "--- reported by quorvane-fix:" >&2
    cat "$err" >&2
    fail "$profile: the directory refused other records than quorvane-fix reported"
  fi
  [ "$added" -eq $((records - ${#expected_refused[@]})) ] ||
    fail "$profile: expected $((records - ${#expected_refused[@]})) entries, found $added"
}

# Prints one line per record of the LDIF file $1: the line it starts on, and "named" or "-".
# Blank lines (nothing but blanks, as the repair trims them) end a record; a block of nothing but
# comments and the "version:" header is no record (RFC 2849). A record carries a name when it has
# a cn value, or a DN whose first component has a value or which holds no "=" at all.
record_summaries() {
  local line start=0 n=0 content=0 named=0 name value
  finish() {
    [ "$content" -eq 1 ] && printf '%s %s\n' "$start" "$([ "$named" -eq 1 ] && echo named || echo -)"
    start=0 content=0 named=0
  }
  while IFS= read -r line || [ -n "$line" ]; do
    n=$((n + 1))
    line=${line%$'\r'}
    if [[ $line =~ ^[[:space:]]*$ ]]; then
      finish
      continue
    fi
    [ "$start" -ne 0 ] || start=$n
    [[ $line == '#'* ]] && continue
    [[ ${line,,} == version:* ]] && continue
    content=1
    name=${line%%:*}
    name=${name,,}
    value=${line#*:}
    if [[ $value == :* ]]; then
      value=$(printf '%s' "${value#:}" | tr -d ' ' | base64 -d 2> /dev/null | tr -d '\0') || value=
    fi
    value=${value#"${value%%[![:space:]]*}"}
    case "$name" in
      cn) [ -z "$value" ] || named=1 ;;
      dn)
        if [[ $value != *=* ]]; then
          [ -z "$value" ] || named=1
        else
          value=${value#*=}
          value=${value%%,*}
          [ -z "$value" ] || named=1
        fi
        ;;
    esac
  done < "$1"
  finish
}

# Prints, for each record of the repaired file $1 (records as record_summaries counts them), its
# DN line, or "-" when it has none.
record_dns() {
  tr -d '\r' < "$1" | awk '
    function finish() { if (content) print (dn == "" ? "-" : dn); content = 0; dn = "" }
    /^[ \t]*$/ { finish(); next }
    /^#/ { next }
    tolower($0) ~ /^version:/ { next }
    { content = 1 }
    /^dn:/ && dn == "" { dn = $0 }
    END { finish() }'
}

# Messages about one record that say the directory will refuse it: an undecodable value (001),
# no or an empty DN (002), a list without members (003), the text cut at a NUL byte (004), a
# required attribute missing (019). Every other message is a repair, and the schema step's
# (008-018, 020) name only the first record of their kind.
readonly REFUSAL_CODES='^(001|002|003|004|019)$'

# import_exporter_book PROFILE CONTAINER: repairs an export of another address-book program under
# dc=CONTAINER,$SUFFIX (PROFILE "-": without --profile, the schema step alone) and imports the
# records that have a DN. Every record that is not added must have been reported as refused with
# the line it starts on, and a record that carries a name only for a reason no directory accepts
# (001 undecodable DN, 003 list without members, 004 NUL byte, 019 a required attribute missing).
import_exporter_book() {
  local profile=$1 label=$1 base="dc=$2,$SUFFIX"
  local -a profile_args=(--profile "$profile")
  if [ "$profile" = - ]; then
    label="no-profile"
    profile_args=()
  fi
  local out="$WORK/$label.ldif" err="$WORK/$label.err"
  local rejects="$WORK/$label.rejects.ldif" with_dn="$WORK/$label.with-dn.ldif"

  "$FIX" "${profile_args[@]}" --base-dn "$base" --seed 4711 --output "$out" "$WORK/export.ldif" \
    2> "$err" || fail "quorvane-fix ($label) failed: $(cat "$err")"

  local -A refusals=()
  local n code messages=0
  while IFS=' ' read -r n code; do
    messages=$((messages + 1))
    [[ $code =~ $REFUSAL_CODES ]] || continue
    refusals[$n]="${refusals[$n]:-} $code"
  done < <(sed -n 's/^line \([0-9]*\): \([0-9][0-9][0-9]\):.*/\1 \2/p' "$err")

  local -a summaries dns
  mapfile -t summaries < <(record_summaries "$WORK/export.ldif")
  mapfile -t dns < <(record_dns "$out")
  local records=${#summaries[@]}
  [ "${#dns[@]}" -eq "$records" ] ||
    fail "$label: $records records in the export, but ${#dns[@]} in the repaired file"

  # Only records with a DN reach the directory; ldapadd would stop at one without.
  tr -d '\r' < "$out" | awk '
    /^[ \t]*$/ { if (keep) printf "%s\n", block; block = ""; keep = 0; next }
    { block = block $0 "\n" }
    /^dn:/ { keep = 1 }
    END { if (keep) printf "%s\n", block }' > "$with_dn"
  : > "$rejects"
  ldap_add -c -S "$rejects" -f "$with_dn" > "$WORK/$label.add.out" 2> "$WORK/$label.add.err" ||
    true
  local refused_dns
  refused_dns=$( (grep '^dn:' "$rejects" || true))

  local i start named problems="" not_added=0 reported_records=0
  for i in "${!summaries[@]}"; do
    start=${summaries[i]%% *}
    named=${summaries[i]#* }
    [ -z "${refusals[$start]:-}" ] || reported_records=$((reported_records + 1))
    if [ "${dns[i]}" != - ] && ! grep -qxF -- "${dns[i]}" <<< "$refused_dns"; then
      continue
    fi
    not_added=$((not_added + 1))
    if [ -z "${refusals[$start]:-}" ]; then
      problems+="  line $start: not added and not reported as refused (${dns[i]})"$'\n'
    elif [ "$named" = named ] && ! [[ ${refusals[$start]} =~ (001|003|004|019) ]]; then
      problems+="  line $start: carries a name but was not added (reported:${refusals[$start]})"$'\n'
    fi
  done

  local added
  added=$(count_children "$base")
  echo "$(basename "$EXPORT") $label: records in $records, added $added," \
    "reported $reported_records (messages $messages)"
  if [ -n "$problems" ]; then
    echo "--- refused by the directory:" >&2
    grep -E '^(# Error|dn:)' "$rejects" >&2 || true
    echo "--- reported by quorvane-fix:" >&2
    cat "$err" >&2
    printf '%s' "$problems" >&2
    fail "$(basename "$EXPORT") $label: records lost without a report"
  fi
  [ "$added" -eq $((records - not_added)) ] ||
    fail "$label: expected $((records - not_added)) entries, found $added"
}

# check_value BASE_DN ATTRIBUTE EXPECTED: the entry exists and one ATTRIBUTE value is EXPECTED.
check_value() {
  local dn=$1 name=$2 expected=$3 entry
  entry=$(ldap_search -b "$dn" -s base "(objectclass=*)" "$name" 2> /dev/null) ||
    fail "entry not found: $dn"
  values_of "$name" <<< "$entry" | grep -xF -- "$expected" > /dev/null ||
    fail "$dn: no $name value '$expected' (found: $(values_of "$name" <<< "$entry" | paste -sd '|'))"
}

# The stock import: values that show the repair kept what matters.
check_stock_entries() {
  local base="dc=stock,$SUFFIX"

  # A name with a comma: escaped in the DN, as typed in cn; the second address and the
  # web addresses moved to their standard attributes.
  local doe="cn=Doe\\, John+mail=john.doe@example.org,$base"
  check_value "$doe" cn "Doe, John"
  check_value "$doe" mail "jd@example.net"
  check_value "$doe" labeledURI "http://john.example.net/"
  check_value "$doe" homePostalAddress "12 Elm Street"

  # National names, from Base64 DNs.
  check_value "cn=José García+mail=jose@example.es,$base" cn "José García"
  check_value "cn=Müller\\, Jürgen+mail=j.mueller@example.de,$base" sn "Müller"
  check_value "cn=山田 太郎+mail=yamada@example.jp,$base" cn "山田 太郎"

  # Characters special in a DN.
  check_value "cn=\\231 Pizza+mail=orders@pizza.example,$base" cn "#1 Pizza"
  check_value "cn=CORP\\5Cjdoe+mail=jdoe@corp.example,$base" cn 'CORP\jdoe'

  # Made-unique duplicates of "Doe, John" (one exact, one differing only in letter case):
  # each has exactly one cn, and it is the cn value of its own DN.
  local dups dn cn mail count=0
  dups=$(ldap_search -b "$base" -s one "(&(mail=john.doe@example.org)(!(cn=Doe, John)))" cn)
  while IFS= read -r dn; do
    [[ $dn =~ \+mail=([^,]*), ]] || fail "unexpected DN of a made-unique duplicate: $dn"
    mail=${BASH_REMATCH[1]}
    cn=$(DN=$dn awk '$0 == ENVIRON["DN"] { found = 1; next } found && !NF { exit } found' <<< "$dups" |
      values_of cn)
    [ "$(grep -c . <<< "$cn")" -eq 1 ] || fail "$dn: expected one cn value, found: $cn"
    [[ $cn =~ ^[Dd]oe,\ [Jj]ohn[0-9]+$ ]] || fail "$dn: unexpected new name '$cn'"
    # The entry is found under the DN made from its cn: the cn holds the DN's value.
    ldap_search -b "cn=${cn//,/\\,}+mail=$mail,$base" -s base "(objectclass=*)" 1.1 \
      > /dev/null 2>&1 || fail "$dn: its cn '$cn' is not the cn of its DN"
    count=$((count + 1))
  done < <(grep '^dn:' <<< "$dups")
  [ "$count" -eq 2 ] || fail "expected 2 made-unique copies of 'Doe, John', found $count"

  # Mailing lists: every member names an imported entry.
  local list members member
  for list in "cn=Friends,$base" "cn=Team\\, Core \\26 Ops,$base"; do
    members=$(ldap_search -b "$list" -s base "(objectclass=*)" member | values_of member) ||
      fail "mailing list not found: $list"
    [ "$(grep -c . <<< "$members")" -ge 5 ] || fail "$list: members missing: $members"
    while IFS= read -r member; do
      ldap_search -b "$member" -s base "(objectclass=*)" 1.1 > /dev/null 2>&1 ||
        fail "$list: member $member is not an entry of the directory"
    done <<< "$members"
  done
  check_value "cn=Friends,$base" member "cn=José García+mail=jose@example.es,$base"

  # An export that writes every attribute name in lower case gets the same rules.
  local lower="cn=Lower Case+mail=lower@example.com,$base"
  check_value "$lower" mail "lc@example.net"
  check_value "$lower" labeledURI "https://lower.example.com/"
  check_value "$lower" homePostalAddress "3 Low Road"

  # A second address, URL or nickname equal to the first but for letter case is kept once:
  # the directory refuses a value given twice.
  local twice="cn=Casey Case+mail=case@example.com,$base"
  check_value "$twice" mail "case@example.com"
  check_value "$twice" labeledURI "https://case.example.com/"
  check_value "$twice" description "buddy"
}

# The business-card import holds no private details.
check_card_entries() {
  local private
  private=$(ldap_search -b "dc=cards,$SUFFIX" -s one \
    "(|(homePhone=*)(homePostalAddress=*)(description=*)(mail=jd@example.net))" 1.1)
  [ -z "$private" ] || fail "private details in the business-card import: $private"
  check_value "cn=Doe\\, John+mail=john.doe@example.org,dc=cards,$SUFFIX" labeledURI \
    "https://example.org/~jdoe"
}

# The profile for a directory with the address book's schema cannot be imported here (the
# schema is not loaded), so check its output, repaired as the profile is meant to be used: with
# the address book's schema given after the standard ones (tests/data/mozilla-addressbook.schema
# stands in for it). The attributes neither schema defines gone, the address book's kept, the
# obsolete class renamed to the current one.
check_mozilla_schema_profile() {
  local out="$WORK/mozilla.ldif" missing
  local schema
  schema="$(dirname "$0")/../data/mozilla-addressbook.schema"
  "$FIX" --schema builtin --schema "$schema" --profile openldap-mozilla-schema --seed 4711 \
    --output "$out" "$WORK/export.ldif" \
    2> /dev/null || fail "quorvane-fix --profile openldap-mozilla-schema failed"
  tr -d '\r' < "$out" > "$out.lf"
  if grep -Eiq '^(modifytimestamp|birthyear|birthmonth|birthday|c|/ignore/):' "$out.lf"; then
    fail "openldap-mozilla-schema left a refused attribute: $(grep -Ei '^(modify|birth|c:)' "$out.lf")"
  fi
  grep -qx 'mozillaSecondEmail: jd@example.net' "$out.lf" ||
    fail "openldap-mozilla-schema dropped mozillaSecondEmail"
  grep -qix 'mozillahomelocalityname: Lowtown' "$out.lf" ||
    fail "openldap-mozilla-schema dropped a lower-case mozilla attribute"
  # Every contact (an inetOrgPerson) holds the class; a list may hold it too, for its nickname.
  missing=$(awk -v RS= '{ r = tolower($0) "\n" }
    r ~ /\nobjectclass: inetorgperson\n/ && r !~ /\nobjectclass: mozillaabpersonalpha\n/ {
      print $1 " " $2 }' "$out.lf")
  [ -z "$missing" ] ||
    fail "openldap-mozilla-schema: contacts without the class mozillaAbPersonAlpha: $missing"
}

# Exports are written with CR LF or LF line ends; both must repair to the same bytes.
tr -d '\r' < "$EXPORT" | sed 's/$/\r/' > "$WORK/export.ldif"
"$FIX" --profile openldap-stock --seed 4711 --output "$WORK/lf.ldif" "$EXPORT" 2> /dev/null
"$FIX" --profile openldap-stock --seed 4711 --output "$WORK/crlf.ldif" "$WORK/export.ldif" 2> /dev/null
cmp -s "$WORK/lf.ldif" "$WORK/crlf.ldif" || fail "CR LF and LF exports repair differently"

write_config
start_server || fail "could not start slapd (see the server log below)"
if [ "$MODE" = --exporter ]; then
  add_base_entries noprofile stock cards
  # Each run is checked in full before it reports; a failed run does not hide the later ones.
  status=0
  (import_exporter_book - noprofile) || status=1
  (import_exporter_book openldap-stock stock) || status=1
  (import_exporter_book openldap-stock-business-card cards) || status=1
  [ "$status" -eq 0 ] || fail "$(basename "$EXPORT"): at least one run lost records (see above)"
  echo "PASS"
  exit 0
fi
add_base_entries stock cards
if [ -n "$GENERATED" ]; then
  import_book openldap-stock stock
  echo "PASS"
  exit 0
fi
check_mozilla_schema_profile
import_book openldap-stock stock
import_book openldap-stock-business-card cards
check_stock_entries
check_card_entries
echo "PASS"
