# Shared by the end-to-end tests: runs zarelin-shell in a tmux pane of its own, in a
# fresh directory with a fresh settings store, types into it and reads its screen.
# Usage from a test: source lib.sh "$zarelin_shell"
set -euo pipefail

if ! command -v tmux >/dev/null; then
    source "$(dirname "${BASH_SOURCE[0]}")/../../tools/skips.sh"
    note_skip "no tmux (Debian package tmux): the terminal tests of zarelin-shell did not run"
    exit 77 # CTest's SKIP_RETURN_CODE
fi

SHELL_BIN=$(realpath "$1")
ROWS=30
COLS=100
WORK=$(mktemp -d)
STARTS=0 # each start gets a tmux server of its own: a socket is not reused at once
SOCKET=
export XDG_CONFIG_HOME="$WORK/config" XDG_STATE_HOME="$WORK/state" LANG=C.UTF-8 LC_ALL=C.UTF-8
mkdir -p "$XDG_CONFIG_HOME" "$WORK/dir"
cd "$WORK/dir"

cleanup() {
    for ((i = 1; i <= STARTS; ++i)); do tmux -L "zarelin-e2e-$$-$i" kill-server 2>/dev/null || true; done
    rm -rf "$WORK"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    if [[ -n "$SOCKET" ]]; then
        echo "--- screen ---" >&2
        screen >&2 || true
    fi
    exit 1
}

# Starts the shell in $WORK/dir; the pane stays after it ends and says how it ended.
start_shell() {
    STARTS=$((STARTS + 1))
    SOCKET="zarelin-e2e-$$-$STARTS"
    tmux -L "$SOCKET" -f /dev/null -u new-session -d -x "$COLS" -y "$ROWS" -c "$WORK/dir" \
        "$(printf '%q ' "$SHELL_BIN" "$@"); echo \"zarelin-shell exited with \$?\"; sleep 60"
    wait_for 'Tab Next'
}

send() { tmux -L "$SOCKET" send-keys "$@"; }
type_text() { tmux -L "$SOCKET" send-keys -l "$1"; }
screen() { tmux -L "$SOCKET" capture-pane -p; }

# The command line's text after the prompt (the last row, below the key labels).
command_line() { screen | sed -n "${ROWS}p" | sed 's/^[^>]*>//'; }

# Waits until the screen shows a line matching the extended regex $1 (at most $2 s).
wait_for() {
    local deadline=$((SECONDS + ${2:-5}))
    until screen | grep -qE -- "$1"; do
        ((SECONDS < deadline)) || fail "timed out waiting for /$1/"
        sleep 0.05
    done
}

# Waits until no line of the screen matches the extended regex $1.
wait_gone() {
    local deadline=$((SECONDS + 5))
    while screen | grep -qE -- "$1"; do
        ((SECONDS < deadline)) || fail "/$1/ stayed on the screen"
        sleep 0.05
    done
}

# Waits until the command line differs from $1; prints the new one.
wait_line_change() {
    local deadline=$((SECONDS + 5)) line
    while line=$(command_line); [[ "$line" == "$1" ]]; do
        ((SECONDS < deadline)) || fail "the command line stayed '$1'"
        sleep 0.05
    done
    printf '%s\n' "$line"
}

# Types the command line $1 afresh, presses Tab and fails unless the line becomes $2.
complete() {
    send C-u
    type_text "$1"
    wait_for ">$(sed 's/[\\.$]/\\&/g' <<<"$1")\$"
    send Tab
    local line
    line=$(wait_line_change "$1")
    [[ "$line" == "$2" ]] || fail "'$1' + Tab gave '$line', expected '$2'"
}

# As complete, but a server may be slow: a Tab that ends at the module's 2 s bound
# beeps and leaves the line, and the next one goes on waiting. At most $3 Tabs.
complete_slow() {
    send C-u
    type_text "$1"
    wait_for ">$(sed 's/[\\.$]/\\&/g' <<<"$1")\$"
    local tab line
    for ((tab = 1; tab <= ${3:-3}; ++tab)); do
        send Tab
        for _ in $(seq 50); do # 2.5 s: the bound and some
            line=$(command_line)
            [[ "$line" == "$1" ]] || break 2
            sleep 0.05
        done
    done
    [[ "$line" == "$2" ]] || fail "'$1' + $tab Tabs gave '$line', expected '$2'"
}

# The items of the framed menu on the screen, one a line, frame and check column cut.
menu_items() {
    screen | sed -n 's/^ *║ \(.*\) ║$/\1/p' | sed 's/ *$//'
}

# Quits with F10 and waits for the shell to end; fails unless it ended with status 0.
quit_shell() {
    send F10
    wait_for 'zarelin-shell exited with [0-9]+'
    screen | grep -q 'zarelin-shell exited with 0' || fail "the shell did not end cleanly"
    tmux -L "$SOCKET" kill-server 2>/dev/null || true
}
