# F4 asks for a file name, opens the editor, Tab and Ctrl+Space complete on the
# editor's current line (also away from its end), F2 saves, Esc leaves.
source "$(dirname "$0")/lib.sh" "$1"
mkdir "Program Files" projects
touch profile.txt

start_shell
send F4
wait_for 'File to edit:'
type_text "notes.txt"
send Enter
wait_for 'notes.txt +1:1'

type_text "copy pro"
send Tab
wait_for '^copy ("Program Files\\"|projects\\|profile\.txt)$'

# A second line, completed in the middle: the cursor stands after "pro" of "pro end".
send Enter
type_text "see pro end"
send Left Left Left Left C-Space
wait_for 'Filenames'
[[ "$(menu_items)" == $'profile.txt\nProgram Files\\\nprojects\\' ]] || fail "editor list was wrong"
send End Enter
wait_for '^see projects\\ end$'

send F2
wait_for 'Saved notes.txt'
send Escape
wait_for 'Tab Next'
first=$(sed -n 1p notes.txt)
[[ "$first" =~ ^copy\ (\"Program\ Files\\\"|projects\\|profile\.txt)$ ]] || fail "saved line 1: '$first'"
[[ "$(sed -n 2p notes.txt)" == 'see projects\ end' ]] || fail "saved line 2: '$(sed -n 2p notes.txt)'"
[[ $(wc -l <notes.txt) -eq 2 ]] || fail "notes.txt has $(wc -l <notes.txt) lines"

# The word under the cursor names the file; leaving without changes asks nothing.
type_text "edit notes.txt"
send F4
wait_for 'notes.txt +1:1'
send Escape
wait_for 'Tab Next'
quit_shell
