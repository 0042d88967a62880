#!/usr/bin/env bash
# Where the fixed cost of one `kolvar scan` goes: scans of an empty folder in the host profile,
# traced with `strace -f -tt` (only the calls that mark the steps), with the scanner already
# running and with nothing running (the command starts the service and the scanner). Prints the
# median of each step over the runs, and the untraced wall time of as many runs of each kind.
# The steps are read from landmarks in the traces (the named objects opened, the threads started
# and ended, the report written), so they move with the code: check them when the start-up or the
# leave-taking changes. Not run by ctest.
#
#   bench/scan_throughput/fixed_cost.sh [--bin DIR] [--runs N] [--signatures N] [--work DIR]
#
# --bin: a folder holding kolvar, KVBkgScan, kvipcsrv, kvsigtool and kvcfg (default: build/release/bin).
# --signatures: 16 or 10000 (bench_data.py's lists; default 16).
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
source_dir="$(cd "$here/../.." && pwd)"
bin="$source_dir/build/release/bin"
runs=5
sigs=16
work="$source_dir/build/bench/fixed_cost"
while (($#)); do
  case "$1" in
    --bin) bin="$2"; shift 2 ;;
    --runs) runs="$2"; shift 2 ;;
    --signatures) sigs="$2"; shift 2 ;;
    --work) work="$2"; shift 2 ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
done
command -v strace >/dev/null || { echo "strace is needed (apt-get install strace)" >&2; exit 2; }

suite="$work/suite"
rm -rf "$work"
mkdir -p "$suite" "$work/xdg" "$work/ns" "$work/empty" "$work/db" "$work/traces"
chmod 700 "$work/ns"
python3 "$here/bench_data.py" signatures "$work/signatures" --count 10000 >/dev/null
"$bin/kvsigtool" build "$work/signatures/sigs-$sigs.txt" "$work/db" >/dev/null
for program in kolvar KVBkgScan kvipcsrv; do cp -f "$bin/$program" "$suite/"; done
cp -f "$work/db/KVVirusDB.dat" "$work/db/KVVirusDBDet.dat" "$suite/"
export XDG_CONFIG_HOME="$work/xdg" KOLVAR_RUNTIME_DIR="$work/ns"
unset KOLVAR_DEVICE_ROOT
"$suite/kolvar" quarantine list >/dev/null 2>&1 || true
"$bin/kvcfg" set "$work/xdg/kolvar/kvmavcfg.dat" CONFIG ScanPacing 2 0 >/dev/null
stop() { "$source_dir/scripts/stop-suite" "$suite"; }
trap stop EXIT

calls=openat,unlinkat,clone3,exit,exit_group,mkdir,write,execve
scan() { "$suite/kolvar" scan "$work/empty" --json >/dev/null 2>&1; }
scanner_pid() {
  local proc
  for proc in /proc/[0-9]*; do
    [ "$(readlink "$proc/exe" 2>/dev/null)" = "$suite/KVBkgScan" ] && echo "${proc#/proc/}" && return
  done
}

wall_warm=() wall_cold=()
for ((r = 0; r < runs; ++r)); do
  # Scanner running: the scanner traced apart for the start and the end of its pass.
  scan
  strace -f -tt -e trace=clone3,exit -o "$work/traces/warm-$r.scanner" -p "$(scanner_pid)" 2>/dev/null &
  tracer=$!
  sleep 0.5
  strace -f --seccomp-bpf -tt -e trace=$calls -o "$work/traces/warm-$r" "$suite/kolvar" scan \
    "$work/empty" --json >/dev/null 2>&1
  sleep 0.3
  kill "$tracer"; wait "$tracer" 2>/dev/null || true
  start=$(date +%s.%N); scan; wall_warm+=("$(echo "$(date +%s.%N) - $start" | bc)")
  # Nothing running: the command followed into the programs it starts.
  stop; sleep 0.2
  strace -f --seccomp-bpf -tt -e trace=$calls -o "$work/traces/cold-$r" "$suite/kolvar" scan \
    "$work/empty" --json >/dev/null 2>&1 &
  tracer=$!
  for _ in $(seq 100); do
    grep -q 'write(1, "{' "$work/traces/cold-$r" 2>/dev/null && break
    sleep 0.1
  done
  sleep 0.5
  # A tracer that follows the daemons does not always end on SIGTERM; the kernel lets its
  # tracees go on when it is killed, and they are ended next.
  kill -KILL "$tracer"; wait "$tracer" 2>/dev/null || true
  stop; sleep 0.2
  start=$(date +%s.%N); scan; wall_cold+=("$(echo "$(date +%s.%N) - $start" | bc)")
  stop
done

python3 - "$work/traces" "$runs" "${wall_warm[*]}" "${wall_cold[*]}" <<'PY'
import os, re, statistics, sys

def seconds(line):
    h, m, s = line.split()[1].split(':')
    return (int(h) * 60 + int(m)) * 60 + float(s)

def steps(path):
    lines = [l for l in open(path) if re.match(r'\d+\s+\d\d:', l)]
    main = lines[0].split()[0]
    pid = lambda l: l.split()[0]
    scanner = next((pid(l) for l in lines if 'execve("' in l and 'KVBkgScan' in l), None)
    def first(pred, after=0.0):
        return next((seconds(l) for l in lines if seconds(l) >= after and pred(l)), None)
    at = {}
    at['process start, up to the instance lock'] = first(lambda l: '"_@KVMAVGEN_MAIN@_", O_RDWR' in l)
    at['configuration, data files, database'] = first(
        lambda l: '"@_KVMIPCSRV_@"' in l and pid(l) == main)
    at['service started and up, registered'] = first(
        lambda l: '"KVCMSICEV' in l and pid(l) == main)
    at['scanner started and found'] = first(
        lambda l: '"KVMSCANDEVICE", O_RDWR|O_NOFOLLOW' in l and pid(l) == main)
    found = at['scanner found'] = at.pop('scanner started and found')
    own = path + '.scanner'
    scanner_lines = ([l for l in open(own) if re.match(r'\d+\s+\d\d:', l)] if os.path.exists(own)
                     else [l for l in lines if pid(l) == scanner or pid(l) not in (main,)])
    pass_thread = None
    for l in scanner_lines:
        if 'clone3' in l and 'CLONE_VFORK' not in l and seconds(l) >= found and \
                (os.path.exists(own) or pid(l) == scanner):
            at['attach (21, 22) and start (16)'] = seconds(l)
            m = re.search(r'= (\d+)\s*$', l)
            pass_thread = m.group(1) if m else None
            break
    if pass_thread:
        at['the pass'] = next((seconds(l) for l in scanner_lines
                               if ' exit(0)' in l and pid(l) == pass_thread), None)
    at['end of pass (3) delivered'] = first(
        lambda l: 'mkdir("/tmp' in l and pid(l) not in (main, scanner), found)
    at['front end sees the end'] = first(
        lambda l: ' exit(0)' in l and pid(l) not in (scanner, pass_thread),
        at['end of pass (3) delivered'] or found)
    at['report written'] = first(lambda l: 'write(1, "{' in l)
    at['detach (23), unregistered'] = first(
        lambda l: 'unlinkat(' in l and 'KVCMSOGSY' in l and pid(l) == main)
    at['closing and exit'] = first(lambda l: '+++ exited' in l and pid(l) == main)
    begin = first(lambda l: 'execve(' in l and pid(l) == main)
    order = sorted((v, k) for k, v in at.items() if v is not None)
    out, previous = {}, begin
    for v, k in order:
        out[k] = (v - previous) * 1000
        previous = v
    out['total (traced)'] = (order[-1][0] - begin) * 1000
    return out

folder, runs = sys.argv[1], int(sys.argv[2])
for kind, wall in (('scanner running', sys.argv[3]), ('nothing running', sys.argv[4])):
    results = [steps(os.path.join(folder, f'{kind.split()[0] == "scanner" and "warm" or "cold"}-{r}'))
               for r in range(runs)]
    print(f'\n{kind}: median of {runs} traced runs (ms)')
    names = []
    for r in results:
        for k in r:
            if k not in names and k != 'total (traced)': names.append(k)
    for k in names + ['total (traced)']:
        values = [r[k] for r in results if k in r]
        print('  %-38s %6.0f   [%s]' % (k, statistics.median(values),
                                      ' '.join('%.0f' % v for v in values)))
    walls = [float(w) for w in wall.split()]
    print('  %-38s %6.0f   [%s]' % ('untraced wall time', 1000 * statistics.median(walls),
                                   ' '.join('%.0f' % (1000 * w) for w in walls)))
PY
