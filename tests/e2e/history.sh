# The lines run are kept across a restart: Up and Down step through them, F8 finds the
# newest that begins as the line does, F7 lists them, and a recalled line completes as
# the line it is.
source "$(dirname "$0")/lib.sh" "$1"
touch alpha1 alpha2 beta1 beta2

# Waits until the command line is $1.
line_is() {
    local deadline=$((SECONDS + 5))
    until [[ "$(command_line)" == "$1" ]]; do
        ((SECONDS < deadline)) || fail "the command line is '$(command_line)', expected '$1'"
        sleep 0.05
    done
}

run() {
    type_text "$1"
    send Enter
    wait_for "$2"
}

start_shell
run 'echo first' '^first$'
run 'echo second' '^second$'
run 'echo second' '^second$' # a repeat is kept once
quit_shell
[[ "$(cat "$XDG_STATE_HOME/zarelin/history")" == $'echo first\necho second' ]] ||
    fail "the history file holds: $(cat "$XDG_STATE_HOME/zarelin/history")"

start_shell
type_text 'ec'
line_is 'ec'
send Up
line_is 'echo second'
send Up
line_is 'echo first'
send Up
line_is 'echo first' # the oldest stays
send Down
line_is 'echo second'
send Down
line_is 'ec' # back to the line being typed

run 'ho fa' '^fa$'
run 'dir' 'File\(s\)'
run 'echo fb' '^fb$'
# F8: the newest line that begins with the text before the cursor, then older ones.
send C-u
type_text 'echo f'
line_is 'echo f'
send F8
line_is 'echo fb'
send F8
line_is 'echo fa'
send F8
line_is 'echo first'
send C-u
type_text 'zz'
send F8
wait_for 'No earlier line begins so'
line_is 'zz'

# F7: the list, the newest chosen at first; Enter puts the line chosen on the line.
send F7
wait_for '║ echo fb'
# The output shows beside the box: the items are what stands between its sides.
items=$(screen | sed -n 's/^.*║ \(.*\) ║.*$/\1/p' | sed 's/ *$//')
[[ "$items" == $'echo first\necho second\necho fa\ndir\necho fb' ]] || fail "F7 listed: $items"
send Up Enter
line_is 'dir'

# A recalled line is a new line to the module: Tab completes its word as it would the
# word typed, and does not go on from the completion made just before.
send C-u
run 'type be' 'cannot find the file'
type_text 'type be'
line_is 'type be'
send Tab
typed=$(wait_line_change 'type be') # the folder's order: beta1 or beta2
[[ "$typed" == "type beta"[12] ]] || fail "'type be' + Tab gave '$typed'"
send C-u
type_text 'type al'
line_is 'type al'
send Tab
wait_line_change 'type al' >/dev/null
send Up
line_is 'type be'
send Tab
line_is "$typed"
quit_shell

# A shell ended by a signal keeps its lines too.
start_shell
run 'echo signalled' '^signalled$'
kill -TERM "$(pgrep -P "$(tmux -L "$SOCKET" display -p '#{pane_pid}')" zarelin-shell)"
wait_for 'zarelin-shell exited with'
tail -n 1 "$XDG_STATE_HOME/zarelin/history" | grep -qx 'echo signalled' ||
    fail "a signal lost the lines run: $(tail -n 3 "$XDG_STATE_HOME/zarelin/history")"
