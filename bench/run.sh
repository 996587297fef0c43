#!/usr/bin/env bash
# Measures Vantrel's engine side by side with cp, rsync and the floor program on the same trees.
#
#   bench/run.sh [--files N] [--quick] [--dir PATH] [--runs R] [--only S1,S2,...] [--no-trash]
#                [--burn]
#
#   --files N   files in the small-file tree T1 (default 100000)
#   --quick     a smoke run: 2000 files, small large files; timing is printed but not judged
#   --dir PATH  where the trees go (default build-bench/trees); all tools work on this one
#               file system
#   --runs R    timed runs per tool of S1, the median counts (default 3, at least 3); the
#               scenarios whose runs are cheap get R + 2, the large-file copies R + 6
#   --no-trash  the engine deletes removed and replaced files instead of moving them to the
#               trash (which is its default; the trash is kept in DIR/xdg, never the real one)
#   --only L    run only the scenarios of the comma list L (S1..S9, W1, W2; memory comes with
#               S1)
#   --burn      one core kept busy by another program (vantrel_bench burn, a busy loop) from
#               the first timed run to the end, as on a user's busy desktop; the rows say
#               "(busy)" and only the engine's comparisons with itself (look-ahead off, the
#               window) are judged, the rest is shown for information
#
# The scenarios: S1 initial copy of T1; S2 rescan of T1 with nothing to do; S3 one file in a
# hundred newer; S4 exact copy with extras to remove; S5 bidirectional rescan; S6 initial copy
# of the large files; S7 S2 with cold caches (root only: the caches are dropped before each
# run); S8 rescan of 20,000 files (at most --files) with Folder 2 on an exFAT image through
# the FUSE driver, warm and cold (root only: a loop image, remounted for each cold run);
# S9 one sparse file; W1 and W2 S1 and S2 through the real window, offscreen, against the
# headless engine, each timed by the program itself from "Go!" (the start of the run) until
# the Results page is drawn (the run's end), with the trailing sync in W1. S1 to S5, S7 and S8
# also time the engine with its look-ahead off ("--one-thread").
#
# Prints one table and "bench: N targets met, M missed". Exits 1 when something failed to run
# or (without --quick) when a target was missed. Everything the tools print, and each run's
# seconds and peak RSS in KiB, go to build-bench/bench.log; the table also to
# build-bench/bench-table.txt.
#
# How the trees are prepared (the same way for every tool of a scenario):
#  - T1 (small files), T1/10 (for the memory measure) and T2 (large files) are generated once
#    and kept between invocations, each with a fingerprint that is checked before reuse.
#  - Each S1 and W1 copy goes into an ext4 of its own, made for it (not timed) on a loop device
#    over an image beside the trees, like their file system (a journal or none, discard), and
#    deleted whole once the copy is verified: on the trees' file system the inodes that earlier
#    copies deleted slow the next ones several times over. Without root, losetup or mkfs.ext4,
#    or when the trees are not on ext4, they copy into new folders there, and a line says so.
#  - S6 copies into new folders. S2 rescans T1 against one full clone of it and S5 that
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
only="S1,S2,S3,S4,S5,S6,S7,S8,S9,W1,W2"
usage="usage: bench/run.sh [--files N] [--quick] [--dir PATH] [--runs R] [--only S1,S2,...] [--no-trash] [--burn]"
trash_flag=()
burn=0
while [ $# -gt 0 ]; do
  case "$1" in
    --files) files="$2"; shift 2 ;;
    --quick) quick=1; shift ;;
    --dir) dir="$2"; shift 2 ;;
    --runs) runs="$2"; shift 2 ;;
    --only) only="$2"; shift 2 ;;
    --no-trash) trash_flag=(--no-trash); shift ;;
    --burn) burn=1; shift ;;
    *) echo "$usage" >&2; exit 2 ;;
  esac
done
if [ -z "$files" ]; then
  if [ "$quick" = 1 ]; then files=2000; else files=100000; fi
fi
[[ "$runs" =~ ^[0-9]+$ ]] && [ "$runs" -ge 3 ] || { echo "bench: --runs needs 3 or more" >&2; exit 2; }
[[ "$files" =~ ^[0-9]+$ ]] && [ "$files" -ge 100 ] || { echo "bench: --files needs 100 or more" >&2; exit 2; }
for s in ${only//,/ }; do
  case "$s" in S1 | S2 | S3 | S4 | S5 | S6 | S7 | S8 | S9 | W1 | W2) ;; *) echo "$usage" >&2; exit 2 ;; esac
done
selected() { [[ ",$only," == *",$1,"* ]]; }
more_runs=$((runs + 2))
small=$((files / 10))  # the memory measure compares the engine at files/10 and at files
s8_files=$((files < 20000 ? files : 20000))
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
# The window (and Qt) only for the scenarios that run it.
ui=OFF
targets=(vantrel_bench vantrel_floor vantrel_bench_tests)
if selected W1 || selected W2; then
  ui=ON
  targets+=(vantrel_window_bench vantrel_window_bench_tests)
fi
launcher=()
if command -v ccache >/dev/null 2>&1; then
  export CCACHE_BASEDIR="$repo"
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
if ! { cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVANTREL_WERROR=ON \
         "${launcher[@]}" -DVANTREL_UI="$ui" -DVANTREL_BENCH=ON -DVANTREL_TESTS=ON &&
       cmake --build "$build" -j 2 --target "${targets[@]}"
     } >"$build/build.log" 2>&1; then
  cat "$build/build.log" >&2
  say "the build failed"
  exit 1
fi
B="$build/bench/vantrel_bench"
FLOOR="$build/bench/vantrel_floor"
WINDOW="$build/bench/vantrel_window_bench"
export QT_QPA_PLATFORM=offscreen
mkdir -p "$dir"
mkdir -p -m 0700 "$dir/runtime"
export XDG_RUNTIME_DIR="$dir/runtime"  # the window's, which Qt wants
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
# S8's source, when it is neither of the other two small-file trees.
if selected S8 && [ "$s8_files" != "$files" ] && [ "$s8_files" != "$small" ]; then
  masters+=("t1-$s8_files" "gen-small --files $s8_files --seed $seed")
fi
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
T8="$dir/t1-$s8_files"
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
# inner KEY COMMAND... : one run of the engine or the window, timed by the program itself (its
# "vantrel: SECONDS s" line): the window's start and its walk through the pages are not part
# of a run, so neither is the headless engine's start
inner() {
  local key="$1" out seconds status=0
  shift
  echo "== $key: $*" >>"$log"
  out=$("$@" 2>>"$log") || status=$?
  echo "$out" >>"$log"
  seconds=$(sed -n 's/^vantrel: \([0-9.]*\) s.*/\1/p' <<<"$out")
  if [ "$status" = 0 ] && [ -n "$seconds" ]; then
    TIMES[$key]+="$seconds "
    return
  fi
  say "FAILED $key: $* (see $log)"
  TIMES[$key]+="fail "
  failures=$((failures + 1))
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
    vantrel-1t) timed "$key" 1 "$B" engine "${trash_flag[@]}" --one-thread "$src" "$dst" --expect-log "$expected" ;;
    cp) timed "$key" 1 cp -a "$src" "$dst" ;;
    rsync-a) timed "$key" 1 rsync -a "$src/" "$dst/" ;;
    rsync-u) timed "$key" 1 rsync -rpt -u --modify-window=1 "$src/" "$dst/" ;;
    floor) timed "$key" 1 "$FLOOR" uni "$src" "$dst" --expect "$expected" ;;
  esac
}
# verified SOURCE BASE RUNS [TOOLS...] : the destinations BASE/TOOL-1..RUNS of the engine, the
# engine with one thread and the floor (or of TOOLS) hold exactly SOURCE
verified() {
  local r t tools=("${@:4}")
  [ ${#tools[@]} -gt 0 ] || tools=(vantrel vantrel-1t floor)
  for ((r = 1; r <= $3; r++)); do
    for t in "${tools[@]}"; do check "$B" verify "$1" "$2/$t-$r" --exact; done
  done
}
# warm SOURCE [OTHER...] : the source's data and every entry of the trees into the page cache,
# the same way before every timed run of every tool
warm() {
  "$B" warm --read "$1" >>"$log"
  if [ $# -gt 1 ]; then "$B" warm "${@:2}" >>"$log"; fi
  sync
}
# cold : nothing of any tree in the page cache or the file systems' caches (root only)
cold() {
  sync
  echo 3 >/proc/sys/vm/drop_caches
}
can_drop_caches() { [ "$(id -u)" -eq 0 ] && [ -w /proc/sys/vm/drop_caches ]; }
skipped=()  # lines for the table: the scenarios that could not run here, and why
rotated() {  # rotated ROUND TOOLS... : the tools in another order in each round
  # Rotated, and backwards in every other round, so that no tool always runs right after the
  # same other one (whose writes the disk may still be busy with).
  local r=$1 i n
  shift
  local list=("$@")
  n=${#list[@]}
  for ((i = 0; i < n; i++)); do
    # Two tools: reversed and rotated would give the same order in every round.
    if ((r % 2 || n == 2)); then echo "${list[(i + r) % n]}"; else echo "${list[(n - 1 - i + r) % n]}"; fi
  done
}

# --- a file system of its own for each initial copy --------------------------------------------
# Creating 100,000 files on the trees' file system is slowed, several times over and differently
# for each copy, by the inodes the copies before deleted (see "deleting without slowing what
# follows"); that decided S1's ratios, not the tools. So each timed S1 and W1 copy goes into an
# ext4 made for it alone on a loop device over an image in the trees' folder (the same disk),
# made like the trees' file system where it counts (a journal or none, discard), and gone once
# the copy is verified. Without root or the tools, the copies share the disk as before, and the
# table says so.
FRESH_IMAGE="$dir/fresh.img"  # beside the masters, never in the work folder that is deleted whole
FRESH_MNT="$dir/fresh.mnt"
FRESH_DEVICE=""
fresh_reason=""  # why the copies share the disk; empty when each gets a file system of its own
fresh_mkfs=()
fresh_options=""
fresh_kib=0
fresh_drop() {  # the fresh file system unmounted, its loop device let go and its image deleted
  if mountpoint -q "$FRESH_MNT" 2>/dev/null; then
    umount "$FRESH_MNT" 2>>"$log" || umount -l "$FRESH_MNT"
  fi
  if [ -n "$FRESH_DEVICE" ]; then
    losetup -d "$FRESH_DEVICE" 2>>"$log" || true
    FRESH_DEVICE=""
  fi
  rm -f "$FRESH_IMAGE"
}
fresh_make() {  # an empty ext4 mounted on FRESH_MNT, not timed
  fresh_drop
  truncate -s "${fresh_kib}K" "$FRESH_IMAGE" || return 1
  # Direct I/O: the copy's blocks reach the disk the way they would without the loop device,
  # not through a second page cache.
  FRESH_DEVICE=$(losetup -f --show --direct-io=on "$FRESH_IMAGE" 2>>"$log") ||
    FRESH_DEVICE=$(losetup -f --show "$FRESH_IMAGE" 2>>"$log") || { FRESH_DEVICE=""; return 1; }
  mkdir -p "$FRESH_MNT"
  mkfs.ext4 -q -F "${fresh_mkfs[@]}" "$FRESH_DEVICE" >>"$log" 2>&1 &&
    mount -t ext4 -o "$fresh_options" "$FRESH_DEVICE" "$FRESH_MNT" 2>>"$log" &&
    sync
}
fresh_plan() {  # decides whether the copies get file systems of their own, and how they are made
  local tool fstype majmin source name header journal=0 opt inodes used
  if [ "$(id -u)" -ne 0 ]; then
    fresh_reason="loop devices need root"
    return
  fi
  for tool in losetup mkfs.ext4 mount umount mountpoint findmnt truncate; do
    if ! command -v "$tool" >/dev/null 2>&1; then
      fresh_reason="$tool is missing"
      return
    fi
  done
  # What an invocation that was killed left attached.
  if mountpoint -q "$FRESH_MNT" 2>/dev/null; then umount "$FRESH_MNT" || umount -l "$FRESH_MNT"; fi
  losetup -j "$FRESH_IMAGE" 2>/dev/null | cut -d: -f1 | while read -r device; do
    losetup -d "$device" || true
  done
  rm -f "$FRESH_IMAGE"
  fstype=$(findmnt -no FSTYPE -T "$dir")
  if [ "$fstype" != ext4 ]; then
    fresh_reason="the trees are on $fstype, not ext4"
    return
  fi
  source=$(findmnt -no SOURCE -T "$dir")
  majmin=$(findmnt -no MAJ:MIN -T "$dir")
  # The device itself may not be readable (a container); the kernel then still tells whether
  # the mounted file system has a journal.
  name=$(basename "$(readlink -f "/sys/dev/block/$majmin")")
  if header=$(dumpe2fs -h "$source" 2>/dev/null); then
    if grep -q '^Filesystem features:.*has_journal' <<<"$header"; then journal=1; fi
  elif [ -r "/sys/fs/ext4/$name/journal_task" ]; then
    if [ "$(cat "/sys/fs/ext4/$name/journal_task")" != "<none>" ]; then journal=1; fi
  elif [ -d /proc/fs/jbd2 ]; then
    if compgen -G "/proc/fs/jbd2/$name-*" >/dev/null; then journal=1; fi
  else
    fresh_reason="cannot tell whether $source has a journal"
    return
  fi
  # No background thread may be zeroing inode tables or the journal while a copy is timed.
  fresh_mkfs=(-E "lazy_itable_init=0,lazy_journal_init=0,nodiscard" -m 0)
  if [ "$journal" = 1 ]; then fresh_mkfs+=(-O has_journal); else fresh_mkfs+=(-O ^has_journal); fi
  # Discarding freed blocks, and reading block bitmaps ahead in a thread of its own at mount, as
  # the trees' file system does.
  fresh_options=nodiscard
  for opt in $(findmnt -no OPTIONS -T "$dir" | tr , ' '); do
    case $opt in
      discard) fresh_options=${fresh_options/nodiscard/discard} ;;
      no_prefetch_block_bitmaps) fresh_options+=",$opt" ;;
    esac
  done
  # Room for the largest copy with a fifth to spare, and inodes for all its entries and more.
  inodes=$(find "$T1" | wc -l)
  used=$(du -sk "$T1" | cut -f1)
  fresh_mkfs+=(-N $((inodes + inodes / 5 + 1024)))
  fresh_kib=$((used + used / 5 + inodes / 3 + 65536))
  if ! fresh_make; then
    fresh_drop
    fresh_reason="could not make an ext4 on a loop device (see $log)"
    return
  fi
  fresh_drop
  echo "fresh file systems: ${fresh_kib} KiB, mkfs.ext4 ${fresh_mkfs[*]}, mount -o $fresh_options" >>"$log"
}
# fresh_target KEY SHARED : sets dst to where KEY's next timed copy goes, on a file system made
# for it (or SHARED, on the trees' one, when the copies share the disk); fails, counted, when
# that file system cannot be made
fresh_target() {
  dst="$2"
  [ -n "$fresh_reason" ] && return 0
  dst="$FRESH_MNT/copy"
  fresh_make && return 0
  say "FAILED $1: could not make a fresh file system (see $log)"
  TIMES[$1]+="fail "
  failures=$((failures + 1))
  return 1
}
if selected S1 || selected W1; then
  fresh_plan
  if [ -n "$fresh_reason" ]; then
    say "S1 and W1 copies share the disk: $fresh_reason"
    skipped+=("S1 and W1: the copies share the disk, slowed by the deletions before ($fresh_reason)")
  fi
fi

# --- scenarios --------------------------------------------------------------------------------
s1() {  # initial copy of T1; the memory measure runs the engine on the smaller tree alongside
  local base="$work/s1" r t dst
  if [ -n "$fresh_reason" ]; then settle; fi
  mkdir -p "$base"
  for ((r = 1; r <= runs; r++)); do
    say "S1 initial copy, round $r/$runs"
    for t in $(rotated "$r" vantrel cp rsync-a rsync-u floor vantrel-small vantrel-1t); do
      fresh_target "S1.$t" "$base/$t-$r" || continue
      if [ "$t" = vantrel-small ]; then
        warm "$T1S"
        timed S1.vantrel-small 1 "$B" engine "${trash_flag[@]}" "$T1S" "$dst" --expect-log "$small"
        check "$B" verify "$T1S" "$dst" --exact
      else
        warm "$T1"
        copied S1 "$t" "$T1" "$dst" "$files"
        case $t in vantrel | vantrel-1t | floor) check "$B" verify "$T1" "$dst" --exact ;; esac
      fi
      if [ -z "$fresh_reason" ]; then fresh_drop; fi
    done
  done
  done_with "$base"
}

clones() {  # two full clones of T1 for the rescans, later the sources of S3 and S4
  settle
  say "cloning T1 twice"
  "$B" clone-tree "$T1" "$work/clone-1" >>"$log"
  "$B" clone-tree "$T1" "$work/clone-2" >>"$log"
  sync
}

rescan_run() {  # rescan_run SCENARIO TOOL : one timed rescan of T1 against the first clone
  case $2 in
    vantrel) timed "$1.vantrel" 0 "$B" engine "${trash_flag[@]}" "$T1" "$work/clone-1" --expect-log 0 ;;
    vantrel-1t) timed "$1.vantrel-1t" 0 "$B" engine "${trash_flag[@]}" --one-thread "$T1" "$work/clone-1" --expect-log 0 ;;
    rsync-a) timed "$1.rsync-a" 0 rsync -a "$T1/" "$work/clone-1/" ;;
    rsync-u) timed "$1.rsync-u" 0 rsync -rpt -u --modify-window=1 "$T1/" "$work/clone-1/" ;;
    floor) timed "$1.floor" 0 "$FLOOR" uni "$T1" "$work/clone-1" --expect 0 ;;
  esac
}

s2() {  # rescan with nothing to do
  local r t
  for ((r = 1; r <= more_runs; r++)); do
    say "S2 rescan, round $r/$more_runs"
    for t in $(rotated "$r" vantrel rsync-a rsync-u floor vantrel-1t); do
      warm "$T1" "$work/clone-1"
      rescan_run S2 "$t"
    done
  done
  same_print "the S2 rescans" "$work/clone-1"
}

s5() {  # bidirectional rescan with nothing to do
  local r t a="$work/clone-1" b="$work/clone-2"
  for ((r = 1; r <= more_runs; r++)); do
    say "S5 bidirectional rescan, round $r/$more_runs"
    for t in $(rotated "$r" vantrel floor vantrel-1t); do
      warm "$a" "$b"
      case $t in
        vantrel) timed S5.vantrel 0 "$B" engine "${trash_flag[@]}" "$a" "$b" --bidirectional --expect-log 0 ;;
        vantrel-1t) timed S5.vantrel-1t 0 "$B" engine "${trash_flag[@]}" --one-thread "$a" "$b" --bidirectional --expect-log 0 ;;
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
  say "S3: linking $((more_runs * 5)) destinations"
  for ((r = 1; r <= more_runs; r++)); do
    for t in vantrel vantrel-1t rsync-a rsync-u floor; do "$B" clone-tree --links "$T1" "$base/$t-$r" >>"$log"; done
  done
  sync
  for ((r = 1; r <= more_runs; r++)); do
    say "S3 1% newer, round $r/$more_runs"
    for t in $(rotated "$r" vantrel rsync-a rsync-u floor vantrel-1t); do
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
  say "S4: linking $((more_runs * 5)) destinations"
  for ((r = 1; r <= more_runs; r++)); do
    for t in vantrel vantrel-1t rsync-a rsync-u floor; do
      "$B" clone-tree --links "$T1" "$base/$t-$r" >>"$log"
      extras=$("$B" add-extras "$base/$t-$r" --seed "$seed")  # the same extras every time
    done
  done
  # One log line (and one floor action) per extra file and per extra folder removed whole.
  removals=$((${extras% *} + ${extras#* }))
  sync
  for ((r = 1; r <= more_runs; r++)); do
    say "S4 exact copy, round $r/$more_runs"
    for t in $(rotated "$r" vantrel rsync-a rsync-u floor vantrel-1t); do
      dst="$base/$t-$r"
      warm "$source" "$dst"
      case $t in
        vantrel) timed S4.vantrel 1 "$B" engine "${trash_flag[@]}" "$source" "$dst" --exact --expect-log "$removals" ;;
        vantrel-1t) timed S4.vantrel-1t 1 "$B" engine "${trash_flag[@]}" --one-thread "$source" "$dst" --exact --expect-log "$removals" ;;
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
  verified "$T2" "$base" "$s6_runs" vantrel floor
  done_with "$base"
}

s7() {  # S2 with cold caches: every tree comes from the disk again, in every run of every tool
  local r t
  if ! can_drop_caches; then
    say "S7 skipped: dropping the caches needs root"
    skipped+=("S7 cold rescan: skipped (dropping the caches needs root)")
    return
  fi
  for ((r = 1; r <= more_runs; r++)); do
    say "S7 cold rescan, round $r/$more_runs"
    for t in $(rotated "$r" vantrel rsync-u floor vantrel-1t); do
      cold
      rescan_run S7 "$t"
    done
  done
  same_print "the S7 rescans" "$work/clone-1"
}

# S8's exFAT image, kept between invocations like the masters (its .made file names the source
# it was filled from and holds the fingerprint of what it holds), and its mount point, outside
# the work folder that is deleted whole.
S8_IMAGE="$dir/exfat-$s8_files.img"
S8_MNT="$dir/exfat-$s8_files.mnt"
S8_DEVICE=""  # the loop device of the image while it is attached: the driver wants a device
s8_mount() {
  mkdir -p "$S8_MNT"
  if [ -z "$S8_DEVICE" ]; then S8_DEVICE=$(losetup -f --show "$S8_IMAGE" 2>>"$log") || return 1; fi
  mount.exfat-fuse "$S8_DEVICE" "$S8_MNT" >>"$log" 2>&1 && mountpoint -q "$S8_MNT"
}
s8_unmount() {
  if mountpoint -q "$S8_MNT" 2>/dev/null; then
    umount "$S8_MNT" 2>>"$log" || umount -l "$S8_MNT"
  fi
}
s8_detach() {  # unmounted, and the loop device let go
  s8_unmount
  if [ -n "$S8_DEVICE" ]; then
    losetup -d "$S8_DEVICE" 2>>"$log" || true
    S8_DEVICE=""
  fi
}
s8_run() {  # s8_run KEY TOOL : one timed rescan of T8 against the image
  case $2 in
    vantrel) timed "$1.$2" 0 "$B" engine "${trash_flag[@]}" "$T8" "$S8_MNT" --expect-log 0 ;;
    vantrel-1t) timed "$1.$2" 0 "$B" engine "${trash_flag[@]}" --one-thread "$T8" "$S8_MNT" --expect-log 0 ;;
    rsync-t) timed "$1.$2" 0 rsync -rt -u --modify-window=1 "$T8/" "$S8_MNT/" ;;
  esac
}
s8() {  # rescan with nothing to do, Folder 2 on exFAT through the FUSE driver
  local r t made tool
  if [ "$(id -u)" -ne 0 ]; then
    say "S8 skipped: the loop device needs root"
    skipped+=("S8 exFAT rescan: skipped (the loop device needs root)")
    return
  fi
  for tool in mkfs.exfat mount.exfat-fuse mountpoint losetup; do
    if ! command -v "$tool" >/dev/null 2>&1; then
      say "S8 skipped: $tool is missing"
      skipped+=("S8 exFAT rescan: skipped ($tool is missing)")
      return
    fi
  done
  # What an invocation that was killed left attached.
  s8_unmount
  losetup -j "$S8_IMAGE" 2>/dev/null | cut -d: -f1 | while read -r device; do
    losetup -d "$device" || true
  done
  made="$generator exfat $(sed -n 2p "$T8.made")"
  if [ "$(sed -n 1p "$S8_IMAGE.made" 2>/dev/null)" != "$made" ]; then
    say "S8: filling an exFAT image with $s8_files files"
    rm -f "$S8_IMAGE" "$S8_IMAGE.made"
    # Room for 4 KiB clusters, each file in at most 16 KiB, and the folders.
    truncate -s "$((s8_files * 24 + 65536))K" "$S8_IMAGE"
    if ! mkfs.exfat -c 4K "$S8_IMAGE" >>"$log" 2>&1 || ! s8_mount ||
       ! rsync -rt "$T8/" "$S8_MNT/" >>"$log" 2>&1; then
      say "FAILED: could not make the exFAT image (see $log)"
      failures=$((failures + 1))
      s8_detach
      return
    fi
    sync
    { echo "$made"; "$B" fingerprint "$S8_MNT"; } >"$S8_IMAGE.made"
  elif ! s8_mount; then
    say "FAILED: could not mount $S8_IMAGE (see $log)"
    failures=$((failures + 1))
    s8_detach
    return
  fi
  for ((r = 1; r <= more_runs; r++)); do
    say "S8 exFAT rescan, warm, round $r/$more_runs"
    for t in $(rotated "$r" vantrel rsync-t vantrel-1t); do
      warm "$T8" "$S8_MNT"
      # The kernel keeps what the FUSE driver answered for one second; whether a run started
      # within it (which the sync after warming decides) made one run five times as fast as
      # the next. After it, every run meets the same: the driver's and the page cache warm,
      # each lookup one round trip, as in a rescan made some time after the last.
      sleep 1.5
      s8_run S8w "$t"
    done
  done
  if can_drop_caches; then
    for ((r = 1; r <= more_runs; r++)); do
      say "S8 exFAT rescan, cold, round $r/$more_runs"
      for t in $(rotated "$r" vantrel rsync-t vantrel-1t); do
        s8_unmount
        cold
        if ! s8_mount; then
          say "FAILED: could not mount $S8_IMAGE again (see $log)"
          TIMES[S8c.$t]+="fail "
          failures=$((failures + 1))
          continue
        fi
        s8_run S8c "$t"
      done
    done
  else
    skipped+=("S8 exFAT rescan, cold: skipped (dropping the caches needs root)")
  fi
  if [ "$("$B" fingerprint "$S8_MNT")" != "$(sed -n 2p "$S8_IMAGE.made")" ]; then
    say "FAILED: a tool in S8 changed the exFAT copy"
    failures=$((failures + 1))
    rm -f "$S8_IMAGE.made"  # filled anew next time
  fi
  s8_detach
}

w1() {  # S1 through the window against the headless engine
  local base="$work/w1" r t dst
  if [ -n "$fresh_reason" ]; then settle; fi
  mkdir -p "$base"
  for ((r = 1; r <= runs; r++)); do
    say "W1 initial copy through the window, round $r/$runs"
    for t in $(rotated "$r" window vantrel); do
      fresh_target "W1.$t" "$base/$t-$r" || continue
      warm "$T1"
      case $t in
        window) inner W1.window "$WINDOW" "${trash_flag[@]}" "$T1" "$dst" --sync --expect-log "$files" ;;
        vantrel) inner W1.vantrel "$B" engine "${trash_flag[@]}" "$T1" "$dst" --sync --expect-log "$files" ;;
      esac
      check "$B" verify "$T1" "$dst" --exact
      if [ -z "$fresh_reason" ]; then fresh_drop; fi
    done
  done
  done_with "$base"
}

w2() {  # S2 through the window against the headless engine
  local r t
  for ((r = 1; r <= more_runs; r++)); do
    say "W2 rescan through the window, round $r/$more_runs"
    for t in $(rotated "$r" window vantrel); do
      warm "$T1" "$work/clone-1"
      case $t in
        window) inner W2.window "$WINDOW" "${trash_flag[@]}" "$T1" "$work/clone-1" --expect-log 0 ;;
        vantrel) inner W2.vantrel "$B" engine "${trash_flag[@]}" "$T1" "$work/clone-1" --expect-log 0 ;;
      esac
    done
  done
  same_print "the W2 rescans" "$work/clone-1"
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

# The other program of a busy desktop, from the first timed run to the end.
burner=""
finish() {
  if [ -n "$burner" ]; then kill "$burner" 2>/dev/null || true; fi
  s8_detach || true
  if [ -n "$FRESH_DEVICE" ] || [ -e "$FRESH_IMAGE" ]; then fresh_drop || true; fi
}
trap finish EXIT
if [ "$burn" = 1 ]; then
  "$B" burn &
  burner=$!
  say "one core kept busy by process $burner"
fi

if selected S1; then s1; fi
if selected W1; then w1; fi
if selected S2 || selected S3 || selected S4 || selected S5 || selected S7 || selected W2; then clones; fi
if selected S2; then s2; fi
if selected S5; then s5; fi
if selected S7; then s7; fi
if selected W2; then w2; fi
if selected S3; then s3; fi
if selected S4; then s4; fi
if selected S8; then s8; fi
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
busy=""
if [ "$burn" = 1 ]; then busy=" (busy)"; fi
idle() {  # idle TARGET : a target set for an idle machine; shown for information under --burn
  if [ "$burn" = 1 ]; then echo -; else echo "$1"; fi
}
row() {  # row LABEL VANTREL PEER TARGET ; TARGET "-" shows the ratio without judging it
  local line
  line=$(awk -v l="$1$busy" -v a="$2" -v b="$3" -v t="$4" 'BEGIN {
    if (a == "fail" || b == "fail" || b <= 0) {
      printf "%-54s %10s %10s %7s %7s  %s\n", l, a, b, "-", t, "FAILED"; exit }
    r = a / b
    if (t == "-") res = "info"; else res = (r <= t + 1e-9) ? "met" : "missed"
    printf "%-54s %10.3f %10.3f %7.2f %7s  %s\n", l, a, b, r, (t == "-" ? "-" : "<=" t), res }')
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
one_thread_row() {  # one_thread_row SCENARIO LABEL : the engine against itself, look-ahead off
  row "$2 vs engine --one-thread" "$(med "$1.vantrel")" "$(med "$1.vantrel-1t")" 1.05
}
mib() { awk -v k="$1" 'BEGIN { if (k == "fail") print "fail"; else printf "%.1f", k / 1024 }'; }

heading="scenario (T1: $files files)"
if selected S8; then heading="scenario (T1: $files files, S8: $s8_files)"; fi
printf '%-54s %10s %10s %7s %7s  %s\n' "$heading" "Vantrel s" "peer s" "ratio" "target" "result" |
  tee "$table"
if [ "$burn" = 1 ]; then
  echo "(busy): one core kept busy by another program; targets set for an idle machine not judged" |
    tee -a "$table"
fi
for line in "${skipped[@]}"; do echo "$line" | tee -a "$table"; done
if selected S1; then
  row "S1 initial copy of T1 vs cp -a" "$(med S1.vantrel)" "$(med S1.cp)" "$(idle 1.10)"
  rsync_row S1 "S1 initial copy of T1" "$(idle 0.80)"
  row "S1 initial copy of T1 vs floor" "$(med S1.vantrel)" "$(med S1.floor)" -
  one_thread_row S1 "S1 initial copy of T1"
fi
if selected W1; then
  row "W1 S1 through the window vs headless engine" "$(med W1.window)" "$(med W1.vantrel)" 1.20
fi
if selected S2; then
  row "S2 rescan, nothing to do vs floor" "$(med S2.vantrel)" "$(med S2.floor)" "$(idle 1.25)"
  rsync_row S2 "S2 rescan, nothing to do" "$(idle 0.80)"
  one_thread_row S2 "S2 rescan, nothing to do"
fi
if selected W2; then
  row "W2 S2 through the window vs headless engine" "$(med W2.window)" "$(med W2.vantrel)" 1.20
fi
if selected S3; then
  rsync_row S3 "S3 1% newer" "$(idle 0.80)"
  row "S3 1% newer vs floor" "$(med S3.vantrel)" "$(med S3.floor)" -
  one_thread_row S3 "S3 1% newer"
fi
if selected S4; then
  rsync_row S4 "S4 exact copy" "$(idle 0.80)" " --delete"
  row "S4 exact copy vs floor" "$(med S4.vantrel)" "$(med S4.floor)" -
  one_thread_row S4 "S4 exact copy"
fi
if selected S5; then
  row "S5 bidirectional rescan vs floor" "$(med S5.vantrel)" "$(med S5.floor)" "$(idle 1.25)"
  one_thread_row S5 "S5 bidirectional rescan"
fi
if selected S6; then
  row "S6 initial copy of T2 vs cp -a" "$(med S6.vantrel)" "$(med S6.cp)" "$(idle 1.05)"
  rsync_row S6 "S6 initial copy of T2" -
  row "S6 initial copy of T2 vs floor" "$(med S6.vantrel)" "$(med S6.floor)" -
fi
if selected S7 && [ -n "${TIMES[S7.vantrel]:-}" ]; then
  row "S7 cold rescan vs rsync -rpt -u" "$(med S7.vantrel)" "$(med S7.rsync-u)" "$(idle 0.80)"
  row "S7 cold rescan vs floor" "$(med S7.vantrel)" "$(med S7.floor)" -
  one_thread_row S7 "S7 cold rescan"
fi
if selected S8 && [ -n "${TIMES[S8w.vantrel]:-}" ]; then
  row "S8 exFAT rescan, warm vs rsync -rt -u" "$(med S8w.vantrel)" "$(med S8w.rsync-t)" \
    "$(idle 0.80)"
  one_thread_row S8w "S8 exFAT rescan, warm"
fi
if selected S8 && [ -n "${TIMES[S8c.vantrel]:-}" ]; then
  row "S8 exFAT rescan, cold vs rsync -rt -u" "$(med S8c.vantrel)" "$(med S8c.rsync-t)" \
    "$(idle 0.80)"
  one_thread_row S8c "S8 exFAT rescan, cold"
fi
if selected S9; then
  row "S9 sparse 2 GiB (8 KiB data) vs cp -a" "$(med S9.vantrel)" "$(med S9.cp)" "$(idle 2.00)"
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
if [ -n "$burner" ]; then
  kill "$burner" 2>/dev/null || true
  burner=""
fi

# The harness checks itself last: its tests delete trees, which would slow what follows.
say "checking the harness itself"
check env TMPDIR="$dir" "$build/bench/vantrel_bench_tests"
if [ "$ui" = ON ]; then check env TMPDIR="$dir" "$build/bench/vantrel_window_bench_tests"; fi
flush

if [ "$failures" -gt 0 ]; then
  say "$failures step(s) failed (see $log)"
  exit 1
fi
if [ "$quick" = 0 ] && [ "$missed" -gt 0 ]; then exit 1; fi
exit 0
