# Without a terminal the shell says so and ends with status 2, and a terminal that goes
# away during a session ends it: neither leaves it running on a read that never waits.
set -euo pipefail
SHELL_BIN=$(realpath "$1")
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
export XDG_CONFIG_HOME="$WORK/config" XDG_STATE_HOME="$WORK/state" LANG=C.UTF-8 LC_ALL=C.UTF-8
cd "$WORK"

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

status=0
timeout 5 "$SHELL_BIN" </dev/null >"$WORK/out" 2>"$WORK/err" || status=$?
[[ $status == 2 ]] || fail "with standard input from /dev/null: status $status, expected 2"
grep -q '^zarelin-shell: .*terminal' "$WORK/err" || fail "no message: '$(cat "$WORK/err")'"

if ! command -v python3 >/dev/null; then
    source "$(dirname "$0")/../../tools/skips.sh"
    note_skip "no python3: zarelin-shell was not tried on a pseudo-terminal that goes away"
    exit 77
fi
# A pseudo-terminal of a session of its own, so that its end is no hangup signal but
# only a terminal that reads as ready with nothing to read.
python3 - "$SHELL_BIN" <<'PY'
import fcntl, os, select, struct, subprocess, sys, termios, time

shell = sys.argv[1]
env = dict(os.environ, TERM="xterm")

def fail(message):
    print("FAIL: " + message, file=sys.stderr)
    sys.exit(1)

def terminal():
    master, slave = os.openpty()
    fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", 30, 100, 0, 0))
    return master, slave

def ended(process, what):
    try:
        return process.wait(timeout=5)
    except subprocess.TimeoutExpired:
        process.kill()
        fail(what + ": the shell did not end")

# Standard input a terminal, standard output a file.
master, slave = terminal()
with open("out", "wb") as out:
    shell_process = subprocess.Popen([shell], stdin=slave, stdout=out, stderr=subprocess.PIPE,
                                     env=env, start_new_session=True)
os.close(slave)
status = ended(shell_process, "with standard output to a file")
message = shell_process.stderr.read().decode()
os.close(master)
if status != 2 or not message.startswith("zarelin-shell: "):
    fail("with standard output to a file: status %d, message %r" % (status, message))

# A session whose terminal is closed under it.
master, slave = terminal()
shell_process = subprocess.Popen([shell], stdin=slave, stdout=slave, stderr=subprocess.DEVNULL,
                                 env=env, start_new_session=True)
os.close(slave)
shown, deadline = b"", time.monotonic() + 10
while b"Quit" not in shown:
    if time.monotonic() > deadline:
        fail("the screen never came: %r" % shown[-200:])
    if select.select([master], [], [], 0.2)[0]:
        shown += os.read(master, 65536)
os.close(master)
ended(shell_process, "after its terminal was closed")
PY
