# F2 does not silently write over a file that another program changed since the editor
# read it: it asks, N keeps what is on disk, Y writes over it, and the editor's own
# save is no change to ask about.
source "$(dirname "$0")/lib.sh" "$1"
printf 'first\n' >notes.txt

start_shell
type_text 'edit notes.txt'
send F4
wait_for 'notes.txt +1:1'
printf 'from outside\n' >notes.txt
type_text 'mine '
wait_for 'notes.txt +1:[0-9]+ +\*'
send F2
wait_for 'notes.txt changed on disk since it was read. Y overwrites it, N/Esc keeps it'
send n
wait_for 'Not saved: notes.txt stays as it is on disk'
[[ "$(cat notes.txt)" == 'from outside' ]] || fail "N wrote over the file: '$(cat notes.txt)'"

send F2 # Esc keeps it too
wait_for 'changed on disk since it was read'
send Escape
wait_for 'Not saved'
[[ "$(cat notes.txt)" == 'from outside' ]] || fail "Esc wrote over the file: '$(cat notes.txt)'"

send F2
wait_for 'changed on disk since it was read'
send y
wait_for 'Saved notes.txt'
[[ "$(cat notes.txt)" == 'mine first' ]] || fail "Y did not write the file: '$(cat notes.txt)'"

# Saved here: the next F2 writes at once.
type_text 'again '
wait_for 'notes.txt +1:[0-9]+ +\*'
send F2
wait_for 'Saved notes.txt'
[[ "$(cat notes.txt)" == 'mine again first' ]] || fail "the second save gave '$(cat notes.txt)'"
send Escape
wait_for 'Tab Next'
quit_shell
