#!/usr/bin/env bash
# Stops the test mail servers that start.sh started.
root=${RUVO_MAIL_SERVERS_DIR:-/tmp/ruvo-mail-servers}
if [ -f "$root/pop3/run/master.pid" ]; then
  pid=$(cat "$root/pop3/run/master.pid")
  kill "$pid" 2>/dev/null || true
fi
if [ -f "$root/smtp/server.pid" ]; then
  pid=$(cat "$root/smtp/server.pid")
  kill "$pid" 2>/dev/null || true
fi
for _ in $(seq 1 50); do
  alive=0
  for f in "$root/pop3/run/master.pid" "$root/smtp/server.pid"; do
    [ -f "$f" ] && kill -0 "$(cat "$f")" 2>/dev/null && alive=1
  done
  [ $alive -eq 0 ] && break
  sleep 0.1
done
exit 0
