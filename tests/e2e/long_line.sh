# The command line holds 1023 characters, what the module's buffer holds: the rest of
# a longer paste is refused with a notice, and the line that runs is cut there.
source "$(dirname "$0")/lib.sh" "$1"

start_shell
type_text "printf %s $(printf 'a%.0s' $(seq 1 2000))"
wait_for 'holds at most 1023 characters'
# The line scrolled sideways: its end, with the cursor, is in view.
[[ $(command_line) =~ a{40,}$ ]] || fail "the end of the long line is not shown"
# 10 characters of "printf %s " and 1013 a's: drop 10 and pipe into wc.
send End
for _ in $(seq 1 10); do send BSpace; done
type_text " | wc -c"
send Enter
wait_for '^1003$'

# Tab on the long line still works and does not overflow (there is nothing to find).
type_text "printf %s $(printf 'b%.0s' $(seq 1 1100))"
wait_for 'holds at most 1023 characters'
send Tab C-Space
sleep 0.3
send C-u
type_text "echo alive"
send Enter
wait_for '^alive$'

# A character the console's code page has (é) is taken; one it lacks is refused.
type_text "echo é日"
wait_for 'U\+65E5 has no form in the console code page'
[[ $(command_line) == "echo é" ]] || fail "the line became '$(command_line)'"
send Enter
wait_for '^é$'
quit_shell
