#!/usr/bin/env bash
# Whole-process time of vardadmin requests against a large configuration, as the web server
# runs them: MainScreen (load only) and BindAddDo (load and save) against 100 000 users (or the
# count given), and ViewLog over a log of 1 000 000 records. Prints the median of each (hyperfine
# when present, else a timed loop), then each request's peak resident memory, since every request
# holds the whole configuration, and with VARD_BENCH_INSTRUCTIONS=1 its instruction count
# (valgrind), which a busy machine does not disturb.
#
#   bench/admin_bench.sh [build-dir] [runs] [users]      (defaults: build, 10, 100000)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build}
runs=${2:-10}
users=${3:-100000}
admin=$build/bin/vardadmin
[[ -x $admin ]] || { echo "no $admin: build the vardadmin target first" >&2; exit 1; }

work=$(mktemp -d /tmp/vard-admin-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT
config=$work/config.cfg
log=$work/auth.log
# Posted from the programs' own pages, as the guard demands of the actions that change things.
export VARDOMAR_REGISTRY=$work/registry SCRIPT_NAME=/scripts/vardadmin SERVER_NAME=localhost \
  SERVER_PORT=80 REQUEST_METHOD=POST HTTP_HOST=localhost HTTP_SEC_FETCH_SITE=same-origin

# The users in one authority, laid out as the administration pages write them.
awk -v logpath="$log" -v users="$users" 'BEGIN {
  print "{ MAIN:"; print "    (int)Disable=0"; print "    (string)log=" logpath
  print "    { SERVERS:"; print "        (string)bench=Bench"; print "    } SERVERS;"
  print "} MAIN;"
  print "{ NTACCOUNTS:"; print "    { webstaff:"; print "        (string)Password=secret"
  print "    } webstaff;"; print "} NTACCOUNTS;"
  print "{ ACCOUNTS:"; print "    { Bench:"; print "        (int)ExpirationRequired=0"
  for (i = 0; i < users; i++) {
    u = sprintf("user%06d", i)
    print "        { " u ":"
    print "            (string)Password=pw" i
    print "            (int)DoNotMap=0"
    print "            (string)MapTo=webstaff"
    print "            (string)expiredate=12/31/2030"
    print "            (int)noexpiration=0"
    print "            (int)disabled=0"
    print "        } " u ";"
  }
  print "    } Bench;"; print "} ACCOUNTS;"
}' > "$config"
cp "$config" "$work/config.orig"

# 1 000 000 records in the filter's format, mostly successes with some refusals between them.
awk 'BEGIN {
  for (i = 0; i < 1000000; i++) {
    id = (i % 10 == 9) ? 4 : 0
    d = (id == 0) ? "OK Authenticated (UserName UserDB)" : "Invalid password"
    printf "%d, 14:05, %2d/%2d/2024, %s, user%06d, Bench, /default.htm, bench\n",
      id, 1 + i % 12, 1 + i % 28, d, i % 100000
  }
}' > "$log"

# Store the location through the program itself.
config_body="Config=$config"
QUERY_STRING=Action=Config CONTENT_LENGTH=${#config_body} "$admin" <<<"$config_body" >/dev/null

echo "configuration: $(wc -c <"$config") bytes, log: $(wc -c <"$log") bytes"

# Each BindAddDo adds a new binding and rewrites the file; restoring the original first keeps
# every run alike (the copy is not part of the measured command in the loop fallback either).
bind_body='Host=bench-host&Port=8080&Authority=Bench'
cat >"$work/main_screen.sh" <<SH
QUERY_STRING=Action=MainScreen exec "$admin" </dev/null >/dev/null
SH
cat >"$work/bind_add.sh" <<SH
QUERY_STRING=Action=BindAddDo CONTENT_LENGTH=${#bind_body} exec "$admin" >/dev/null <<<"$bind_body"
SH
view_body='type=-1&record=500000'
cat >"$work/view_log.sh" <<SH
QUERY_STRING=Action=ViewLog CONTENT_LENGTH=${#view_body} exec "$admin" >/dev/null <<<"$view_body"
SH
restore="cp $work/config.orig $config"

if command -v hyperfine >/dev/null; then
  hyperfine --runs "$runs" --warmup 1 --export-json "$work/main.json" \
    -n MainScreen "bash $work/main_screen.sh" \
    -n ViewLog "bash $work/view_log.sh"
  hyperfine --runs "$runs" --warmup 1 --prepare "$restore" --export-json "$work/bind.json" \
    -n BindAddDo "bash $work/bind_add.sh"
  python3 - "$work/main.json" "$work/bind.json" <<'PY'
import json, sys
for path in sys.argv[1:]:
    for r in json.load(open(path))["results"]:
        print(f"median {r['command']}: {r['median']:.3f} s")
PY
else
  median() {  # name, prepare command, script
    local times=()
    for ((i = 0; i < runs; i++)); do
      eval "$2"
      local t0 t1
      t0=$(date +%s.%N)
      bash "$3"
      t1=$(date +%s.%N)
      times+=("$(echo "$t1 - $t0" | bc)")
    done
    printf '%s\n' "${times[@]}" | sort -n | awk -v n="$1" \
      '{ a[NR] = $1 } END { m = (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2;
         printf "median %s: %.3f s\n", n, m }'
  }
  median MainScreen : "$work/main_screen.sh"
  median BindAddDo "$restore" "$work/bind_add.sh"
  median ViewLog : "$work/view_log.sh"
fi

# Peak resident memory and, when asked, instructions of one run of each page.
for page in main_screen:MainScreen bind_add:BindAddDo; do
  script=$work/${page%%:*}.sh
  eval "$restore"
  if [[ -x /usr/bin/time ]]; then
    /usr/bin/time -f "peak RSS ${page#*:}: %M KB" bash "$script"
  fi
  if [[ ${VARD_BENCH_INSTRUCTIONS:-0} == 1 ]] && command -v valgrind >/dev/null; then
    eval "$restore"
    valgrind --tool=callgrind --trace-children=yes --callgrind-out-file=/dev/null \
      bash "$script" 2>&1 | awk -v n="${page#*:}" '/Collected/ { c = $NF }
        END { print "instructions " n ": " c }'
  fi
done
