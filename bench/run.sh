#!/usr/bin/env bash
# Measures Vantrel's engine side by side with cp, rsync and the floor program on the same trees.
#
#   bench/run.sh [--files N] [--quick] [--dir PATH] [--runs R] [--only S1,S2,...] [--no-trash]
#
#   --files N   files in the small-file tree T1 (default 100000)
#   --quick     a smoke run: 2000 files, small large files; timing is printed but not judged
#   --dir PATH  where the trees go (default build-bench/trees); all tools work on this one
#               file system
#   --runs R    timed runs per tool of S1, the median counts (default 3, at least 3); the
#               scenarios whose runs are cheap get R + 2, the large-file copies R + 6
#   --no-trash  the engine deletes removed and replaced files instead of moving them to the
#               trash (which is its default; the trash is kept in DIR/xdg, never the real one)
#   --only L    run only the scenarios of the comma list L (S1..S6, S9; memory comes with S1)
#
# Prints one table and "bench: N targets met, M missed". Exits 1 when something failed to run
# or (without --quick) when a target was missed. Everything the tools print, and each run's
# seconds and peak RSS in KiB, go to build-bench/bench.log; the table also to
# build-bench/bench-table.txt.
#
# How the trees are prepared (the same way for every tool of a scenario):
#  - T1 (small files), T1/10 (for the memory measure) and T2 (large files) are generated once
#    and kept between invocations, each with a fingerprint that is checked before reuse.
#  - S1 and S6 copy into new folders. S2 rescans T1 against one full clone of it and S5 that
#    clone against a second one; all tools use the same clones, which a rescan leaves alone
#    (checked by fingerprint).
#  - S3 and S4 need a fresh destination for every run. Real 100k-file copies would have to be
#    deleted again, and deleting costs ~1 ms per file on this disk, so their destinations are
#    hard-linked clones of T1: new folders whose files share T1's inodes. Every tool replaces
#    a changed file by a new one (never in place; T1's fingerprint is checked afterwards), and
#    the sources are the real clones, so source and destination never share an inode.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD

files=""
quick=0
dir=""
runs=3
only="S1,S2,S3,S4,S5,S6,S9"
usage="usage: bench/run.sh [--files N] [--quick] [--dir PATH] [--runs R] [--only S1,S2,...] [--no-trash]"
trash_flag=()
while [ $# -gt 0 ]; do
  case "$1" in
    --files) files="$2"; shift 2 ;;
    --quick) quick=1; shift ;;
    --dir) dir="$2"; shift 2 ;;
    --runs) runs="$2"; shift 2 ;;
    --only) only="$2"; shift 2 ;;
    --no-trash) trash_flag=(--no-trash); shift ;;
    *) echo "$usage" >&2; exit 2 ;;
  esac
done
if [ -z "$files" ]; then
  if [ "$quick" = 1 ]; then files=2000; else files=100000; fi
fi
[[ "$runs" =~ ^[0-9]+$ ]] && [ "$runs" -ge 3 ] || { echo "bench: --runs needs 3 or more" >&2; exit 2; }
[[ "$files" =~ ^[0-9]+$ ]] && [ "$files" -ge 100 ] || { echo "bench: --files needs 100 or more" >&2; exit 2; }
for s in ${only//,/ }; do
  case "$s" in S1 | S2 | S3 | S4 | S5 | S6 | S9) ;; *) echo "$usage" >&2; exit 2 ;; esac
done
selected() { [[ ",$only," == *",$1,"* ]]; }
more_runs=$((runs + 2))
small=$((files / 10))  # the memory measure compares the engine at files/10 and at files
large_count=4
if [ "$quick" = 1 ]; then large_bytes=$((16 << 20)); else large_bytes=$((256 << 20)); fi
seed=20240601

build="$repo/build-bench"
dir="${dir:-$build/trees}"
log="$build/bench.log"
table="$build/bench-table.txt"
say() { echo "bench: [${SECONDS}s] $*" >&2; }

# --- tools ------------------------------------------------------------------------------------
if ! command -v rsync >/dev/null 2>&1; then
  say "installing rsync"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends rsync \
    >/dev/null
fi

say "building in Release into $build"
mkdir -p "$build"
if ! { cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVANTREL_WERROR=ON \
         -DVANTREL_UI=OFF -DVANTREL_BENCH=ON -DVANTREL_TESTS=ON &&
       cmake --build "$build" -j 2 --target vantrel_bench vantrel_floor vantrel_bench_tests
     } >"$build/build.log" 2>&1; then
  cat "$build/build.log" >&2
  say "the build failed"
  exit 1
fi
B="$build/bench/vantrel_bench"
FLOOR="$build/bench/vantrel_floor"
mkdir -p "$dir"
# The engine's trash (its default) on the trees' file system, away from the real one; emptied
# with the trees.
export XDG_DATA_HOME="$dir/xdg"
: >"$log"
failures=0

# --- deleting without slowing what follows ----------------------------------------------------
# On a file system without a journal (this one), ext4 will not reuse an inode for a minute
# after its deletion, for six minutes while its inode table block is dirty (and creating files
# dirties it), and each file created meanwhile scans past the recently deleted ones: after a
# 100k-file tree was deleted, creating files is up to twenty times slower, off and on, for
# those six minutes. So the big trees are deleted only when no more small files are to be
# created, and a run that follows a deletion within six minutes first waits for the rest.
# --quick, whose timing is not judged, keeps its small trees to the end and never waits.
stamp="$dir/.last-deletion"
remove_trees() {
  # Several at once: most of the time goes to the disk discarding freed blocks.
  printf '%s\0' "$@" | xargs -0 -n 1 -P 4 rm -rf || true
  local path
  for path in "$@"; do
    if [ -e "$path" ]; then say "could not delete $path"; fi
  done
  sync
  date +%s >"$stamp"
}
settle() {
  local last left
  [ "$quick" = 1 ] && return 0
  last=$(cat "$stamp" 2>/dev/null || echo 0)
  left=$((last + 370 - $(date +%s)))
  if [ "$left" -gt 0 ]; then
    say "letting the file system settle for ${left}s after a deletion"
    sleep "$left"
  fi
}
pending=()
done_with() { pending+=("$@"); }
flush() {  # deletes what is done with
  if [ ${#pending[@]} -gt 0 ]; then
    say "deleting ${#pending[@]} trees"
    remove_trees "${pending[@]}"
    pending=()
  fi
}

# --- trees ------------------------------------------------------------------------------------
work="$dir/work"
if [ -e "$work" ]; then remove_trees "$work"; fi
generator="v1"
# The masters: NAME and the generating command of each.
masters=(
  "t1-$files" "gen-small --files $files --seed $seed"
  "t1-$small" "gen-small --files $small --seed $seed"
  "t2-${large_count}x$large_bytes" "gen-large --count $large_count --bytes $large_bytes --seed $seed"
)
sound() {  # sound NAME COMMAND : the master is there, made by COMMAND, and unchanged since
  [ -d "$dir/$1" ] && [ "$(sed -n 1p "$dir/$1.made" 2>/dev/null)" = "$generator $2" ] &&
    [ "$("$B" fingerprint "$dir/$1")" = "$(sed -n 2p "$dir/$1.made")" ]
}
stale=()
for ((i = 0; i < ${#masters[@]}; i += 2)); do
  if ! sound "${masters[i]}" "${masters[i + 1]}"; then stale+=("$i"); fi
done
if [ ${#stale[@]} -gt 0 ]; then
  gone=()
  for i in "${stale[@]}"; do
    rm -f "$dir/${masters[i]}.made"
    if [ -e "$dir/${masters[i]}" ]; then gone+=("$dir/${masters[i]}"); fi
  done
  if [ ${#gone[@]} -gt 0 ]; then remove_trees "${gone[@]}"; fi
  settle
  for i in "${stale[@]}"; do
    say "generating $dir/${masters[i]}"
    read -ra command <<<"${masters[i + 1]}"
    "$B" "${command[0]}" "$dir/${masters[i]}" "${command[@]:1}" >>"$log"
    { echo "$generator ${masters[i + 1]}"; "$B" fingerprint "$dir/${masters[i]}"; } \
      >"$dir/${masters[i]}.made"
  done
fi
T1="$dir/t1-$files"
T1S="$dir/t1-$small"
T2="$dir/t2-${large_count}x$large_bytes"
T1_PRINT=$(sed -n 2p "$dir/t1-$files.made")
mkdir -p "$work"
sync

# same_print WHAT TREE : the tree must still hold exactly T1
same_print() {
  if [ "$("$B" fingerprint "$2")" != "$T1_PRINT" ]; then
    say "FAILED: $1 changed $2"
    failures=$((failures + 1))
    if [ "$2" = "$T1" ]; then rm -f "$dir/t1-$files.made"; fi  # generate it anew next time
  fi
}

# --- timing -----------------------------------------------------------------------------------
declare -A TIMES RSS
# timed KEY SYNC COMMAND... : one timed run; SYNC=1 includes a trailing sync(2) in the time
timed() {
  local key="$1" sync_flag=()
  [ "$2" = 1 ] && sync_flag=(--sync)
  shift 2
  echo "== $key: $*" >>"$log"
  local out
  if out=$("$B" time "${sync_flag[@]}" --log "$log" -- "$@"); then
    TIMES[$key]+="${out%% *} "
    RSS[$key]+="${out##* } "
    echo "-- $key: $out" >>"$log"
  else
    say "FAILED $key: $* (see $log)"
    TIMES[$key]+="fail "
    failures=$((failures + 1))
  fi
}
check() {  # check COMMAND... : an untimed check whose failure counts
  if ! "$@" >>"$log" 2>&1; then
    say "check failed: $* (see $log)"
    failures=$((failures + 1))
  fi
}
# copied SCENARIO TOOL SOURCE DESTINATION EXPECTED : one timed one-way copy by TOOL, with a
# trailing sync; EXPECTED is the number of files the engine and the floor must copy
copied() {
  local key="$1.$2" src=$3 dst=$4 expected=$5
  case $2 in
    vantrel) timed "$key" 1 "$B" engine "${trash_flag[@]}" "$src" "$dst" --expect-log "$expected" ;;
    cp) timed "$key" 1 cp -a "$src" "$dst" ;;
    rsync-a) timed "$key" 1 rsync -a "$src/" "$dst/" ;;
    rsync-u) timed "$key" 1 rsync -rpt -u --modify-window=1 "$src/" "$dst/" ;;
    floor) timed "$key" 1 "$FLOOR" uni "$src" "$dst" --expect "$expected" ;;
  esac
}
# verified SOURCE BASE RUNS : the engine's and the floor's destinations BASE/TOOL-1..RUNS hold
# exactly SOURCE
verified() {
  local r
  for ((r = 1; r <= $3; r++)); do
    check "$B" verify "$1" "$2/vantrel-$r" --exact
    check "$B" verify "$1" "$2/floor-$r" --exact
  done
}
# warm SOURCE [OTHER...] : the source's data and every entry of the trees into the page cache,
# the same way before every timed run of every tool
warm() {
  "$B" warm --read "$1" >>"$log"
  if [ $# -gt 1 ]; then "$B" warm "${@:2}" >>"$log"; fi
  sync
}
rotated() {  # rotated ROUND TOOLS... : the tools in another order in each round
  # Rotated, and backwards in every other round, so that no tool always runs right after the
  # same other one (whose writes the disk may still be busy with).
  local r=$1 i n
  shift
  local list=("$@")
  n=${#list[@]}
  for ((i = 0; i < n; i++)); do
    if ((r % 2)); then echo "${list[(i + r) % n]}"; else echo "${list[(n - 1 - i + r) % n]}"; fi
  done
}

# --- scenarios --------------------------------------------------------------------------------
s1() {  # initial copy of T1; the memory measure runs the engine on the smaller tree alongside
  local base="$work/s1" r t dst
  settle
  mkdir -p "$base"
  for ((r = 1; r <= runs; r++)); do
    say "S1 initial copy, round $r/$runs"
    for t in $(rotated "$r" vantrel cp rsync-a rsync-u floor vantrel-small); do
      dst="$base/$t-$r"
      if [ "$t" = vantrel-small ]; then
        warm "$T1S"
        timed S1.vantrel-small 1 "$B" engine "${trash_flag[@]}" "$T1S" "$dst" --expect-log "$small"
      else
        warm "$T1"
        copied S1 "$t" "$T1" "$dst" "$files"
      fi
    done
  done
  verified "$T1" "$base" "$runs"
  for ((r = 1; r <= runs; r++)); do check "$B" verify "$T1S" "$base/vantrel-small-$r" --exact; done
  done_with "$base"
}

clones() {  # two full clones of T1 for the rescans, later the sources of S3 and S4
  settle
  say "cloning T1 twice"
  "$B" clone-tree "$T1" "$work/clone-1" >>"$log"
  "$B" clone-tree "$T1" "$work/clone-2" >>"$log"
  sync
}

s2() {  # rescan with nothing to do
  local r t
  for ((r = 1; r <= more_runs; r++)); do
    say "S2 rescan, round $r/$more_runs"
    for t in $(rotated "$r" vantrel rsync-a rsync-u floor); do
      warm "$T1" "$work/clone-1"
      case $t in
        vantrel) timed S2.vantrel 0 "$B" engine "${trash_flag[@]}" "$T1" "$work/clone-1" --expect-log 0 ;;
        rsync-a) timed S2.rsync-a 0 rsync -a "$T1/" "$work/clone-1/" ;;
        rsync-u) timed S2.rsync-u 0 rsync -rpt -u --modify-window=1 "$T1/" "$work/clone-1/" ;;
        floor) timed S2.floor 0 "$FLOOR" uni "$T1" "$work/clone-1" --expect 0 ;;
      esac
    done
  done
  same_print "the S2 rescans" "$work/clone-1"
}

s5() {  # bidirectional rescan with nothing to do
  local r t a="$work/clone-1" b="$work/clone-2"
  for ((r = 1; r <= more_runs; r++)); do
    say "S5 bidirectional rescan, round $r/$more_runs"
    for t in $(rotated "$r" vantrel floor); do
      warm "$a" "$b"
      case $t in
        vantrel) timed S5.vantrel 0 "$B" engine "${trash_flag[@]}" "$a" "$b" --bidirectional --expect-log 0 ;;
        floor) timed S5.floor 0 "$FLOOR" bi "$a" "$b" --expect 0 ;;
      esac
    done
  done
  same_print "the S5 rescans" "$a"
  same_print "the S5 rescans" "$b"
}

s3() {  # one file in a hundred newer in the source
  local base="$work/s3" source="$work/clone-2" r t dst changed
  settle
  mkdir -p "$base"
  changed=$("$B" make-newer "$source" --seed "$seed")
  say "S3: linking $((more_runs * 4)) destinations"
  for ((r = 1; r <= more_runs; r++)); do
    for t in vantrel rsync-a rsync-u floor; do "$B" clone-tree --links "$T1" "$base/$t-$r" >>"$log"; done
  done
  sync
  for ((r = 1; r <= more_runs; r++)); do
    say "S3 1% newer, round $r/$more_runs"
    for t in $(rotated "$r" vantrel rsync-a rsync-u floor); do
      dst="$base/$t-$r"
      warm "$source" "$dst"
      copied S3 "$t" "$source" "$dst" "$changed"
    done
  done
  verified "$source" "$base" "$more_runs"
  same_print "a tool in S3" "$T1"
  done_with "$base" "$source"
}

s4() {  # exact copy: extra files and folders in the destination, every removal confirmed
  local base="$work/s4" source="$work/clone-1" r t dst extras="" removals
  settle
  mkdir -p "$base"
  say "S4: linking $((more_runs * 4)) destinations"
  for ((r = 1; r <= more_runs; r++)); do
    for t in vantrel rsync-a rsync-u floor; do
      "$B" clone-tree --links "$T1" "$base/$t-$r" >>"$log"
      extras=$("$B" add-extras "$base/$t-$r" --seed "$seed")  # the same extras every time
    done
  done
  # One log line (and one floor action) per extra file and per extra folder removed whole.
  removals=$((${extras% *} + ${extras#* }))
  sync
  for ((r = 1; r <= more_runs; r++)); do
    say "S4 exact copy, round $r/$more_runs"
    for t in $(rotated "$r" vantrel rsync-a rsync-u floor); do
      dst="$base/$t-$r"
      warm "$source" "$dst"
      case $t in
        vantrel) timed S4.vantrel 1 "$B" engine "${trash_flag[@]}" "$source" "$dst" --exact --expect-log "$removals" ;;
        rsync-a) timed S4.rsync-a 1 rsync -a --delete "$source/" "$dst/" ;;
        rsync-u) timed S4.rsync-u 1 rsync -rpt -u --modify-window=1 --delete "$source/" "$dst/" ;;
        floor) timed S4.floor 1 "$FLOOR" exact "$source" "$dst" --expect "$removals" ;;
      esac
    done
  done
  verified "$source" "$base" "$more_runs"
  same_print "a tool in S4" "$T1"
  done_with "$base" "$source"
}

s6() {  # initial copy of the large files
  local base="$work/s6" r t dst s6_runs=$((runs + 6)) order
  mkdir -p "$base"
  # The disk is still writing back what the scenarios before wrote; and a gigabyte copy on
  # this virtual disk swings by tens of percent from run to run, and now and then takes three
  # times as long: hence more rounds, and the engine and cp -a, whose ratio is judged, run
  # back to back, in turns first.
  if [ "$quick" = 0 ]; then
    say "S6: resting 60s first"
    sync
    sleep 60
  else
    s6_runs=$more_runs
  fi
  for ((r = 1; r <= s6_runs; r++)); do
    say "S6 large files, round $r/$s6_runs"
    if ((r % 2)); then order="vantrel cp floor rsync-a rsync-u"; else order="cp vantrel rsync-u rsync-a floor"; fi
    for t in $order; do
      dst="$base/$t-$r"
      warm "$T2"
      # The virtual disk goes on writing for a while after sync returns; let it finish, so that
      # each tool starts from a quiet disk.
      if [ "$quick" = 0 ]; then sleep 5; fi
      copied S6 "$t" "$T2" "$dst" "$large_count"
    done
  done
  verified "$T2" "$base" "$s6_runs"
  done_with "$base"
}

allocated_kib() {  # allocated_kib FILE : the room FILE takes on the disk, "fail" when missing
  stat -c %b "$1" 2>/dev/null | awk '{ print $1 / 2 }' | grep . || echo fail
}
S9_SOURCE_KIB=fail S9_COPY_KIB=fail
s9() {  # initial copy of one sparse file: 2 GiB long, 8 KiB of data
  local base="$work/s9" source="$work/s9-source" r t s9_runs=$((runs * 2 + 5))
  mkdir -p "$base" "$source"
  truncate -s 2G "$source/sparse"
  head -c 4096 /dev/urandom | dd of="$source/sparse" bs=4096 seek=1000 conv=notrunc status=none
  head -c 4096 /dev/urandom | dd of="$source/sparse" bs=4096 seek=524287 conv=notrunc status=none
  sync
  # A few milliseconds a copy, most of them starting the program: many cheap rounds.
  for ((r = 1; r <= s9_runs; r++)); do
    say "S9 sparse file, round $r/$s9_runs"
    for t in $(rotated "$r" vantrel cp); do copied S9 "$t" "$source" "$base/$t-$r" 1; done
  done
  check cmp "$source/sparse" "$base/vantrel-1/sparse"
  S9_SOURCE_KIB=$(allocated_kib "$source/sparse")
  S9_COPY_KIB=$(allocated_kib "$base/vantrel-1/sparse")
  S9_CP_KIB=$(allocated_kib "$base/cp-1/sparse")
  echo "S9 allocated KiB: source $S9_SOURCE_KIB, engine $S9_COPY_KIB, cp -a $S9_CP_KIB" >>"$log"
  done_with "$base" "$source"
}

if selected S1; then s1; fi
if selected S2 || selected S3 || selected S4 || selected S5; then clones; fi
if selected S2; then s2; fi
if selected S5; then s5; fi
if selected S3; then s3; fi
if selected S4; then s4; fi
# S6 creates four files a run, which recently deleted inodes hardly slow down; its copies
# need room, but deleting first costs far more time than the copies when there is room enough.
need=$((large_count * large_bytes * (runs + 6) * 6))
if [ "$quick" = 0 ] && [ "$(df --output=avail -B1 "$dir" | tail -1)" -lt "$need" ]; then flush; fi
if selected S6; then s6; fi
if selected S9; then s9; fi
done_with "$work"

# --- the table --------------------------------------------------------------------------------
median() {  # median VALUES... ; "fail" when a run failed or there is none
  if [ $# -eq 0 ] || printf '%s\n' "$@" | grep -q fail; then
    echo fail
    return
  fi
  printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 }
    END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
med() { median ${TIMES[$1]:-fail}; }
met=0
missed=0
row() {  # row LABEL VANTREL PEER TARGET ; TARGET "-" shows the ratio without judging it
  local line
  line=$(awk -v l="$1" -v a="$2" -v b="$3" -v t="$4" 'BEGIN {
    if (a == "fail" || b == "fail" || b <= 0) {
      printf "%-46s %10s %10s %7s %7s  %s\n", l, a, b, "-", t, "FAILED"; exit }
    r = a / b
    if (t == "-") res = "info"; else res = (r <= t + 1e-9) ? "met" : "missed"
    printf "%-46s %10.3f %10.3f %7.2f %7s  %s\n", l, a, b, r, (t == "-" ? "-" : "<=" t), res }')
  echo "$line" | tee -a "$table"
  case "$line" in
    *" met") met=$((met + 1)) ;;
    *" missed") missed=$((missed + 1)) ;;
    *" FAILED") failures=$((failures + 1)) ;;
  esac
}
rsync_row() {  # rsync_row SCENARIO LABEL TARGET [SUFFIX] : the faster of the two rsync forms
  local a u best name
  a=$(med "$1.rsync-a")
  u=$(med "$1.rsync-u")
  if [ "$a" = fail ] || [ "$u" = fail ]; then
    best=fail name="rsync"
  elif awk -v a="$a" -v u="$u" 'BEGIN { exit !(a <= u) }'; then
    best=$a name="rsync -a"
  else
    best=$u name="rsync -rpt -u"
  fi
  row "$2 vs $name${4:-}" "$(med "$1.vantrel")" "$best" "$3"
}
mib() { awk -v k="$1" 'BEGIN { if (k == "fail") print "fail"; else printf "%.1f", k / 1024 }'; }

printf '%-46s %10s %10s %7s %7s  %s\n' "scenario (T1: $files files)" "Vantrel s" "peer s" \
  "ratio" "target" "result" | tee "$table"
if selected S1; then
  row "S1 initial copy of T1 vs cp -a" "$(med S1.vantrel)" "$(med S1.cp)" 1.10
  rsync_row S1 "S1 initial copy of T1" 0.80
  row "S1 initial copy of T1 vs floor" "$(med S1.vantrel)" "$(med S1.floor)" -
fi
if selected S2; then
  row "S2 rescan, nothing to do vs floor" "$(med S2.vantrel)" "$(med S2.floor)" 1.25
  rsync_row S2 "S2 rescan, nothing to do" 0.80
fi
if selected S3; then
  rsync_row S3 "S3 1% newer" 0.80
  row "S3 1% newer vs floor" "$(med S3.vantrel)" "$(med S3.floor)" -
fi
if selected S4; then
  rsync_row S4 "S4 exact copy" 0.80 " --delete"
  row "S4 exact copy vs floor" "$(med S4.vantrel)" "$(med S4.floor)" -
fi
if selected S5; then
  row "S5 bidirectional rescan vs floor" "$(med S5.vantrel)" "$(med S5.floor)" 1.25
fi
if selected S6; then
  row "S6 initial copy of T2 vs cp -a" "$(med S6.vantrel)" "$(med S6.cp)" 1.05
  rsync_row S6 "S6 initial copy of T2" -
  row "S6 initial copy of T2 vs floor" "$(med S6.vantrel)" "$(med S6.floor)" -
fi
if selected S9; then
  row "S9 sparse 2 GiB (8 KiB data) vs cp -a" "$(med S9.vantrel)" "$(med S9.cp)" 2.00
  # The copy may take at most a mebibyte more room on the disk than the source.
  row "S9 allocated KiB vs source + 1024 KiB" "$S9_COPY_KIB" \
    "$(awk -v s="$S9_SOURCE_KIB" 'BEGIN { print s == "fail" ? s : s + 1024 }')" 1.00
fi
if selected S1; then
  row "memory: peak RSS (MiB), $files vs $small files" \
    "$(mib "$(median ${RSS[S1.vantrel]:-fail})")" \
    "$(mib "$(median ${RSS[S1.vantrel-small]:-fail})")" 1.20
fi
echo "bench: $met targets met, $missed missed" | tee -a "$table"

# The harness checks itself last: its tests delete trees, which would slow what follows.
say "checking the harness itself"
check env TMPDIR="$dir" "$build/bench/vantrel_bench_tests"
flush

if [ "$failures" -gt 0 ]; then
  say "$failures step(s) failed (see $log)"
  exit 1
fi
if [ "$quick" = 0 ] && [ "$missed" -gt 0 ]; then exit 1; fi
exit 0
