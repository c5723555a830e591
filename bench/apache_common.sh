# Shared by the Apache benchmark scripts (sourced, not run): a scratch directory removed on exit
# with the server started in it, free ports, a configuration of N users and the server itself.
# The sourcing script sets `bin` (where mod_vardfilt.so and vardfilt.so are) and `mpm_lines`.

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

# Starts Apache with the event MPM sized by mpm_lines (its process and thread directives): an open
# directory, one guarded by Apache's own provider (file/) and one left to the filter (filter/).
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
$mpm_lines
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
