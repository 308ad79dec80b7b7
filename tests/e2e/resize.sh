# A menu open while the terminal is resized is drawn again at the new size with its
# selection kept; a terminal narrower than 40 columns still completes.
source "$(dirname "$0")/lib.sh" "$1"
mkdir "Program Files" ProgramData projects

start_shell
type_text "copy pro"
send C-Space
wait_for 'Filenames'
send Down
tmux -L "$SOCKET" resize-window -x 50 -y 12
ROWS=12
wait_for '^ {8,}╔.*Filenames'
send Enter
wait_for '>copy ProgramData\\$'

tmux -L "$SOCKET" resize-window -x 30 -y 10
ROWS=10
# tmux crops the old screen at once; the shell's own redraw has the narrow prompt.
wait_for '^Tab Next  S-Tab Prev  \^Space L$'
wait_for '^C:\.\.\.[^>]{0,11}>'
send C-u
type_text "cd pro"
send Tab
line=$(wait_line_change "cd pro")
[[ "$line" =~ ^cd\ (\"Program\ Files\\\"|ProgramData\\|projects\\)$ ]] || fail "narrow Tab gave '$line'"
quit_shell
