#!/usr/bin/env bash
# Scan throughput benchmark, every row against the read limit on one seeded corpus (about 20,000
# files, 1.5 GiB) kept warm in the page cache, with 16 and with 10,000 signatures:
#   - the read limit: bench/read_limit, every file read through one reused buffer (`cat` of every
#     file is shown too; GNU cat maps a fresh buffer per file);
#   - the engine alone: kvsigtool match, one thread and all cores;
#   - the whole suite as a new user runs it: `kolvar scan` in the host profile, the service and the
#     scanner started by it (ended again before each run), attach, scan, report; with ScanPacing 0
#     and with the default (no key), and over an empty folder (the fixed cost of a scan);
#   - peers (unless --no-peers): clamscan with the same signatures as an .ndb database and yara
#     with them as hex strings.
# Prints seconds, CPU seconds, MB/s, files/s, peak memory, what was found (for kolvar scan also
# the files it reported tested) and each row's share of the read limit. Not run by ctest.
#
#   bench/scan_throughput/run.sh [--work DIR] [--bin DIR] [--runs N] [--files N] [--bytes N]
#                                [--no-peers] [--suite-timeout S]
#
# --work: where the corpus and signatures go (default build/bench/scan_throughput; never commit).
# --bin: a folder holding kvsigtool, kolvar, KVBkgScan, kvipcsrv, kvcfg and read_limit (default: a
#   Release build made under the work folder).
# --suite-timeout: a `kolvar scan` that runs longer is stopped and shown as "> S" (default 120).
# Installs clamav and yara from Debian packages when they are missing and peers are wanted.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
source_dir="$(cd "$here/../.." && pwd)"
work="$source_dir/build/bench/scan_throughput"
bin=""
runs=3
files=20000
bytes=$((1536 * 1024 * 1024))
peers=1
suite_timeout=120
while (($#)); do
  case "$1" in
    --no-peers) peers=0; shift ;;
    --suite-timeout) suite_timeout="$2"; shift 2 ;;
    --work) work="$2"; shift 2 ;;
    --bin) bin="$2"; shift 2 ;;
    --runs) runs="$2"; shift 2 ;;
    --files) files="$2"; shift 2 ;;
    --bytes) bytes="$2"; shift 2 ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
done
mkdir -p "$work"

# Peers and the time tool, from Debian packages.
missing=()
if ((peers)); then
  command -v clamscan >/dev/null || missing+=(clamav)
  command -v yara >/dev/null || missing+=(yara)
fi
[ -x /usr/bin/time ] || missing+=(time)
if ((${#missing[@]})); then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

if [ -z "$bin" ]; then
  # Only the programs measured are built; the test targets stay configured because the tree
  # expects them.
  cmake -S "$source_dir" -B "$work/release" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DKOLVAR_BUILD_TESTS=ON >/dev/null
  cmake --build "$work/release" --target kvsigtool kolvar KVBkgScan kvipcsrv kvcfg read_limit \
        -j2 >/dev/null
  bin="$work/release/bin"
fi
kvsigtool="$bin/kvsigtool"

corpus="$work/corpus"
if [ ! -f "$corpus.manifest" ]; then
  echo "Generating signatures and the corpus (once)..." >&2
  rm -rf "$corpus" "$work/signatures"
  python3 "$here/bench_data.py" signatures "$work/signatures" --count 10000
  python3 "$here/bench_data.py" corpus "$corpus" --signatures 10000 --files "$files" --bytes "$bytes"
fi
for k in 16 10000; do
  mkdir -p "$work/db-$k"
  "$kvsigtool" build "$work/signatures/sigs-$k.txt" "$work/db-$k" >/dev/null
  # An installation of the suite with this database, in the host profile: its own configuration
  # folder and its own folder of named objects.
  suite="$work/suite-$k"
  mkdir -p "$suite" "$work/xdg-$k" "$work/ns-$k" "$work/empty"
  chmod 700 "$work/ns-$k"
  for program in kolvar KVBkgScan kvipcsrv; do cp -f "$bin/$program" "$suite/"; done
  cp -f "$work/db-$k/KVVirusDB.dat" "$work/db-$k/KVVirusDBDet.dat" "$suite/"
done

total_bytes=$(awk -F'\t' '{ s += $2 } END { print s }' "$corpus.manifest")
total_files=$(wc -l < "$corpus.manifest")
planted_16=$(awk -F'\t' '$1 >= 1 && $1 <= 16' "$corpus.manifest" | wc -l)
planted_all=$(awk -F'\t' '$1 >= 1' "$corpus.manifest" | wc -l)

# Runs a command `runs` times (the corpus stays warm) and keeps the fastest: prints
# "<seconds> <cpu seconds> <peak KiB>" and leaves the fastest run's output in $work/out.
measure() {
  local best="" best_cpu="" best_rss=""
  for ((r = 0; r < runs; ++r)); do
    /usr/bin/time -f "%e %U %S %M" -o "$work/time" "$@" > "$work/out.tmp" 2>/dev/null || true
    read -r t user sys rss < <(tail -n 1 "$work/time")  # after a "non-zero status" line, if any
    if [ -z "$best" ] || awk -v a="$t" -v b="$best" 'BEGIN { exit !(a < b) }'; then
      best="$t"; best_rss="$rss"; mv "$work/out.tmp" "$work/out"
      best_cpu=$(awk -v u="$user" -v s="$sys" 'BEGIN { print u + s }')
    fi
  done
  echo "$best $best_cpu $best_rss"
}

# One `kolvar scan` of a folder as a new user runs it: nothing of the suite runs before, the command
# starts the service and the scanner; they are ended after it (not timed). Prints what measure
# prints; the JSON report of the fastest run is left in $work/out.
suite_measure() {  # k pacing(0|default) folder
  local k="$1" pacing="$2" folder="$3" suite="$work/suite-$1"
  local config="$work/xdg-$k/kolvar/kvmavcfg.dat"
  local best="" best_cpu="" best_rss=""
  export XDG_CONFIG_HOME="$work/xdg-$k" KOLVAR_RUNTIME_DIR="$work/ns-$k"
  unset KOLVAR_DEVICE_ROOT
  "$source_dir/scripts/stop-suite" "$suite"
  [ -f "$config" ] || "$suite/kolvar" quarantine list >/dev/null 2>&1 || true
  if [ "$pacing" = 0 ]; then
    "$bin/kvcfg" set "$config" CONFIG ScanPacing 2 0 >/dev/null
  else
    "$bin/kvcfg" del "$config" CONFIG ScanPacing >/dev/null 2>&1 || true
  fi
  for ((r = 0; r < runs; ++r)); do
    /usr/bin/time -f "%e %U %S %M" -o "$work/time" timeout "$suite_timeout" \
      "$suite/kolvar" scan "$folder" --json --action=ignore > "$work/out.tmp" 2>/dev/null || true
    read -r t user sys rss < <(tail -n 1 "$work/time")
    # The scanner's own peak (it ran beside the command) counts as the suite's.
    "$source_dir/scripts/stop-suite" "$suite"
    if awk -v a="$t" -v lim="$suite_timeout" 'BEGIN { exit !(a >= lim - 0.5) }'; then
      echo "$t $user $rss timeout"
      unset XDG_CONFIG_HOME KOLVAR_RUNTIME_DIR
      return
    fi
    if [ -z "$best" ] || awk -v a="$t" -v b="$best" 'BEGIN { exit !(a < b) }'; then
      best="$t"; best_rss="$rss"; mv "$work/out.tmp" "$work/out"
      best_cpu=$(awk -v u="$user" -v s="$sys" 'BEGIN { print u + s }')
    fi
  done
  unset XDG_CONFIG_HOME KOLVAR_RUNTIME_DIR
  echo "$best $best_cpu $best_rss"
}

# "<infected entries>/<files tested>" from the JSON report in $work/out.
suite_found() {
  python3 -c 'import json,sys; d=json.load(open(sys.argv[1])); print("%d/%d" % (len(d["infected"]), d["files_tested"]))' \
    "$work/out" 2>/dev/null || echo "-"
}

cat_all() { find "$corpus" -type f -print0 | xargs -0 cat > /dev/null; }
export -f cat_all
export corpus

echo "Warming the page cache..." >&2
cat_all; cat_all

printf '\nMachine: %s, %s cores, %s MiB memory; load average now %s\n' \
  "$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')" "$(nproc)" \
  "$(awk '/MemTotal/ { print int($2 / 1024) }' /proc/meminfo)" "$(cut -d' ' -f1-3 /proc/loadavg)"
printf 'Corpus: %d files, %.1f MB; planted: %d of the first 16 signatures, %d in all\n\n' \
  "$total_files" "$(awk -v b="$total_bytes" 'BEGIN { print b / 1e6 }')" "$planted_16" "$planted_all"
printf '%-7s %-26s %8s %8s %9s %9s %9s %11s %7s\n' sigs run seconds 'cpu s' MB/s files/s \
  'peak MiB' found 'of limit'

read -r limit_s limit_cpu limit_rss < <(measure "$bin/read_limit" "$corpus")
read -r cat_s cat_cpu cat_rss < <(measure bash -c cat_all)
for k in 16 10000; do
  planted=$([ "$k" = 16 ] && echo "$planted_16" || echo "$planted_all")
  row() {  # name seconds cpu-seconds rss found [timeout]
    if [ "${6:-}" = timeout ]; then
      printf '%-7s %-26s %8s %8s %9s %9s %9s %11s %7s\n' "$k" "$1" "> $suite_timeout" - - - - - -
      return
    fi
    awk -v k="$k" -v n="$1" -v s="$2" -v cpu="$3" -v rss="$4" -v f="$5" -v b="$total_bytes" \
        -v files="$total_files" -v limit="$limit_s" 'BEGIN {
      printf "%-7s %-26s %8.2f %8.2f %9.1f %9.0f %9.1f %11s %6.0f%%\n", k, n, s, cpu,
             b / s / 1e6, files / s, rss / 1024, f, 100 * limit / s }'
  }
  row "read limit (one buffer)" "$limit_s" "$limit_cpu" "$limit_rss" "-"
  row "cat of every file" "$cat_s" "$cat_cpu" "$cat_rss" "-"
  read -r ours_s ours_cpu ours_rss < <(measure "$kvsigtool" match --db "$work/db-$k/KVVirusDB.dat" "$corpus")
  row "kvsigtool match" "$ours_s" "$ours_cpu" "$ours_rss" "$(grep -c '^1 ' "$work/out" || true)"
  read -r oursj_s oursj_cpu oursj_rss < <(measure "$kvsigtool" match --db "$work/db-$k/KVVirusDB.dat" \
      --jobs "$(nproc)" "$corpus")
  row "kvsigtool match --jobs $(nproc)" "$oursj_s" "$oursj_cpu" "$oursj_rss" \
      "$(grep -c '^1 ' "$work/out" || true)"
  read -r suite_s suite_cpu suite_rss suite_to < <(suite_measure "$k" 0 "$corpus")
  row "kolvar scan, pacing 0" "$suite_s" "$suite_cpu" "$suite_rss" "$(suite_found)" "$suite_to"
  read -r suite_s suite_cpu suite_rss suite_to < <(suite_measure "$k" default "$corpus")
  row "kolvar scan, default" "$suite_s" "$suite_cpu" "$suite_rss" "$(suite_found)" "$suite_to"
  read -r empty_s empty_cpu empty_rss empty_to < <(suite_measure "$k" 0 "$work/empty")
  if [ "${empty_to:-}" = timeout ]; then
    echo "        kolvar scan of an empty folder (fixed cost): > $suite_timeout s"
  else
    echo "        kolvar scan of an empty folder (fixed cost): $empty_s s, $empty_cpu cpu s"
  fi
  if ((peers)); then
    read -r clam_s clam_cpu clam_rss < <(measure clamscan -r -i --no-summary --bytecode=no \
        --scan-archive=no --scan-pe=no --scan-elf=no --scan-ole2=no --scan-pdf=no --scan-html=no \
        --scan-mail=no --scan-swf=no --scan-xmldocs=no --scan-hwp3=no --scan-onenote=no \
        --scan-image=no --scan-image-fuzzy-hash=no --heuristic-alerts=no \
        --max-filesize=100M --max-scansize=400M -d "$work/signatures/sigs-$k.ndb" "$corpus")
    row "clamscan" "$clam_s" "$clam_cpu" "$clam_rss" "$(grep -c ' FOUND$' "$work/out" || true)"
    read -r yara1_s yara1_cpu yara1_rss < <(measure yara -r -f -N -p 1 "$work/signatures/sigs-$k.yar" "$corpus")
    row "yara -p 1" "$yara1_s" "$yara1_cpu" "$yara1_rss" "$(awk '{ print $2 }' "$work/out" | sort -u | wc -l)"
    read -r yara_s yara_cpu yara_rss < <(measure yara -r -f -N "$work/signatures/sigs-$k.yar" "$corpus")
    row "yara (own threads)" "$yara_s" "$yara_cpu" "$yara_rss" "$(awk '{ print $2 }' "$work/out" | sort -u | wc -l)"
  fi
  echo "        planted: $planted"
done
echo
echo "of limit: the read limit's time as a share of the row's (100 % reads as fast as one buffer"
echo "can). found: files reported infected; for kolvar scan, infected/tested from its JSON report."
echo "kvsigtool match and kolvar scan scan with one thread; --jobs and yara without -p use every"
echo "core. kolvar scan's peak is the front end's; the scanner's is measured by bench/scan_memory."
