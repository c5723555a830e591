#!/usr/bin/env bash
# Whether saving the configuration stalls a busy site: Apache httpd with the event MPM (4 children
# x 64 threads), the filter with one authority of N users (event log on), and wrk with 64
# connections on one guarded page as one user for D seconds, twice: once with the file left alone
# and once while it is saved S times, evenly spread over the run. Each save is what the pages do:
# the whole new file written to a private temporary beside it and renamed over it (the two
# versions differ in another user's password), so every child notices it and reloads. Prints
# requests/s, median and 99th-percentile latency, and wrk's timeouts (no answer within 2 s) and
# errors (socket errors and non-2xx answers) of both runs.
#
# Usage: bench/apache_stress.sh [--bin DIR] [--users N] [--duration S] [--saves S]
# Defaults: build/bin, 100 000 users, 15 s, 30 saves. Needs the built mod_vardfilt.so and
# vardfilt.so, apache2, wrk and python3.
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
bin="$top/build/bin"
users=100000
duration=15
saves=30
connections=64
while [ $# -gt 0 ]; do
  case "$1" in
    --bin) bin=$2; shift 2 ;;
    --users) users=$2; shift 2 ;;
    --duration) duration=$2; shift 2 ;;
    --saves) saves=$2; shift 2 ;;
    *) echo "usage: $0 [--bin DIR] [--users N] [--duration S] [--saves S]" >&2; exit 2 ;;
  esac
done
for f in mod_vardfilt.so vardfilt.so; do
  [ -f "$bin/$f" ] || { echo "stress: $bin/$f is missing; build first" >&2; exit 1; }
done

# MaxSpareThreads covers every thread, so no child is stopped (and its filter lost) mid-run.
mpm_lines='StartServers 4
ServerLimit 4
ThreadsPerChild 64
MaxRequestWorkers 256
MinSpareThreads 1
MaxSpareThreads 256'
# shellcheck source=bench/apache_common.sh
. "$top/bench/apache_common.sh"

# Writes the second version of the configuration, which differs from the first in user1's
# password only (the run logs on as the last user).
make_second_version() {
  python3 - "$1" <<'EOF'
import sys
d = sys.argv[1]
text = open(d + "/vardomar.cfg").read()
marker = "(string)Password=pw-user1\n"
assert marker in text
open(d + "/vardomar.cfg.b", "w").write(text.replace(marker, "(string)Password=pw-user1-b\n", 1))
EOF
}

# Saves the configuration `count` times at even intervals over `seconds`, alternating the two
# versions, each written to a private temporary and renamed over the file (owned by the server's
# user when run as root, as the pages' saves are).
save_during() {
  python3 - "$1" "$2" "$3" <<'EOF'
import os, pwd, sys, time
d, count, seconds = sys.argv[1], int(sys.argv[2]), float(sys.argv[3])
versions = [open(d + "/vardomar.cfg." + v, "rb").read() for v in ("a", "b")]
owner = pwd.getpwnam("www-data") if os.getuid() == 0 else None
start = time.monotonic()
for i in range(count):
    time.sleep(max(0.0, start + (i + 0.5) * seconds / count - time.monotonic()))
    tmp = "%s/vardomar.cfg.tmp" % d
    fd = os.open(tmp, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o600)
    if owner is not None:
        os.fchown(fd, owner.pw_uid, owner.pw_gid)
    os.write(fd, versions[(i + 1) % 2])
    os.close(fd)
    os.replace(tmp, d + "/vardomar.cfg")
EOF
}

# Prints "requests/s p50 p99 timeouts errors" for one run of wrk's output.
summarize() {
  awk '/Requests\/sec/ {rps = $2}
       /^ +50%/ {p50 = $2}
       /^ +99%/ {p99 = $2}
       /Socket errors/ {gsub(",", ""); errors += $4 + $6 + $8; timeouts = $10}
       /Non-2xx/ {errors += $5}
       END {print rps, p50, p99, timeouts + 0, errors + 0}'
}

dir="$work/stress"
mkdir -p "$dir"
port=$(free_port)
echo "stress: preparing $users users ..." >&2
make_users "$users" "$dir" "$port"
make_second_version "$dir"
cp "$dir/vardomar.cfg" "$dir/vardomar.cfg.a"
auth=$(printf 'user%d:pw-user%d' "$users" "$users" | base64 -w0)
url="http://127.0.0.1:$port/filter/page.html"
start_apache "$dir" "$port" 1

rows=()
for run in quiet saving; do
  # Every child has loaded and every connection is open before the measured run.
  wrk -t2 "-c$connections" -d2s -H "Authorization: Basic $auth" "$url" >/dev/null
  echo "stress: $run run, ${duration} s ..." >&2
  saver=""
  if [ "$run" = saving ]; then
    save_during "$dir" "$saves" "$duration" &
    saver=$!
  fi
  out=$(wrk -t2 "-c$connections" "-d${duration}s" --latency -H "Authorization: Basic $auth" "$url")
  [ -z "$saver" ] || wait "$saver"
  rows+=("$run|$(summarize <<<"$out")")
done
stop_apache
grep -q '^0, ' "$dir/events.log" || { echo "stress: the filter logged no success" >&2; exit 1; }

printf '\n%s users, 4 children x 64 threads, wrk -t2 -c%s -d%ss, %s saves in the second run.\n\n' \
  "$users" "$connections" "$duration" "$saves"
printf '| %-7s | %10s | %9s | %9s | %8s | %6s |\n' "Saves" "req/s" "p50" "p99" "timeouts" \
  "errors"
printf '|%s|%s|%s|%s|%s|%s|\n' "---------" "-----------:" "----------:" "----------:" \
  "---------:" "-------:"
for row in "${rows[@]}"; do
  IFS='|' read -r run figures <<<"$row"
  read -r rps p50 p99 timeouts errors <<<"$figures"
  [ "$run" = quiet ] && label=0 || label=$saves
  printf '| %-7s | %10.0f | %9s | %9s | %8s | %6s |\n' "$label" "$rps" "$p50" "$p99" "$timeouts" \
    "$errors"
done
