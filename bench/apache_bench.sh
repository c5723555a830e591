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

work=$(mktemp -d /tmp/vardomar-bench.XXXXXX)
chmod 755 "$work"
apache_pid=""
cleanup() {
  if [ -n "$apache_pid" ]; then
    kill -TERM "$apache_pid" 2>/dev/null || true
    wait "$apache_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}

# The users: user1..userN with password "pw-<name>"; every request logs on as the last one, the
# worst case for a provider that reads its file from the top. Given hashes (the fourth argument
# for the filter's file, the fifth for Apache's), every user has the password "pw" and that hash.
make_users() {
  local n=$1 dir=$2 port=$3 filter_hash=${4:-} file_hash=${5:-}
  python3 - "$n" "$dir" "$port" "$filter_hash" "$file_hash" <<'EOF'
import base64, hashlib, sys
n, d, port, filter_hash, file_hash = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4], sys.argv[5]
def sha(i):
    return "{SHA}" + base64.b64encode(hashlib.sha1(b"pw-user%d" % i).digest()).decode()
with open(d + "/passwd", "w") as f:
    for i in range(1, n + 1):
        f.write("user%d:%s\n" % (i, file_hash or sha(i)))
with open(d + "/vardomar.cfg", "w") as f:
    f.write("{ MAIN:\n    (int)Disable=0\n    (string)log=%s/events.log\n" % d)
    f.write("    { SERVERS:\n        (string)127.0.0.1|%s=Bench\n    } SERVERS;\n} MAIN;\n" % port)
    f.write("{ NTACCOUNTS:\n    { webstaff:\n        (string)Password=nt-pw\n"
            "    } webstaff;\n} NTACCOUNTS;\n{ ACCOUNTS:\n    { Bench:\n"
            "        (int)ExpirationRequired=0\n")
    for i in range(1, n + 1):
        f.write("        { user%d:\n            (string)Password=%s\n"
                "            (int)DoNotMap=0\n            (string)MapTo=webstaff\n"
                "            (int)noexpiration=1\n            (int)disabled=0\n"
                "        } user%d;\n" % (i, filter_hash or "pw-user%d" % i, i))
    f.write("    } Bench;\n} ACCOUNTS;\n")
with open(d + "/registry", "w") as f:
    f.write("[HKEY_LOCAL_MACHINE\\Software\\Trevalo soft\\Vardomar (Text)]\n")
    f.write('"Configuration File"="%s/vardomar.cfg"\n' % d)
EOF
}

# with_filter 1: the filter judges every guarded request of the server, so Apache's own provider
# is measured on a server of its own, without the filter.
start_apache() {
  local dir=$1 port=$2 with_filter=$3
  local modules=/usr/lib/apache2/modules user_lines="" filter_lines=""
  if [ "$with_filter" -eq 1 ]; then
    filter_lines=$(printf 'LoadModule vardfilt_module "%s/mod_vardfilt.so"\nIsapiFilter "%s/vardfilt.so"' \
      "$dir" "$dir")
  fi
  [ "$(id -u)" -eq 0 ] && user_lines=$'User www-data\nGroup www-data'
  mkdir -p "$dir/run" "$dir/htdocs/open" "$dir/htdocs/file" "$dir/htdocs/filter"
  for d in open file filter; do
    printf '<!DOCTYPE html><html><body><p>A small page.</p></body></html>\n' \
      >"$dir/htdocs/$d/page.html"
  done
  cp "$bin/vardfilt.so" "$bin/mod_vardfilt.so" "$dir/"
  : >"$dir/empty.passwd"
  cat >"$dir/httpd.conf" <<EOF
ServerRoot "$dir"
Listen 127.0.0.1:$port
ServerName 127.0.0.1
DefaultRuntimeDir "$dir/run"
PidFile "$dir/run/httpd.pid"
ErrorLog "$dir/error.log"
LogLevel warn
TypesConfig /etc/mime.types
$user_lines
LoadModule mpm_event_module $modules/mod_mpm_event.so
LoadModule authn_core_module $modules/mod_authn_core.so
LoadModule authn_file_module $modules/mod_authn_file.so
LoadModule authz_core_module $modules/mod_authz_core.so
LoadModule authz_user_module $modules/mod_authz_user.so
LoadModule auth_basic_module $modules/mod_auth_basic.so
LoadModule mime_module $modules/mod_mime.so
$filter_lines
StartServers 1
ServerLimit 1
ThreadsPerChild 32
MaxRequestWorkers 32
MinSpareThreads 1
MaxSpareThreads 33
DocumentRoot "$dir/htdocs"
<Directory "$dir/htdocs">
    Require all granted
</Directory>
<Directory "$dir/htdocs/file">
    AuthType Basic
    AuthName "bench"
    AuthBasicProvider file
    AuthUserFile "$dir/passwd"
    Require valid-user
</Directory>
<Directory "$dir/htdocs/filter">
    AuthType Basic
    AuthName "bench"
    AuthBasicProvider file
    AuthUserFile "$dir/empty.passwd"
    Require valid-user
</Directory>
EOF
  if [ "$(id -u)" -eq 0 ]; then
    chown -R www-data:www-data "$dir"
  fi
  VARDOMAR_REGISTRY="$dir/registry" /usr/sbin/apache2 -f "$dir/httpd.conf" -DFOREGROUND &
  apache_pid=$!
  for _ in $(seq 1 100); do
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && return 0
    sleep 0.1
  done
  echo "bench: Apache did not start" >&2
  cat "$dir/error.log" >&2
  exit 1
}

stop_apache() {
  kill -TERM "$apache_pid"
  wait "$apache_pid" || true
  apache_pid=""
}

# Prints "requests/s p99" for one wrk run; fails when any answer was not 2xx. A third argument
# is a wrk script that sets each request's credentials itself (then no warm-up run).
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
        read -r cold_rps cold_p99 < <(measure "$base/filter/page.html" "" "$dir/cold.lua")
        stop_apache
        rows+=("$n|vardfilt, $kind, cold|$cold_rps|$cold_p99|$open2_rps")
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
printf '| %-7s | %-28s | %10s | %9s | %9s |\n' "N" "Authentication" "req/s" "p99" "ratio"
printf '|%s|%s|%s|%s|%s|\n' "---------" "------------------------------" "-----------:" \
  "----------:" "----------:"
for row in "${rows[@]}"; do
  IFS='|' read -r n name rps p99 base_rps <<<"$row"
  ratio=$(awk -v a="$rps" -v b="$base_rps" 'BEGIN {printf "%.2fx", a / b}')
  printf '| %-7s | %-28s | %10.0f | %9s | %9s |\n' "$n" "$name" "$rps" "$p99" "$ratio"
done
