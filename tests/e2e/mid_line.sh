# Tab with the cursor inside the line completes the word under it: nothing follows the
# command line within the 256 characters the module reads from its row (the command
# line is the last row), so the visible text places the cursor.
source "$(dirname "$0")/lib.sh" "$1"
mkdir "Program Files"
touch xylophone.txt

start_shell
type_text "copy pro x"
wait_for '>copy pro x$'
send Left Left
send Tab
line=$(wait_line_change "copy pro x")
# With the key labels below the line, the read ran into them and 'x' was completed.
[[ "$line" == 'copy "Program Files\" x' ]] || fail "a Tab after 'pro' gave '$line'"
quit_shell
