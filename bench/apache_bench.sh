#!/usr/bin/env bash
# Measures what authentication costs in Apache httpd with one child process: wrk's requests per
# second and 99th-percentile latency on one small page served with no authentication, with
# Apache's own mod_authn_file and a {SHA} password file of N users, and with the filter and N
# users of one authority (event log on), for N = 10 and N = 100 000. Prints the table with each
# rate as a ratio of the no-authentication rate measured by the same server.
#
# With --hashes the users' passwords are hashes instead: mod_authn_file with a bcrypt file (cost
# 5, htpasswd's default), and the filter with the same bcrypt hashes and with yescrypt hashes,
# warm (every request the same user, answered from the filter's memory) and cold (a freshly
# started server, every request a user not seen before, so each pays one hash). Every user has
# the same password and hash text (made once; hashing 100 000 users would take minutes), which
# costs the providers exactly what distinct ones would: the filter remembers per user.
#
# Usage: bench/apache_bench.sh [--hashes] [--bin DIR] [--duration S] [--connections N]
#                              [--rounds N]
# Needs the built mod_vardfilt.so and vardfilt.so (default: build/bin), apache2, wrk, python3,
# and for --hashes htpasswd (apache2-utils) and mkpasswd (whois).
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
bin="$top/build/bin"
duration=10
connections=16
rounds=3
hashes=0
while [ $# -gt 0 ]; do
  case "$1" in
    --hashes) hashes=1; shift ;;
    --bin) bin=$2; shift 2 ;;
    --duration) duration=$2; shift 2 ;;
    --connections) connections=$2; shift 2 ;;
    --rounds) rounds=$2; shift 2 ;;
    *) echo "usage: $0 [--hashes] [--bin DIR] [--duration S] [--connections N] [--rounds N]" >&2
       exit 2 ;;
  esac
done
for f in mod_vardfilt.so vardfilt.so; do
  [ -f "$bin/$f" ] || { echo "bench: $bin/$f is missing; build first" >&2; exit 1; }
done

mpm_lines='StartServers 1
ServerLimit 1
ThreadsPerChild 32
MaxRequestWorkers 32
MinSpareThreads 1
MaxSpareThreads 33'
# shellcheck source=bench/apache_common.sh
. "$top/bench/apache_common.sh"

# Prints "requests/s p99" for one wrk run; fails when any answer was not 2xx. A third argument
# is a wrk script that sets each request's credentials itself (then no warm-up run); such a cold
# run prints a third figure instead of failing, the answers that were not 2xx: a burst of first
# requests can exceed what the filter lets verify at once, and those it refuses by design.
measure() {
  local url=$1 auth=$2 script=${3:-} out
  local header=()
  [ -n "$auth" ] && header=(-H "Authorization: Basic $auth")
  if [ -n "$script" ]; then
    header=(-s "$script")
  else
    wrk -t2 -c4 -d1s ${header[@]+"${header[@]}"} "$url" >/dev/null
  fi
  out=$(wrk -t2 "-c$connections" "-d${duration}s" --latency ${header[@]+"${header[@]}"} "$url")
  if [ -n "$script" ]; then
    awk '/Requests\/sec/ {rps=$2} /^ +99%/ {p99=$2} /Non-2xx/ {refused=$NF}
         END {print rps, p99, refused + 0}' <<<"$out"
    return
  fi
  if grep -q "Non-2xx" <<<"$out"; then
    echo "bench: non-2xx answers from $url" >&2
    echo "$out" >&2
    exit 1
  fi
  awk '/Requests\/sec/ {rps=$2} /^ +99%/ {p99=$2} END {print rps, p99}' <<<"$out"
}

# The other programs on the machine come and go: rounds alternate the open page with the guarded
# one, and each figure is the median of its rounds. Prints "open_rps open_p99 guarded_rps
# guarded_p99".
compare() {
  local url=$1 auth=$2 open=() guarded=()
  for _ in $(seq 1 "$rounds"); do
    open+=("$(measure "$base/open/page.html" "")")
    guarded+=("$(measure "$url" "$auth")")
  done
  echo "$(median "${open[@]}") $(median "${guarded[@]}")"
}

# The "rps p99" pair whose rate is the median.
median() {
  printf '%s\n' "$@" | sort -n -k1,1 | awk '{line[NR]=$0} END {print line[int((NR + 1) / 2)]}'
}

# A wrk script (for wrk -t2) whose every request logs on as the next of user1..userN with the
# password "pw".
cold_script() {
  python3 - "$1" "$2" <<'EOF'
import base64, sys
path, n = sys.argv[1], int(sys.argv[2])
with open(path, "w") as f:
    f.write("local headers = {\n")
    for i in range(1, n + 1):
        f.write('"Basic %s",\n' % base64.b64encode(b"user%d:pw" % i).decode())
    # wrk's two threads take alternate users, so no user comes twice in a run.
    f.write("}\nlocal threads = 0\nfunction setup(thread)\n  threads = threads + 1\n"
            "  thread:set(\"offset\", threads)\nend\nlocal step = 0\n"
            "request = function()\n  step = step + 1\n"
            "  local k = ((step - 1) * 2 + offset - 1) %% %d + 1\n" % n)
    f.write('  return wrk.format("GET", nil, { Authorization = headers[k] })\nend\n')
EOF
}

# The --hashes table: per N, Apache's provider with a bcrypt file, then the filter with bcrypt
# and with yescrypt hashes, warm and (at 100 000 users) cold.
hash_rows() {
  local bcrypt yescrypt n dir port auth base kind hash
  bcrypt=$(htpasswd -nbB -C 5 user pw | cut -d: -f2-)
  yescrypt=$(mkpasswd -m yescrypt pw)
  for n in 10 100000; do
    dir="$work/h$n"
    mkdir -p "$dir"
    port=$(free_port)
    base="http://127.0.0.1:$port"
    auth=$(printf 'user%d:pw' "$n" | base64 -w0)
    echo "N = $n, hashes: preparing $n users, then the runs ..." >&2
    make_users "$n" "$dir" "$port" "$bcrypt" "$bcrypt"
    start_apache "$dir" "$port" 0
    read -r open_rps open_p99 file_rps file_p99 < <(compare "$base/file/page.html" "$auth")
    stop_apache
    rows+=("$n|no authentication|$open_rps|$open_p99|$open_rps")
    rows+=("$n|mod_authn_file, bcrypt file|$file_rps|$file_p99|$open_rps")
    for kind in bcrypt yescrypt; do
      [ "$kind" = bcrypt ] && hash=$bcrypt || hash=$yescrypt
      make_users "$n" "$dir" "$port" "$hash" "$bcrypt"
      start_apache "$dir" "$port" 1
      read -r open2_rps _ filt_rps filt_p99 < <(compare "$base/filter/page.html" "$auth")
      stop_apache
      rows+=("$n|vardfilt, $kind, warm|$filt_rps|$filt_p99|$open2_rps")
      if [ "$n" -eq 100000 ]; then
        # A fresh server: its memory is empty, and in one run no user comes twice.
        cold_script "$dir/cold.lua" "$n"
        start_apache "$dir" "$port" 1
        read -r cold_rps cold_p99 cold_refused < <(measure "$base/filter/page.html" "" "$dir/cold.lua")
        stop_apache
        rows+=("$n|vardfilt, $kind, cold, $cold_refused refused|$cold_rps|$cold_p99|$open2_rps")
      fi
    done
  done
}

rows=()
if [ "$hashes" -eq 1 ]; then
  hash_rows
  n_list=""
else
  n_list="10 100000"
fi
for n in $n_list; do
  dir="$work/n$n"
  mkdir -p "$dir"
  port=$(free_port)
  echo "N = $n: preparing $n users, then $((4 * rounds)) runs of ${duration} s ..." >&2
  make_users "$n" "$dir" "$port"
  auth=$(printf 'user%d:pw-user%d' "$n" "$n" | base64 -w0)
  base="http://127.0.0.1:$port"

  start_apache "$dir" "$port" 0
  read -r open_rps open_p99 file_rps file_p99 < <(compare "$base/file/page.html" "$auth")
  stop_apache
  rows+=("$n|no authentication|$open_rps|$open_p99|$open_rps")
  rows+=("$n|mod_authn_file, {SHA} file|$file_rps|$file_p99|$open_rps")

  start_apache "$dir" "$port" 1
  read -r open2_rps open2_p99 filt_rps filt_p99 < <(compare "$base/filter/page.html" "$auth")
  stop_apache
  grep -q '^0, ' "$dir/events.log" || { echo "bench: the filter logged no success" >&2; exit 1; }
  rows+=("$n|no authentication, filter in|$open2_rps|$open2_p99|$open2_rps")
  rows+=("$n|vardfilt, log on|$filt_rps|$filt_p99|$open2_rps")
done

printf '\nOne child process, wrk -t2 -c%s -d%ss, same small page, loopback, median of %s.\n\n' \
  "$connections" "$duration" "$rounds"
printf '| %-7s | %-38s | %10s | %9s | %9s |\n' "N" "Authentication" "req/s" "p99" "ratio"
printf '|%s|%s|%s|%s|%s|\n' "---------" "----------------------------------------" "-----------:" \
  "----------:" "----------:"
for row in "${rows[@]}"; do
  IFS='|' read -r n name rps p99 base_rps <<<"$row"
  ratio=$(awk -v a="$rps" -v b="$base_rps" 'BEGIN {printf "%.2fx", a / b}')
  printf '| %-7s | %-38s | %10.0f | %9s | %9s |\n' "$n" "$name" "$rps" "$p99" "$ratio"
done
