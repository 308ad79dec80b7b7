# An option picked in the module's menu (F11) is still set after the shell is quit with
# F10 and started again: the module writes it through the settings store.
source "$(dirname "$0")/lib.sh" "$1"

start_shell
send F11
wait_for 'Single entries in menu'
screen | grep -qE '║ [√*] Short file names' && fail "Short file names was set from the start"
# Next, Previous, List, then the separator is skipped: Short file names.
send Down Down Down Enter
sleep 0.2
send F11
wait_for '║ [√*] Short file names'
send Escape
quit_shell

start_shell
send F11
wait_for 'Single entries in menu'
screen | grep -qE '║ [√*] Short file names' || fail "Short file names was lost on restart"
screen | grep -qE '║ [√*] Current domain only' || fail "Current domain only lost its default"
screen | grep -qE '║ [√*] Show hidden shares' && fail "Show hidden shares was set"
send Escape
quit_shell
