#!/bin/sh
# Builds the Debian package with cpack from a build folder, unpacks it into a scratch root and
# checks what it holds, what it depends on, that lintian finds nothing to object to, and that
# the unpacked quorvane-fix runs with a profile by name.
#   deb_package_test.sh CPACK BUILD_DIR SOURCE_DIR
set -eu
CPACK=$1
BUILD=$2
SOURCE=$3

WORK=$(mktemp -d "${TMPDIR:-/tmp}/quorvane-deb-XXXXXX")
trap 'rm -rf "$WORK"' EXIT INT TERM

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# The package goes to the scratch folder, with cpack's staging; the build folder is only read.
"$CPACK" -G DEB --config "$BUILD/CPackConfig.cmake" -B "$WORK/out" > "$WORK/cpack.log" 2>&1 ||
  { cat "$WORK/cpack.log" >&2; fail "cpack -G DEB failed"; }
set -- "$WORK"/out/quorvane_*.deb
[ -f "$1" ] || { cat "$WORK/cpack.log" >&2; fail "no quorvane_*.deb was made"; }
DEB=$1
echo "package: $(basename "$DEB")"

# The dependencies dpkg-shlibdeps found: Qt 6 and QScintilla among them.
DEPENDS=$(dpkg-deb -f "$DEB" Depends)
echo "Depends: $DEPENDS"
echo "$DEPENDS" | grep -q 'libqt6widgets6' || fail "Depends does not name Qt 6 Widgets"
echo "$DEPENDS" | grep -q 'libqt6core6' || fail "Depends does not name Qt 6 Core"
echo "$DEPENDS" | grep -q 'libqscintilla2-qt6' || fail "Depends does not name QScintilla"
[ "$(dpkg-deb -f "$DEB" Package)" = quorvane ] || fail "the package is not called quorvane"
dpkg-deb -f "$DEB" Architecture | grep -q . || fail "no Architecture"

ROOT=$WORK/root
dpkg -x "$DEB" "$ROOT"
for file in \
    usr/lib/quorvane/quorvane usr/lib/quorvane/quorvane-fix \
    usr/lib/quorvane/openldap-stock.ini usr/lib/quorvane/openldap-mozilla-schema.ini \
    usr/lib/quorvane/openldap-stock-business-card.ini \
    usr/share/applications/quorvane.desktop \
    usr/share/icons/hicolor/scalable/apps/quorvane.svg \
    usr/share/icons/hicolor/256x256/apps/quorvane.png \
    usr/share/man/man1/quorvane-fix.1.gz usr/share/man/man1/quorvane.1.gz \
    usr/share/doc/quorvane/changelog.gz usr/share/doc/quorvane/copyright; do
  [ -f "$ROOT/$file" ] || fail "the package has no /$file"
done
for program in quorvane quorvane-fix; do
  [ -L "$ROOT/usr/bin/$program" ] || fail "/usr/bin/$program is not a symbolic link"
  [ "$(readlink "$ROOT/usr/bin/$program")" = "../lib/quorvane/$program" ] ||
    fail "/usr/bin/$program points to $(readlink "$ROOT/usr/bin/$program")"
  [ -x "$ROOT/usr/lib/quorvane/$program" ] || fail "/usr/lib/quorvane/$program is not executable"
done
# Nothing of the build's own (tests, benchmarks) slipped in.
EXTRA=$(cd "$ROOT" && find . -type f -o -type l | grep -v -e '^./usr/lib/quorvane/' \
  -e '^./usr/bin/quorvane' -e '^./usr/share/applications/quorvane.desktop$' \
  -e '^./usr/share/icons/hicolor/' -e '^./usr/share/man/man1/quorvane\(-fix\)\?.1.gz$' \
  -e '^./usr/share/doc/quorvane/\(changelog.gz\|copyright\)$' || true)
[ -z "$EXTRA" ] || fail "unexpected files in the package: $EXTRA"

grep -qx 'Icon=quorvane' "$ROOT/usr/share/applications/quorvane.desktop" ||
  fail "the desktop entry does not name the icon"
DESKTOP=$ROOT/usr/share/applications/quorvane.desktop
grep -qx 'Exec=quorvane %F' "$DESKTOP" || fail "the desktop entry does not start quorvane with files"
grep -qx 'MimeType=text/x-ldif;' "$DESKTOP" || fail "the desktop entry does not open LDIF files"
grep -q '^Keywords=.*LDIF' "$DESKTOP" || fail "the desktop entry has no keywords"
grep -qx 'Categories=Utility;' "$DESKTOP" || fail "the desktop entry has not one main category"
gzip -dc "$ROOT/usr/share/man/man1/quorvane.1.gz" | grep -q 'Ctrl+R' ||
  fail "the manual page of quorvane does not give the keys"
gzip -dc "$ROOT/usr/share/doc/quorvane/changelog.gz" | head -1 |
  grep -q "^quorvane ($(dpkg-deb -f "$DEB" Version)) " ||
  fail "the changelog's latest entry is not the package's version"
cmp -s "$SOURCE/app/debian/copyright" "$ROOT/usr/share/doc/quorvane/copyright" ||
  fail "the copyright file is not app/debian/copyright"
gzip -dc "$ROOT/usr/share/man/man1/quorvane-fix.1.gz" | grep -q -- 'quiet' ||
  fail "the manual page does not document --quiet"
# The PNG icon is 256 pixels square (the width and height of its IHDR chunk).
[ "$(od -An -tx1 -j16 -N8 "$ROOT/usr/share/icons/hicolor/256x256/apps/quorvane.png" | tr -d ' \n')" = \
  0000010000000100 ] || fail "the PNG icon is not 256 x 256"

# lintian: no error and no warning (informational notes are shown, not counted).
if command -v lintian > /dev/null; then
  lintian --tag-display-limit 0 "$DEB" > "$WORK/lintian.txt" 2>&1 || true
  cat "$WORK/lintian.txt"
  if grep -q '^[EW]: ' "$WORK/lintian.txt"; then
    fail "lintian reports errors or warnings"
  fi
else
  fail "lintian is missing (scripts/setup.sh installs it)"
fi

# The unpacked command runs through its link, and finds its profiles beside the real file.
FIX=$ROOT/usr/bin/quorvane-fix
"$FIX" --help > "$WORK/help.txt" || fail "quorvane-fix --help failed"
grep -q -- '--profile NAME' "$WORK/help.txt" || fail "--help does not describe --profile"
grep -q -- '--quiet' "$WORK/help.txt" || fail "--help does not describe --quiet"

printf '%s\n' \
  'dn: cn=Doe, John,mail=john.doe@example.org' 'objectclass: top' 'objectclass: person' \
  'objectclass: inetOrgPerson' 'objectclass: mozillaAbPersonAlpha' 'cn: Doe, John' \
  'sn: Doe' 'mail: john.doe@example.org' 'mozillaSecondEmail: jd@example.net' \
  'mozillaUseHtmlMail: false' 'modifytimestamp: 1701234567' > "$WORK/book.ldif"
(cd "$WORK" && "$FIX" --profile openldap-stock --base-dn dc=test --seed 1 \
   --output fixed.ldif book.ldif 2> err.txt) || { cat "$WORK/err.txt" >&2; fail "the repair failed"; }
tr -d '\r' < "$WORK/fixed.ldif" > "$WORK/fixed.txt"
cat > "$WORK/expected.txt" <<'LDIF'
dn: cn=Doe\, John+mail=john.doe@example.org,dc=test
objectclass: top
objectclass: person
objectclass: inetOrgPerson
cn: Doe, John
sn: Doe
mail: john.doe@example.org
mail: jd@example.net

LDIF
diff -u "$WORK/expected.txt" "$WORK/fixed.txt" >&2 || fail "the repaired LDIF is not as expected"
grep -q '^Fixed ' "$WORK/err.txt" || fail "no summary line on standard error"

# The same with the profile missing: an error naming the file in the private folder.
if "$FIX" --profile no-such-profile "$WORK/book.ldif" > /dev/null 2> "$WORK/err.txt"; then
  fail "a missing profile did not stop the run"
fi
grep -q "usr/lib/quorvane/no-such-profile.ini" "$WORK/err.txt" ||
  fail "a profile name is not looked up beside the real program: $(cat "$WORK/err.txt")"
echo "package test passed"
