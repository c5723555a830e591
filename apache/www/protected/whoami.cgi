#!/bin/sh
# Shows whom a request of the guarded site runs as: the user Apache settled on, how, and the user
# name of the credentials passed on to programs behind it (never the password).
escape() {
  printf '%s' "$1" | sed -e 's/&/\&amp;/g' -e 's/</\&lt;/g' -e 's/>/\&gt;/g' -e 's/"/\&quot;/g'
}
forwarded=""
case "$HTTP_AUTHORIZATION" in
  [Bb]asic\ *)
    forwarded=$(printf '%s' "${HTTP_AUTHORIZATION#* }" | base64 -d 2>/dev/null | head -c 4096)
    forwarded=${forwarded%%:*}
    ;;
esac
printf 'Content-Type: text/html; charset=utf-8\r\n\r\n'
cat <<PAGE
<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8"><title>Who am I</title></head>
<body>
<h1>Who am I</h1>
<table>
<tr><th>REMOTE_USER</th><td id="remote-user">$(escape "$REMOTE_USER")</td></tr>
<tr><th>AUTH_TYPE</th><td id="auth-type">$(escape "$AUTH_TYPE")</td></tr>
<tr><th>User name passed on</th><td id="passed-user">$(escape "$forwarded")</td></tr>
</table>
<p><a href="./">Back to the guarded page</a></p>
</body></html>
PAGE
