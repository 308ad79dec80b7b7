# Programs run on a terminal of their own: a full-screen editor and a pager work with
# the keys they ask for and give the prompt back, colours stay, a program reads a line
# typed at its own prompt, the screen shows no prompt while a program runs, and the
# module still finds the cursor on a sideways-scrolled line afterwards.
source "$(dirname "$0")/lib.sh" "$1"
editor=$(command -v vim || command -v vim.tiny || command -v vi || true)
pager=$(command -v less || true)
[[ -n "$editor" && -n "$pager" ]] && command -v python3 >/dev/null || {
    source "$(dirname "$0")/../../tools/skips.sh"
    note_skip "no vim, less or python3 (Debian packages vim-tiny, less, python3): the tests of programs in the shell's terminal did not run"
    exit 77
}
printf 'first\n' >notes.txt
seq 1 200 | sed 's/^/line /' >long.txt
touch colour.log

start_shell
type_text "$(basename "$editor") -u NONE notes.txt"
send Enter
wait_for '^first'
screen | grep -q 'Tab Next' && fail "the key labels show while a program runs"
send o
type_text 'added by the editor'
send Escape
type_text ':wq'
send Enter
wait_for 'Tab Next' 5
[[ "$(cat notes.txt)" == $'first\nadded by the editor' ]] || fail "the editor saved '$(cat notes.txt)'"
# Its alternate screen is gone: the output above the prompt is the shell's.
screen | grep -q '^~' && fail "the editor's screen stayed behind"

type_text "$(basename "$pager") long.txt"
send Enter
wait_for '^line 1$'
send Space
wait_for '^line 40$'
send q
wait_for 'Tab Next' 5

# Colours reach the terminal, and stay once the program has ended: capture-pane -e
# shows the escapes of a red word and of ls's blue folder.
mkdir blue.d
type_text 'printf "\033[31mred\033[0m plain\n" & ls --color=always -d blue.d'
send Enter
wait_for '^blue\.d$'
tmux -L "$SOCKET" capture-pane -e -p | grep -q $'\e\\[31mred' || fail "the red was lost"
tmux -L "$SOCKET" capture-pane -e -p | grep -q $'34mblue\\.d' || fail "ls's colour was lost"

# A program reads a line typed at its own prompt; ^D ends it.
type_text 'python3 -q'
send Enter
wait_for '^>>>$'
type_text 'print(6 * 7)'
send Enter
wait_for '^42$'
send C-d
wait_for 'Tab Next' 5

# A program that reads ^C as a key keeps running; F12 stops it for good.
type_text "$(basename "$editor") -u NONE notes.txt"
send Enter
wait_for '^first'
send C-c
sleep 0.3
screen | grep -q 'Tab Next' && fail "^C ended the editor, which reads it as a key"
send F12
wait_for '^\[ended by signal 9: Killed\]$'
rm -f .notes.txt.sw?

# The terminal follows the window's size.
type_text 'sh -c "sleep 1; stty size"'
send Enter
tmux -L "$SOCKET" resize-window -x 90 -y 25
wait_for '^25 90$'
wait_for 'Tab Next'

# Keys a program leaves unread were typed ahead for the prompt.
type_text 'sleep 1'
send Enter
type_text 'echo typed ahead'
send Enter
wait_for '^typed ahead$' 5

# After all that, Tab on a line scrolled sideways still completes its last word.
type_text "echo $(printf 'x%.0s' $(seq 1 120)) not"
send Tab
wait_for 'notes\.txt$'
quit_shell
