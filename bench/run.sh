#!/usr/bin/env bash
# Measures quorvane-fix beside cat, wc -l, a quick Python rewrite, python-ldap and OpenLDAP's
# own LDIF reader (ldapadd -n) on the same generated books and prints one table and the goals.
#
#   bench/run.sh            (RUNS=5 by default; every time is the median of RUNS runs; SETTLE=1,
#                           the seconds of quiet before each round)
#
# With QUORVANE_BENCH_GUI=1 it also builds the window (build-release-gui, or
# $QUORVANE_BENCH_GUI_BUILD) and times Fix, load and save in it, offscreen, in the same rounds.
#
# Books are generated once into a cache folder outside the tree ($QUORVANE_BENCH_CACHE, else
# $XDG_CACHE_HOME/quorvane-bench, else /tmp/quorvane-bench); the program is built in Release
# into build-release ($QUORVANE_BENCH_BUILD to use another folder). The books are read from the
# page cache: every program is run once before it is timed. Wall time is what the goals are
# stated in; processor time (user + system) is shown beside it, because on a busy machine it is
# the steadier figure.
#
# The Python yardsticks run with Debian's interpreter, /usr/bin/python3, whatever `python3`
# resolves to on the PATH: it is the one Debian's python3-ldap is installed for. When it cannot
# import python-ldap's `ldif`, the script installs python3-ldap (apt-get, as scripts/setup.sh
# does). python-ldap cannot read an address-book export, nor every record of quorvane-fix's
# repair of it, so its round trip (parse, write back, no repair) is timed on CLEAN: the repaired
# book less the records it refuses (bench/ldap_clean.py), cached beside the books. CLEAN is a
# little smaller than the book, so the table's ratios are per MB (for the book's rows, the
# same as per run).
#
# OpenLDAP's reader is `ldapadd -n -c -x -f BOOK`: -n parses the LDIF and prints what it would
# send, without a server. It reads the book itself (not CLEAN), refuses the records whose DN it
# cannot parse and, with -c, goes on; its exit status then says that some were refused. The
# untimed warm-up run counts them, and that exit status, with nothing but such refusals on
# standard error, counts as success. Without ldapadd (Debian's ldap-utils) the row is left out.
#
# A program whose timed run exits with a failure gets no time: its row and its goals say that
# it failed.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${QUORVANE_BENCH_BUILD:-$ROOT/build-release}
CACHE=${QUORVANE_BENCH_CACHE:-${XDG_CACHE_HOME:-/tmp}/quorvane-bench}
RUNS=${RUNS:-5}
BIN=$BUILD/bin
PY=/usr/bin/python3

# quietly DIR COMMAND...: runs a build step, showing its output only when it fails.
quietly() {
  local log=$1/bench-build.log
  shift
  mkdir -p "$(dirname "$log")"
  if ! "$@" >"$log" 2>&1; then
    cat "$log" >&2
    echo "bench/run.sh: the build failed (${*:1:3} ...)" >&2
    exit 1
  fi
}

build() {
  quietly "$BUILD" cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DQUORVANE_GUI=OFF -DQUORVANE_BENCH=ON
  quietly "$BUILD" ninja -C "$BUILD" -j2 quorvane-fix gen_book time_runs progress_cost
}

# book NAME GEN_BOOK_OPTIONS...: generates $CACHE/NAME.ldif unless it is there already.
book() {
  local name=$1
  shift
  local file=$CACHE/$name.ldif
  if [[ ! -s $file ]]; then
    "$BIN/gen_book" "$@" --output "$file.tmp"
    mv "$file.tmp" "$file"
  fi
  echo "$file"
}

# build_window: builds the window's benchmark driver; prints its path.
build_window() {
  local gui_build=${QUORVANE_BENCH_GUI_BUILD:-$ROOT/build-release-gui}
  quietly "$gui_build" cmake -S "$ROOT" -B "$gui_build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DQUORVANE_GUI=ON -DQUORVANE_BENCH=ON
  quietly "$gui_build" ninja -C "$gui_build" -j2 window_fix_gui
  echo "$gui_build/bin/window_fix_gui"
}

size_mb() { awk -v b="$(stat -c %s "$1")" 'BEGIN { printf "%.1f", b / 1e6 }'; }

# ensure_python_ldap: makes `import ldif` work in $PY, installing Debian's python3-ldap the way
# scripts/setup.sh installs packages. On failure sets PYLDAP_WHY and returns 1.
ensure_python_ldap() {
  "$PY" -c 'import ldif' 2>/dev/null && return 0
  if [[ $(id -u) != 0 ]] && ! command -v sudo >/dev/null; then
    PYLDAP_WHY="$PY cannot import ldif, and python3-ldap cannot be installed: not root, no sudo"
    return 1
  fi
  echo "Installing python3-ldap for $PY" >&2
  if ! (
    cd "$ROOT"
    # shellcheck source-path=SCRIPTDIR source=../scripts/setup.sh disable=SC1091
    source scripts/setup.sh
    apt_install=(env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends
      python3-ldap)
    as_root "${apt_install[@]}" ||
      { as_root env DEBIAN_FRONTEND=noninteractive apt-get update -qq && as_root "${apt_install[@]}"; }
  ) >&2; then
    PYLDAP_WHY="apt-get could not install python3-ldap (its messages are above)"
    return 1
  fi
  if ! "$PY" -c 'import ldif' 2>/dev/null; then
    PYLDAP_WHY="python3-ldap is installed, yet $PY cannot import ldif"
    return 1
  fi
}

# clean_book: makes CLEAN for python-ldap's round trip (quorvane-fix's output of the book less
# the records python-ldap refuses) unless it is newer than both the book and quorvane-fix.
# "KEPT DROPPED" record counts go beside it. On failure sets PYLDAP_WHY and returns 1.
clean_book() {
  local status=0
  if [[ -s $CLEAN && -s $CLEAN.records && $CLEAN -nt $BOOK && $CLEAN -nt $BIN/quorvane-fix ]]; then
    return 0
  fi
  echo "Making $CLEAN for the python-ldap round trip" >&2
  "${FIX[@]}" "$BOOK" >"$CLEAN.fixed" 2>/dev/null || status=$?
  if [[ $status != 0 ]]; then
    rm -f "$CLEAN.fixed"
    PYLDAP_WHY="quorvane-fix failed on $BOOK (exit $status), so there is no file to time it on"
    return 1
  fi
  "$PY" "$ROOT/bench/ldap_clean.py" "$CLEAN.fixed" "$CLEAN.tmp" >"$CLEAN.records.tmp" || status=$?
  rm -f "$CLEAN.fixed"
  if [[ $status != 0 ]]; then
    rm -f "$CLEAN.tmp" "$CLEAN.records.tmp"
    PYLDAP_WHY="bench/ldap_clean.py failed (exit $status)"
    return 1
  fi
  mv "$CLEAN.records.tmp" "$CLEAN.records"
  mv "$CLEAN.tmp" "$CLEAN"
}

build
mkdir -p "$CACHE"
BOOK=$(book book-100k --records 100000)
NODUP=$(book book-100k-nodup --records 100000 --dup-every 0)
NONASCII=$(book book-100k-nonascii --records 100000 --non-ascii)
DN10=$(book book-100k-dn10 --records 100000 --every-dn-times 10)
BIG=$(book book-1m --records 1000000)
BIG10=$(book book-1m-dn10 --records 1000000 --every-dn-times 10)
OUT=$CACHE/out.ldif
CLEAN=$CACHE/book-100k-ldap-clean.ldif
FIX=("$BIN/quorvane-fix" --seed 1)

BOOK_MB=$(size_mb "$BOOK")
LINES=$(wc -l <"$BOOK")

PYLDAP_ROUND_TRIP='
import sys, ldif
parser = ldif.LDIFRecordList(open(sys.argv[1], "rb"))
parser.parse()
writer = ldif.LDIFWriter(sys.stdout)
for dn, entry in parser.all_records:
    writer.unparse(dn, entry)
'

# once LABEL: one timed run of what LABEL stands for; prints "WALL CPU PEAK_KB EXIT".
once() {
  local t=("$BIN/time_runs" --runs 1)
  case $1 in
    cat) "${t[@]}" -- cat "$BOOK" ;;
    # The copy's dirty pages are written back before the next run starts, untimed, so that
    # the disk's work does not land on the runs that follow.
    catfile) "${t[@]}" --stdout "$CACHE/cat-copy.ldif" -- cat "$BOOK"
             sync "$CACHE/cat-copy.ldif" ;;
    wc) "${t[@]}" -- wc -l "$BOOK" ;;
    fix) "${t[@]}" -- "${FIX[@]}" "$BOOK" ;;
    fixout) "${t[@]}" -- "${FIX[@]}" --output "$OUT" "$BOOK" ;;
    fixstdin) "${t[@]}" --stdin "$BOOK" -- "${FIX[@]}" ;;
    py) "${t[@]}" -- "$PY" "$ROOT/bench/quick_rewrite.py" "$BOOK" ;;
    pyldap) "${t[@]}" -- "$PY" -c "$PYLDAP_ROUND_TRIP" "$CLEAN" ;;  # parse and write back
    # parse only; the exit status of a run that refused records counts as success (see above)
    ldapn) "${t[@]}" -- ldapadd -n -c -x -f "$BOOK" |
             awk -v ok="$LDAPN_EXIT" '{ if ($4 == ok) $4 = 0; print }' ;;
    nodup) "${t[@]}" -- "${FIX[@]}" "$NODUP" ;;
    # The schema step's cost: the same book without it; and a book whose names are all beyond
    # ASCII, with and without it.
    noschema) "${t[@]}" -- "${FIX[@]}" --no-schema "$BOOK" ;;
    nonascii) "${t[@]}" -- "${FIX[@]}" "$NONASCII" ;;
    nonasciins) "${t[@]}" -- "${FIX[@]}" --no-schema "$NONASCII" ;;
    # Start-up with the built-in schema loaded, on an empty book.
    empty) "${t[@]}" -- "${FIX[@]}" /dev/null ;;
    dn10) "${t[@]}" -- "${FIX[@]}" "$DN10" ;;
    big) "${t[@]}" -- "${FIX[@]}" "$BIG" ;;
    big10) "${t[@]}" -- "${FIX[@]}" "$BIG10" ;;
    # LOAD APPEND FIX APPEND_RESULT SAVE, seconds
    window) QT_QPA_PLATFORM=offscreen "$WINDOW_DRIVER" "$BOOK" 2>/dev/null |
              awk '/^times/ { print $2, $3, $4, $5, $6 }' ;;
  esac
}

# The programs compared are run in turns, round after round, so that a burst of load from
# elsewhere on the machine hits all of them alike; each figure is the median of its rounds
# (the peak memory the largest). Within a round the short runs that read come first, then
# those that write a file, then the large ones: the window and python-ldap take and free
# some hundred MB, and the next round starts after a pause (see SETTLE) in which the machine
# is through with that. An untimed repair then opens each round: this virtual machine hands
# memory that stays free to its host, and the first program to take it again pays the host
# for every page (the first timed repair of a round took a quarter longer than the ones after
# it). The timed runs find memory as a machine in use has it.
LABELS=(cat wc fix noschema nonascii nonasciins empty fixstdin nodup dn10 catfile fixout)
SETTLE=${SETTLE:-1}
if [[ ${QUORVANE_BENCH_GUI:-0} == 1 ]]; then
  WINDOW_DRIVER=$(build_window)
  LABELS+=(window)
fi
HAVE_PY=0
HAVE_PYLDAP=0
PYLDAP_WHY=
HAVE_LDAPN=0
LDAPN_EXIT=0
if command -v ldapadd >/dev/null; then
  # The untimed run: which records it refuses, and the exit status that says so.
  LDAPN_ERR=$(mktemp)
  status=0
  ldapadd -n -c -x -f "$BOOK" >/dev/null 2>"$LDAPN_ERR" || status=$?
  LDAPN_REFUSED=$(grep -c '^ldapadd: invalid format' "$LDAPN_ERR" || true)
  if [[ $status != 0 && $LDAPN_REFUSED -gt 0 ]] &&
     ! grep -qv '^ldapadd: invalid format' "$LDAPN_ERR"; then
    LDAPN_EXIT=$status
  fi
  rm -f "$LDAPN_ERR"
  HAVE_LDAPN=1
  LABELS+=(ldapn)
fi
if [[ -x $PY ]]; then
  HAVE_PY=1
  LABELS+=(py)
  PY_NAME="python3 (Debian $("$PY" -c 'import sys; print("%d.%d" % sys.version_info[:2])'))"
  if ensure_python_ldap && clean_book; then
    HAVE_PYLDAP=1
    LABELS+=(pyldap)
    CLEAN_MB=$(size_mb "$CLEAN")
    read -r CLEAN_KEPT CLEAN_DROPPED <"$CLEAN.records"
  fi
else
  PYLDAP_WHY="$PY (Debian's python3) is missing"
fi
SAMPLES=$(mktemp)
trap 'rm -f "$SAMPLES"' EXIT
for label in "${LABELS[@]}"; do once "$label" >/dev/null; done  # warm the page cache
for ((round = 0; round < RUNS; round++)); do
  sleep "$SETTLE"
  once fix >/dev/null
  for label in "${LABELS[@]}"; do echo "$label $(once "$label")" >>"$SAMPLES"; done
done
# Memory: the million-record book, with distinct DNs and with every DN ten times, once each.
for label in big big10; do echo "$label $(once "$label")" >>"$SAMPLES"; done

declare -A WALL CPU PEAK FAILED EXIT
while read -r label wall cpu peak failed exit; do
  WALL[$label]=$wall
  CPU[$label]=$cpu
  PEAK[$label]=$peak
  FAILED[$label]=$failed
  EXIT[$label]=$exit
done < <(awk '
  { n[$1]++; w[$1, n[$1]] = $2; c[$1, n[$1]] = $3; if ($4 > p[$1]) p[$1] = $4 }
  $1 != "window" && $5 != 0 { f[$1]++; e[$1] = $5 }
  function median(a, label, count,    i, j, t, v) {
    for (i = 1; i <= count; i++) v[i] = a[label, i]
    for (i = 1; i <= count; i++) for (j = i + 1; j <= count; j++) if (v[j] < v[i]) { t = v[i]; v[i] = v[j]; v[j] = t }
    return count % 2 ? v[(count + 1) / 2] : (v[count / 2] + v[count / 2 + 1]) / 2
  }
  END {
    for (label in n) if (label != "window")
      print label, median(w, label, n[label]), median(c, label, n[label]), p[label], f[label] + 0, e[label] + 0
  }
' "$SAMPLES")
# The window run with the median Fix time.
read -r W_LOAD W_APPEND W_FIX W_APPEND_RESULT W_SAVE < <(awk '$1 == "window" { print $2, $3, $4, $5, $6 }' "$SAMPLES" |
  sort -n -k3 | awk -v n="$RUNS" 'NR == int((n + 1) / 2)') || true
read -r PROG_QUIET PROG_SHOWN PROG_PCT PROG_QUIET_CPU PROG_SHOWN_CPU PROG_PCT_CPU \
  < <("$BIN/progress_cost" "$BOOK" $((RUNS * 2)))

# failure NAME...: says which of the programs NAME... failed in a timed run; nothing if none did.
failure() {
  local key
  for key; do
    if [[ ${FAILED[$key]:-0} != 0 ]]; then
      echo "$key exited with $((EXIT[$key])) in ${FAILED[$key]} of $RUNS runs"
      return
    fi
  done
}

# row LABEL NAME [FILE_MB]: one line of the table. Ratios are per MB, against wc -l and
# quorvane-fix on the book; a program that failed gets no figures.
row() {
  local key=$2 mb=${3:-$BOOK_MB} failed
  failed=$(failure "$key")
  if [[ -n $failed ]]; then
    printf "%-42s %8.1f  failed: %s\n" "$1" "$mb" "$failed"
    return
  fi
  awk -v label="$1" -v w="${WALL[$key]}" -v c="${CPU[$key]}" -v p="${PEAK[$key]}" -v mb="$mb" \
    -v bmb="$BOOK_MB" -v wcw="${WALL[wc]}" -v fw="${WALL[fix]}" 'BEGIN {
      printf "%-42s %8.1f %8.3f %8.3f " (mb / w < 100 ? "%8.1f" : "%8.0f") " %8.1f %8.1f %9.2f\n",
             label, mb, w, c, mb / w, p / 1024, (w / mb) / (wcw / bmb), (w / mb) / (fw / bmb) }'
}

# goal TEXT VALUE OP LIMIT [NAME...]: one line of the verdict, VALUE compared with LIMIT by OP
# (<= or >=); when one of the programs NAME... failed, VALUE means nothing and is not shown.
goal() {
  local failed
  failed=$(failure "${@:5}")
  if [[ -n $failed ]]; then
    printf "%-62s %8s  (%s %s)  FAILS: %s\n" "$1" "-" "$3" "$4" "$failed"
    return
  fi
  awk -v text="$1" -v v="$2" -v op="$3" -v limit="$4" 'BEGIN {
    ok = (op == "<=") ? v <= limit : v >= limit
    printf "%-62s %8.2f  (%s %s)  %s\n", text, v, op, limit, ok ? "holds" : "FAILS" }'
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.4f", a / b }'; }

echo
echo "Book: $BOOK_MB MB, $LINES lines, 100,000 records; median of $RUNS rounds, page cache warm"
printf "%-42s %8s %8s %8s %8s %8s %8s %9s\n" \
  "program" "file MB" "wall s" "cpu s" "MB/s" "peak MB" "x wc -l" "x fix"
row "cat FILE > /dev/null" cat
row "wc -l FILE" wc
row "quorvane-fix FILE > /dev/null" fix
row "quorvane-fix --output FILE (fsync)" fixout
row "quorvane-fix < FILE > /dev/null" fixstdin
row "quorvane-fix --no-schema FILE > /dev/null" noschema
row "quorvane-fix, names beyond ASCII" nonascii "$(size_mb "$NONASCII")"
row "quorvane-fix --no-schema, names beyond ASCII" nonasciins "$(size_mb "$NONASCII")"
[[ $HAVE_PY == 1 ]] && row "$PY_NAME quick_rewrite.py" py
[[ $HAVE_PYLDAP == 1 ]] && row "$PY_NAME python-ldap CLEAN" pyldap "$CLEAN_MB"
[[ $HAVE_LDAPN == 1 ]] && row "ldapadd -n -c -x -f FILE > /dev/null" ldapn
if [[ $HAVE_PYLDAP == 1 ]]; then
  echo "CLEAN: quorvane-fix's output of FILE less the $CLEAN_DROPPED records python-ldap refuses" \
    "($CLEAN_KEPT records);"
  echo "       python-ldap parses it and writes it back, repairing nothing"
fi
if [[ $HAVE_LDAPN == 1 ]]; then
  echo "ldapadd -n: parses FILE as it is and prints what it would add, no server; it refuses" \
    "$LDAPN_REFUSED records"
fi
echo
if [[ $HAVE_PY == 1 ]]; then
  goal "goal 1: quick Python rewrite / quorvane-fix" "$(ratio "${WALL[py]}" "${WALL[fix]}")" ">=" 5 \
    py fix
fi
if [[ $HAVE_PYLDAP == 1 ]]; then
  goal "goal 1: quorvane-fix MB/s / python-ldap round trip MB/s" \
    "$(awk -v p="${WALL[pyldap]}" -v pmb="$CLEAN_MB" -v f="${WALL[fix]}" -v fmb="$BOOK_MB" \
      'BEGIN { printf "%.4f", (fmb / f) / (pmb / p) }')" ">=" 30 pyldap fix
else
  echo "goal 1: python-ldap round trip: not measured: $PYLDAP_WHY"
fi
if [[ $HAVE_LDAPN == 1 ]]; then
  goal "stretch: ldapadd -n / quorvane-fix, wall time" "$(ratio "${WALL[ldapn]}" "${WALL[fix]}")" \
    ">=" 1 ldapn fix
  goal "         the same in processor time" "$(ratio "${CPU[ldapn]}" "${CPU[fix]}")" ">=" 1 ldapn fix
else
  echo "stretch: ldapadd -n: not measured: ldapadd (Debian's ldap-utils) is missing"
fi
goal "schema step: cpu / cpu with --no-schema" "$(ratio "${CPU[fix]}" "${CPU[noschema]}")" "<=" 1.15 \
  fix noschema
goal "        names beyond ASCII, the same" "$(ratio "${CPU[nonascii]}" "${CPU[nonasciins]}")" \
  "<=" 1.15 nonascii nonasciins
goal "        start-up and built-in schema, wall ms" \
  "$(awk -v w="${WALL[empty]}" 'BEGIN { print w * 1000 }')" "<=" 50 empty
# Linear in records: with each DN occurring a bounded number of times, a record costs the same
# whatever the book's size and duplicates; the book where every DN occurs ten times (nine
# records in ten made unique, with a second pass each) may cost at most 1.5 times as much per
# record as the book without duplicates.
awk -v a="${WALL[nodup]}" -v b="${WALL[dn10]}" 'BEGIN {
  printf "goal 1: linear: per record, no duplicates %.2f us, every DN 10 times %.2f us\n", a * 10, b * 10 }'
goal "        every DN 10 times / no duplicates, wall" "$(ratio "${WALL[dn10]}" "${WALL[nodup]}")" \
  "<=" 1.5 dn10 nodup
goal "        the same in processor time" "$(ratio "${CPU[dn10]}" "${CPU[nodup]}")" "<=" 1.5 dn10 nodup
BIG_MB=$(size_mb "$BIG")
awk -v p="${PEAK[big]}" -v p10="${PEAK[big10]}" -v mb="$BIG_MB" -v w="${WALL[big]}" 'BEGIN {
  printf "goal 2: 1,000,000 records, %.1f MB: %.2f s, peak %.1f MB; every DN 10 times: peak %.1f MB\n",
         mb, w, p / 1024, p10 / 1024 }'
goal "        peak memory / file size" \
  "$(awk -v p="${PEAK[big]}" -v mb="$BIG_MB" 'BEGIN { print p / 1024 / mb }')" "<=" 0.33 big big10
if [[ ${QUORVANE_BENCH_GUI:-0} == 1 ]]; then
  awk -v l="$W_LOAD" -v a="$W_APPEND" -v f="$W_FIX" -v ar="$W_APPEND_RESULT" -v s="$W_SAVE" \
      -v cf="${WALL[catfile]}" 'BEGIN {
    printf "goal 3: window, offscreen: load %.3f s (the one editor call %.3f s); Fix %.3f s until the\n", l, a, f
    printf "        result pane is filled (one editor call taking the whole result: %.3f s); save %.3f s\n", ar, s
    printf "        (cat FILE > FILE2 takes %.3f s)\n", cf }'
  goal "goal 3: window Fix / quorvane-fix" "$(ratio "$W_FIX" "${WALL[fix]}")" "<=" 3 fix
  goal "        load / (3 x cat + the one editor call)" \
    "$(awk -v l="$W_LOAD" -v a="$W_APPEND" -v c="${WALL[cat]}" 'BEGIN { print l / (3 * c + a) }')" "<=" 1
  # Saving writes the file (and syncs it, see WriteFileSafely), so it is set beside cat
  # writing the same number of bytes to a file, not to /dev/null.
  goal "        save / (3 x cat FILE > FILE2)" \
    "$(awk -v s="$W_SAVE" -v c="${WALL[catfile]}" 'BEGIN { print s / (3 * c) }')" "<=" 1
fi
awk -v q="$PROG_QUIET" -v s="$PROG_SHOWN" -v qc="$PROG_QUIET_CPU" -v sc="$PROG_SHOWN_CPU" 'BEGIN {
  printf "goal 4: engine alone, fastest runs: progress shown %.3f s, not shown %.3f s (cpu %.3f s, %.3f s)\n",
         s, q, sc, qc }'
goal "        cost of showing progress, percent of wall time" "$PROG_PCT" "<=" 5
goal "        the same in processor time" "$PROG_PCT_CPU" "<=" 5
