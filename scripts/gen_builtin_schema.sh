#!/usr/bin/env bash
# Writes schema/builtin_schema.inc: the schema a stock Debian slapd serves, read from a server.
#
# Usage: scripts/gen_builtin_schema.sh [OUTPUT]   (default: schema/builtin_schema.inc)
#
# Starts a throwaway slapd (configuration and mdb database in a temporary directory, bound to
# 127.0.0.1 on a free port; never the system's service) with the schemas Debian's slapd package
# loads by default (core, cosine, nis, inetorgperson), reads its subschema entry and writes
# every attribute type and object class it serves, those slapd defines in its own code
# (objectClass, createTimestamp, entryUUID, ...) included, as C++ string literals. slapd keeps
# some of its own types out of that entry (dITStructureRules, subtreeSpecification, authzTo,
# ...) although its entries may hold them and the classes it serves name them; those are taken
# from its built-in cn=schema,cn=config entry, as slaptest writes it. Descriptions are left out:
# the checks never show them. The server is stopped on every exit path.

set -euo pipefail

# shellcheck source=SCRIPTDIR/../tests/e2e/throwaway_slapd.sh
source "$(dirname "$0")/../tests/e2e/throwaway_slapd.sh"

OUTPUT=${1:-schema/builtin_schema.inc}
find_slapd
[ -n "$SLAPD" ] || { echo "slapd is not installed (Debian package slapd)" >&2; exit 1; }
if ! command -v ldapsearch > /dev/null; then
  echo "ldapsearch not found (package ldap-utils)" >&2
  exit 1
fi

SUFFIX="dc=example,dc=com"
make_work quorvane-schema
SLAPD_LOG_TAIL=none
SLAPD_KEEP_WORK=
SLAPD_MAXSIZE=
SLAPD_ANNOUNCE=
write_config

# slaptest writes the configuration as cn=config LDIF, cn=schema (slapd's own) included.
# Its configuration holds the schemas alone: slaptest opens no database then.
mkdir -p "$WORK/config"
grep '^include ' "$WORK/slapd.conf" > "$WORK/schemas.conf"
slaptest -f "$WORK/schemas.conf" -F "$WORK/config" > "$WORK/slaptest.log" 2>&1 ||
  { cat "$WORK/slaptest.log" >&2; exit 1; }
# Unfolded (RFC 2849 continuation lines), with cn=schema's names for the two kinds.
sed -e ':a;N;$!ba;s/\n //g' "$WORK/config/cn=config/cn=schema.ldif" |
  sed -e 's/^olcAttributeTypes: /attributeTypes: /' -e 's/^olcObjectClasses: /objectClasses: /' \
    > "$WORK/own.ldif"
start_server || { cat "$WORK/slapd.log" >&2; echo "could not start slapd" >&2; exit 1; }

ldapsearch -LLL -x -H "$URI" -o ldif-wrap=no -b cn=subschema -s base '(objectClass=subschema)' \
  attributeTypes objectClasses > "$WORK/subschema.ldif"
VERSION=$("$SLAPD" -VV 2>&1 | sed -n 's/.*slapd \([0-9.]*\).*/\1/p' | head -n 1)

# The definitions of kind $1 in LDIF file $2, one a line, DESC dropped (RFC 4512 qdstrings hold
# no quote: a quote inside is written \27).
plain() {
  sed -n "s/^$1: //p" "$2" | sed -e "s/ DESC '[^']*'//"
}

# slapd's own definitions of kind $1 that its subschema entry leaves out (by OID). cn=schema
# writes its configuration types with OID macros (OLcfgGlAt:1); the subschema entry serves
# every one of them with its numeric OID, so only numeric ones are looked at.
hidden() {
  plain "$1" "$WORK/own.ldif" |
    awk 'NR == FNR { served[$2] = 1; next } $2 ~ /^[0-9.]+$/ && !($2 in served)' \
    <(plain "$1" "$WORK/subschema.ldif") -
}

# One line per definition: "{__LINE__, R"(DEFINITION)"},".
definitions() {
  plain "$1" "$WORK/subschema.ldif" | sed -e 's/^/    {__LINE__, R"(/' -e 's/$/)"},/'
  if [ -n "$(hidden "$1")" ]; then
    echo "    // Defined by slapd itself but not shown in its subschema entry."
    hidden "$1" | sed -e 's/^/    {__LINE__, R"(/' -e 's/$/)"},/'
  fi
}

{
  echo "// The schema a stock Debian slapd $VERSION serves: core, cosine, nis, inetorgperson and"
  echo "// the types and classes slapd defines itself. Written by scripts/gen_builtin_schema.sh;"
  echo "// do not edit."
  echo "// Each entry holds the line it stands on, so a definition left out names its line here."
  echo "// clang-format off"
  echo "constexpr BuiltinDefinition kBuiltinAttributeTypes[] = {"
  definitions attributeTypes
  echo "};"
  echo "constexpr BuiltinDefinition kBuiltinObjectClasses[] = {"
  definitions objectClasses
  echo "};"
  echo "// clang-format on"
} > "$WORK/builtin_schema.inc"
grep -q '2.5.4.3 ' "$WORK/builtin_schema.inc" || { echo "the server served no cn" >&2; exit 1; }
mv "$WORK/builtin_schema.inc" "$OUTPUT"
echo "wrote $OUTPUT: $(grep -c '__LINE__' "$OUTPUT") definitions from slapd $VERSION"
