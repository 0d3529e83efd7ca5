#!/usr/bin/env bash
# Starts the test mail servers on loopback: Dovecot POP3 on 127.0.0.1:21110
# and the SMTP server on 127.0.0.1:21025. Every state, log and mail file lives
# under /tmp/ruvo-mail-servers (see README beside this script). Instances left
# over from an earlier run are stopped first.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=${RUVO_MAIL_SERVERS_DIR:-/tmp/ruvo-mail-servers}
pop3_port=21110
smtp_port=21025

"$here/stop.sh" >/dev/null 2>&1 || true

# Anything still holding our ports is a stale instance: stop it by its id.
for port in $pop3_port $smtp_port; do
  for pid in $(ss -Hltnp "sport = :$port" 2>/dev/null | grep -o 'pid=[0-9]*' | cut -d= -f2 | sort -u); do
    kill "$pid" 2>/dev/null || true
  done
done

rm -rf "$root"
mkdir -p "$root"/pop3/{run,state,log} "$root"/pop3/mail "$root"/smtp
chmod 755 "$root" "$root/pop3" "$root/pop3/mail"

# Accounts: name:password. PLAIN passwords so that APOP works.
accounts=()
for i in $(seq -w 1 30); do accounts+=("nmail$i"); done
for i in $(seq -w 1 30); do accounts+=("client$i"); done
accounts+=(bench)
: > "$root/pop3/passwd"
for a in "${accounts[@]}"; do
  echo "$a:{PLAIN}$a-pw::::::" >> "$root/pop3/passwd"
  mkdir -p "$root/pop3/mail/$a"/{cur,new,tmp}
done
chown -R 65534:65534 "$root/pop3/mail"
chmod 644 "$root/pop3/passwd"

cat > "$root/pop3/dovecot.conf" <<CONF
base_dir = $root/pop3/run
state_dir = $root/pop3/state
log_path = $root/pop3/log/dovecot.log
info_log_path = $root/pop3/log/dovecot.log
protocols = pop3
listen = 127.0.0.1
ssl = no
disable_plaintext_auth = no
auth_mechanisms = plain apop
default_internal_user = dovecot
default_login_user = dovenull
first_valid_uid = 65534
last_valid_uid = 65534
first_valid_gid = 65534
last_valid_gid = 65534
mail_location = maildir:$root/pop3/mail/%u
pop3_uidl_format = %f
login_greeting = RuvoMail test POP3 ready.
# Tests try wrong passwords on purpose: no waiting after a failure.
auth_failure_delay = 0
service anvil {
  unix_listener anvil-auth-penalty {
    mode = 0
  }
}
passdb {
  driver = passwd-file
  args = scheme=PLAIN username_format=%u $root/pop3/passwd
}
userdb {
  driver = static
  args = uid=65534 gid=65534 home=$root/pop3/mail/%u
}
service pop3-login {
  inet_listener pop3 {
    address = 127.0.0.1
    port = $pop3_port
  }
  inet_listener pop3s {
    port = 0
  }
}
service imap-login {
  inet_listener imap {
    port = 0
  }
  inet_listener imaps {
    port = 0
  }
}
CONF

/usr/sbin/dovecot -c "$root/pop3/dovecot.conf" < /dev/null >> "$root/pop3/log/start.log" 2>&1

# The SMTP server, with Debian's own interpreter.
nohup /usr/bin/python3 "$here/smtp_server.py" 127.0.0.1 $smtp_port "$root/smtp/maildir" \
  > "$root/smtp/server.log" 2>&1 < /dev/null &
echo $! > "$root/smtp/server.pid"

wait_port() {
  for _ in $(seq 1 100); do
    if (exec 3<>/dev/tcp/127.0.0.1/"$1") 2>/dev/null; then return 0; fi
    sleep 0.1
  done
  echo "mail servers: nothing listens on port $1" >&2
  cat "$root/pop3/log/dovecot.log" "$root/smtp/server.log" >&2 2>/dev/null || true
  return 1
}
wait_port $pop3_port
wait_port $smtp_port
echo "mail servers: POP3 127.0.0.1:$pop3_port, SMTP 127.0.0.1:$smtp_port, files under $root"
