# Ctrl+Space shows every match, sorted, in a "Filenames" menu; Enter inserts the chosen
# one and Esc leaves the line alone.
source "$(dirname "$0")/lib.sh" "$1"
mkdir "Program Files" ProgramData projects other
touch profile.txt readme.txt

start_shell
type_text "copy pro"
send C-Space
wait_for 'Filenames'
# E2E_SHOW_MENU=1 prints the menu as the terminal shows it.
[[ "${E2E_SHOW_MENU:-}" ]] && screen
items=$(menu_items)
expected=$'profile.txt\nProgram Files\\\nProgramData\\\nprojects\\'
[[ "$items" == "$expected" ]] || fail "menu items were:"$'\n'"$items"

send Down Enter
wait_for '>copy "Program Files\\"$'

# Esc closes the menu and leaves the line as it was.
send C-u
type_text "copy pro"
send C-Space
wait_for 'Filenames'
send Escape
wait_gone 'Filenames'
[[ $(command_line) == "copy pro" ]] || fail "Esc changed the line to '$(command_line)'"
quit_shell
