#!/usr/bin/env bash
# A real SMB server for the tests: Debian's smbd with a configuration of its own, on a
# free loopback port, serving a share of every kind smbd has.
#
#   tests/smb/smbd.sh start DIR   makes DIR, starts smbd in the foreground and writes
#                                 DIR/port, DIR/pid and DIR/network.json (the network
#                                 file naming it as the real server SAMBA)
#   tests/smb/smbd.sh stop DIR    stops that smbd by its PID
#
# The shares: data (guest; files, a folder, names with blanks and accents), docs
# (guest, empty), hidden$ (guest), secret (the user in DIR/credentials only), laser
# (a printer), IPC$, which smbd adds itself, and the guest shares notes (a remark of
# 200 characters), one named with 80 characters, café, πfiles and Документы: each long
# entry is followed by others in the server's list. The server WRONG is the same smbd
# reached with DIR/wrong-credentials: the user with a wrong password. Where smbd cannot
# run (not installed, not root), start says so in one line, adds it to the run's skips
# (tools/skips.sh), writes no port and succeeds: the tests that need the server then
# skip.
set -euo pipefail
source "$(dirname "$0")/../../tools/skips.sh"

command=${1:?usage: smbd.sh start|stop DIR}
dir=${2:?usage: smbd.sh start|stop DIR}
smbd=${SMBD:-/usr/sbin/smbd}

# Ends process `$1` (and its group, with `-`), by SIGTERM and after 5 s by SIGKILL.
end_process() {
    kill -- "$1" 2>/dev/null || return 0
    for _ in $(seq 50); do
        kill -0 -- "$1" 2>/dev/null || return 0
        sleep 0.1
    done
    kill -9 -- "$1" 2>/dev/null || true
}

stop() {
    if [[ -f $dir/pid ]]; then
        end_process "$(cat "$dir/pid")"
        rm -f "$dir/pid" "$dir/port"
    fi
    # smbd starts the RPC server (share lists) on demand, in a session of its own that
    # outlives smbd: it and its workers go by the PID it wrote.
    local helper
    for helper in "$dir"/state/pid/*.pid; do
        [[ -f $helper ]] || continue
        end_process "-$(cat "$helper")"
        rm -f "$helper"
    done
}

if [[ $command == stop ]]; then
    stop
    exit 0
fi
[[ $command == start ]] || { echo "usage: smbd.sh start|stop DIR" >&2; exit 2; }

stop # one left by a run that did not end
if [[ ! -x $smbd ]]; then
    note_skip "no smbd at $smbd (Debian package samba): the tests against a real SMB server did not run"
    exit 0
fi
if [[ $(id -u) -ne 0 ]]; then
    note_skip "smbd needs root to serve its users: the tests against a real SMB server did not run"
    exit 0
fi

dir=$(mkdir -p "$dir" && cd "$dir" && pwd)
rm -rf "$dir/state" "$dir/shares"
mkdir -p "$dir"/state/{cache,lock,private,pid,log,ncalrpc,spool}
shares=$dir/shares
mkdir -p "$shares"/{data/projects,docs,hidden,secret}
printf 'hello\n' >"$shares/data/readme.txt"
printf 'q1\n' >"$shares/data/Annual Report 2024.txt"
printf 'plan\n' >"$shares/data/projects/plan.txt"
printf 'caf\xc3\xa9\n' >"$shares/data/caf"$'\xc3\xa9'".txt"
printf 'hidden\n' >"$shares/hidden/h.txt"
printf 'secret\n' >"$shares/secret/s.txt"

user=$(id -un)
password=$(head -c 12 /dev/urandom | od -An -tx1 | tr -d ' \n')
umask 077
printf 'username = %s\npassword = %s\n' "$user" "$password" >"$dir/credentials"
printf 'username = %s\npassword = wrong-%s\n' "$user" "$password" >"$dir/wrong-credentials"

cat >"$dir/smb.conf" <<EOF
[global]
  interfaces = lo
  bind interfaces only = yes
  server role = standalone server
  disable netbios = yes
  state directory = $dir/state
  cache directory = $dir/state/cache
  lock directory = $dir/state/lock
  private dir = $dir/state/private
  pid directory = $dir/state/pid
  ncalrpc dir = $dir/state/ncalrpc
  log file = $dir/state/log/%m.log
  passdb backend = tdbsam:$dir/state/private/passdb.tdb
  usershare path =
  map to guest = Bad User
  guest account = nobody
  load printers = no
  printing = bsd
  printcap name = /dev/null
[data]
  path = $shares/data
  comment = Shared data
  guest ok = yes
  read only = yes
  force user = $user
[docs]
  path = $shares/docs
  guest ok = yes
  force user = $user
[hidden\$]
  path = $shares/hidden
  guest ok = yes
  force user = $user
[secret]
  path = $shares/secret
  valid users = $user
[laser]
  path = $dir/state/spool
  printable = yes
  guest ok = yes
EOF
long=$(printf 'l%.0s' $(seq 80))
for share in notes "$long" caf$'\xc3\xa9' $'\xcf\x80'files \
    $'\xd0\x94\xd0\xbe\xd0\xba\xd1\x83\xd0\xbc\xd0\xb5\xd0\xbd\xd1\x82\xd1\x8b'; do
    printf '[%s]\n  path = %s\n  guest ok = yes\n  force user = %s\n' "$share" "$shares/docs" "$user"
    [[ $share != notes ]] || printf '  comment = %s\n' "$(printf 'r%.0s' $(seq 200))"
done >>"$dir/smb.conf"

# The password goes through standard input, never a command line.
printf '%s\n%s\n' "$password" "$password" |
    smbpasswd -c "$dir/smb.conf" -s -a "$user" >/dev/null

# A free port, and smbd listening on it; another program may take a port between the
# look and the bind, so a start that fails moves on to the next one.
for port in $(seq 4455 4554); do
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && continue # taken
    sed -i "/^  smb ports = /d; /^\[global\]/a\  smb ports = $port" "$dir/smb.conf"
    # A session of its own: smbd signals its whole process group when it ends.
    setsid "$smbd" --foreground --no-process-group --configfile="$dir/smb.conf" \
        >"$dir/state/log/smbd.out" 2>&1 </dev/null &
    pid=$!
    for _ in $(seq 100); do
        if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
            echo "$pid" >"$dir/pid"
            echo "$port" >"$dir/port"
            cat >"$dir/network.json" <<EOF
{ "domain": "TESTS",
  "providers": [ { "name": "Microsoft Windows Network",
                   "domains": [ { "name": "TESTS", "servers": ["SAMBA", "GUEST", "WRONG", "GONE"] } ] } ],
  "servers": {
    "SAMBA": { "smb": { "address": "127.0.0.1", "port": $port, "timeout": 2000,
                        "credentials": "credentials" } },
    "GUEST": { "smb": { "address": "127.0.0.1", "port": $port, "timeout": 2000 } },
    "WRONG": { "smb": { "address": "127.0.0.1", "port": $port, "timeout": 2000,
                        "credentials": "wrong-credentials" } },
    "GONE":  { "smb": { "address": "127.0.0.1", "port": 1, "timeout": 2000 } } } }
EOF
            echo "smbd: serving on 127.0.0.1:$port (pid $pid)"
            exit 0
        fi
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.05
    done
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
done
echo "smbd: did not start (see $dir/state/log)" >&2
tail -5 "$dir/state/log/smbd.out" >&2 || true
exit 1
