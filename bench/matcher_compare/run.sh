#!/usr/bin/env bash
# The engine's signature matcher against Vectorscan (Hyperscan), one thread, warm page cache, on
# the seeded corpus of bench/scan_throughput with 16 and with 10,000 signatures. Prints one table:
# seconds, MB/s, share of the read limit (bench/read_limit), files found infected and files whose
# verdict differs from the engine's. First runs matcher_compare --check, which holds both against
# the literal chunk loop on small tables built to hit the exact rules. Not run by ctest.
#
#   bench/matcher_compare/run.sh [--work DIR] [--files N] [--bytes N] [--corpus DIR]
#
# --work: where the build, the corpus and the databases go (default build/bench/matcher_compare;
#   never commit). --corpus: use a corpus made by bench_data.py already (its .manifest beside it);
#   otherwise one of --files files and about --bytes bytes is made in the work folder (default
#   20,000 files, 1.5 GiB; --files 2000 --bytes 150000000 for a quick look).
# Installs libvectorscan-dev (or libhyperscan-dev where that is missing) from Debian packages.
# See README for what the figures mean and the last ones measured.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
source_dir="$(cd "$here/../.." && pwd)"
work="$source_dir/build/bench/matcher_compare"
files=20000
bytes=$((1536 * 1024 * 1024))
corpus=""
while (($#)); do
  case "$1" in
    --work) work="$2"; shift 2 ;;
    --files) files="$2"; shift 2 ;;
    --bytes) bytes="$2"; shift 2 ;;
    --corpus) corpus="$2"; shift 2 ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
done
mkdir -p "$work"
unset KOLVAR_DEVICE_ROOT  # the host profile: device paths are host paths

if ! pkg-config --exists libhs; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  package=libvectorscan-dev
  apt-cache show "$package" >/dev/null 2>&1 || package=libhyperscan-dev
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "$package" \
    >/dev/null
fi

cmake -S "$source_dir" -B "$work/release" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache >/dev/null
cmake --build "$work/release" --target matcher_compare kvsigtool read_limit -j2 >/dev/null
bin="$work/release/bin"

if [ -z "$corpus" ]; then
  corpus="$work/corpus-$files"
  if [ ! -f "$corpus.manifest" ]; then
    echo "Generating the corpus (once)..." >&2
    rm -rf "$corpus"
    python3 "$source_dir/bench/scan_throughput/bench_data.py" corpus "$corpus" --signatures 10000 \
      --files "$files" --bytes "$bytes"
  fi
fi
if [ ! -f "$work/signatures/sigs-10000.txt" ]; then
  python3 "$source_dir/bench/scan_throughput/bench_data.py" signatures "$work/signatures" \
    --count 10000
fi
for k in 16 10000; do
  mkdir -p "$work/db-$k"
  "$bin/kvsigtool" build "$work/signatures/sigs-$k.txt" "$work/db-$k" >/dev/null
done

echo "Checking against the literal chunk loop..." >&2
"$bin/matcher_compare" --check 20000

echo "Warming the page cache..." >&2
"$bin/read_limit" "$corpus" >/dev/null
# The read limit: the fastest of three runs (the machine may be shared).
limit_s=""
for run in 1 2 3; do
  start=$(date +%s.%N)
  "$bin/read_limit" "$corpus" >/dev/null
  t=$(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { printf "%.3f", b - a }')
  if [ -z "$limit_s" ] || awk -v a="$t" -v b="$limit_s" 'BEGIN { exit !(a < b) }'; then
    limit_s="$t"
  fi
done

planted_16=$(awk -F'\t' '$1 >= 1 && $1 <= 16' "$corpus.manifest" | wc -l)
planted_all=$(awk -F'\t' '$1 >= 1' "$corpus.manifest" | wc -l)
for k in 16 10000; do
  "$bin/matcher_compare" --repeat 2 --db "$work/db-$k/KVVirusDB.dat" "$corpus" \
    > "$work/out-$k.txt" 2> "$work/err-$k.txt"
done

printf '\nMachine: %s, %s cores; load average now %s; %s\n' \
  "$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')" "$(nproc)" \
  "$(cut -d' ' -f1-3 /proc/loadavg)" "$(date -u '+%Y-%m-%d %H:%M UTC')"
printf 'Vectorscan: %s; corpus: %s\n' "$(pkg-config --modversion libhs)" \
  "$(head -n 1 "$work/out-16.txt")"
printf 'Read limit (bench/read_limit, one 1 MiB buffer, fastest of 3): %s s\n\n' "$limit_s"
printf '%-7s %-36s %8s %9s %9s %9s %9s %7s\n' sigs row seconds MB/s 'of limit' 'of reads' \
  infected differ
for k in 16 10000; do
  planted=$([ "$k" = 16 ] && echo "$planted_16" || echo "$planted_all")
  # "of reads": against the row that only reads, over the same list with the same 256 KiB reads.
  reads_s=$(awk '/^read only: 256 KiB reads/ { print $(NF - 3) }' "$work/out-$k.txt")
  awk -v k="$k" -v limit="$limit_s" -v reads="$reads_s" '
    /^(build|walk):/ { notes = notes "        " $0 "\n"; next }
    /^(own|vectorscan|read only):/ {
      name = $1; for (i = 2; i <= NF - 4; ++i) name = name " " $i
      s = $(NF - 3)
      printf "%-7s %-36s %8.3f %9.1f %8.0f%% %8.0f%% %9s %7s\n", k, name, s, $(NF - 2),
             100 * limit / s, 100 * reads / s, $(NF - 1), $NF
    }
    END { printf "%s", notes }' "$work/out-$k.txt"
  echo "        planted: $planted"
  if [ -s "$work/err-$k.txt" ]; then
    echo "        first differences:"
    sed 's/^/        /' "$work/err-$k.txt"
  fi
done
echo
echo "of limit: bench/read_limit's time (walk and reads, one process) as a share of the row's;"
echo "the rows do not walk (the list is made once before them), so they can pass 100 %. of reads:"
echo "the in-process read-only row's time as a share of the row's. Each row reads every file"
echo "itself, twice, the faster pass kept. differ: files whose verdict (result and virus id) is"
echo "not the engine's own row's."
