# Shift+PageUp goes back through the output a screen at a time, to its first line; the
# key-label row says where the view stands, and any other key goes back to the prompt.
source "$(dirname "$0")/lib.sh" "$1"
for i in $(seq 300); do echo "line $i"; done >long.txt

start_shell
type_text 'type long.txt'
send Enter
wait_for '^line 300$'
for _ in $(seq 20); do
    screen | grep -qE '^line 1 *$' && break
    send S-PPage
    sleep 0.1
done
wait_for '^line 1 *$'
wait_for '^-- scrollback: lines 1-28 of 301 '
screen | grep -qE '^line 300' && fail "the newest line is on show at the top"
send S-PPage # no further than the top
wait_for '^-- scrollback: lines 1-28 of 301 '

# Shift+PageDown a screen on; then a key goes back to the prompt, and does its work.
send S-NPage
wait_for '^-- scrollback: lines 29-56 of 301 '
type_text 'x'
wait_gone 'scrollback:'
wait_for '^line 300$'
[[ "$(command_line)" == "x" ]] || fail "the key that ended the browsing was lost"

# PageUp browses only while the line is empty: elsewhere it is the line's.
send PPage
sleep 0.2
screen | grep -q 'scrollback:' && fail "PageUp browsed with text on the line"
send C-u PPage
wait_for '^-- scrollback: lines 246-273 of 301 '
send NPage
wait_gone 'scrollback:'
wait_for '^line 300$'
quit_shell
