# A running command always stops and never takes the shell with it: ^C ends a flood
# of output, a background job left behind does not hold the prompt, and output that
# never ends its line is kept in bounded memory.
source "$(dirname "$0")/lib.sh" "$1"
# Under AddressSanitizer freed memory waits in a quarantine; keep it small enough that
# the peak below still tells a bounded buffer from an unbounded one.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}quarantine_size_mb=16"

start_shell
pid=$(pgrep -P "$(tmux -L "$SOCKET" display -p '#{pane_pid}')" zarelin-shell)

interrupt() { # the command line, what ^C must end it with
    type_text "$1"
    send Enter
    sleep 0.5
    send C-c
    wait_for "$2" 2
    type_text 'echo back'
    send Enter
    wait_for '^back$' 2
    type_text 'cls'
    send Enter
}
interrupt 'yes' '^\[ended by signal 2: Interrupt\]$'
# "&" runs the next command, as in cmd: nothing runs in the background.
interrupt 'yes &' '^\[ended by signal 2: Interrupt\]$'
# A program that ignores SIGINT: the second ^C sends SIGKILL.
type_text 'sh -c "trap \"\" INT; while :; do echo stubborn; done"'
send Enter
sleep 0.5
send C-c
wait_for '\^C again' 2
send C-c
wait_for '^\[ended by signal 9: Killed\]$' 2
type_text 'cls'
send Enter

# The command ends while what it started in the background keeps the output open.
type_text 'sh -c "sleep 10 & echo started"'
send Enter
wait_for '^started$' 2
type_text 'echo prompt is back'
send Enter
wait_for '^prompt is back$' 2

# 20 MB without a newline, then NUL bytes without end: the shell's peak memory grows
# by much less than that (it was measured after the floods above). Keys go to the
# running program, so the next line waits for the prompt.
base=$(awk '/VmHWM/ {print $2}' "/proc/$pid/status")
type_text 'head -c 20000000 /dev/zero | tr ^\0 a'
send Enter
wait_for '^a{100}' 10
wait_for 'Tab Next' 40
type_text 'echo done'
send Enter
wait_for '^done$' 10
interrupt 'cat /dev/zero' '^\[ended by signal 2: Interrupt\]$'
peak=$(awk '/VmHWM/ {print $2}' "/proc/$pid/status")
echo "peak resident memory: $base kB before, $peak kB after"
((peak - base < 50000)) || fail "the shell's memory grew from $base kB to $peak kB"
quit_shell
