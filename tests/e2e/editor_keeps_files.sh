# The editor keeps the user's file: a read-only file opens read-only, a FIFO or a
# device is refused, and SIGTERM or SIGHUP writes unsaved edits to a recovery file
# beside the file, which the next shell names.
source "$(dirname "$0")/lib.sh" "$1"
printf 'kept\n' >locked.txt
chmod 0444 locked.txt
mkfifo pipe
printf 'first\n' >notes.txt

edit() {
    send C-u
    type_text "edit $1"
    send F4
}
shell_pid() { pgrep -P "$(tmux -L "$SOCKET" display -p '#{pane_pid}')" zarelin-shell; }

start_shell
edit locked.txt
wait_for 'read-only file'
type_text 'x'
send F2
send Escape
wait_for 'Tab Next'
[[ "$(cat locked.txt)" == kept ]] || fail "the read-only file changed"
for refused in pipe /dev/zero; do
    edit "$refused"
    wait_for 'not a regular file' 2
done
type_text ' '
send C-u
type_text 'type pipe'
send Enter
wait_for 'is not a file' 2

for sig in TERM HUP; do
    edit notes.txt
    wait_for 'notes.txt +1:1'
    type_text "unsaved $sig "
    wait_for "notes.txt +1:[0-9]+ +\*"
    kill -"$sig" "$(shell_pid)"
    wait_for 'zarelin-shell exited with'
    [[ "$(cat notes.txt)" == first ]] || fail "SIGTERM changed the file itself"
    recovered=$(ls notes.txt.recovered* | tail -n 1)
    [[ "$(cat "$recovered")" == "unsaved $sig first" ]] || fail "$recovered holds '$(cat "$recovered")'"
    rm "$recovered"
    tmux -L "$SOCKET" kill-server
    start_shell
    wait_for 'unsaved edits of notes.txt were kept in'
    screen | tr -d '\n' | grep -qF "$recovered (" || fail "the next start did not name $recovered"
done
quit_shell
