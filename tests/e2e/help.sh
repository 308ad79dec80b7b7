# --help and the help command tell the same text: the options, every key the command
# line takes and the built-in commands.
source "$(dirname "$0")/lib.sh" "$1"
main="$(dirname "$0")/../../tools/shell/main.cpp"

help=$("$SHELL_BIN" --help) || fail "--help did not succeed"
keys=(Tab Shift+Tab Ctrl+Space F4 F7 F8 F10 F11 F12 Up Down Shift+PageUp Shift+PageDown
      PageUp PageDown Enter Esc Home End Left Right Backspace Del '^C' '^U' '^A' '^E' '^B' '^F')
# A function key or a control key the command line takes is named too.
keys+=($(grep -oE 'KEY_F\([0-9]+\)' "$main" | sed -E 's/KEY_F\(([0-9]+)\)/F\1/'))
keys+=($(grep -oE '// \^[A-Z]' "$main" | sed 's|// ||'))
for key in "${keys[@]}"; do
    grep -qE "(^|[ ,(])$(sed 's/[+^]/\\&/g' <<<"$key")([ ,)]|$)" <<<"$help" ||
        fail "--help does not name the key $key"
done
for command in cd chdir dir type cls help exit; do
    grep -qE "^  ($command|.*, $command)[ ,]" <<<"$help" || fail "--help does not name $command"
done
for option in --module --root --network --help; do
    grep -qE "^  $option[ ,]" <<<"$help" || fail "--help does not name $option"
done

start_shell
type_text 'help'
send Enter
wait_for '^  F12 +kills them at once'
wait_for '^  exit +quits'
# Its start is above the screen, in the scrollback.
send S-PPage
wait_for '^usage: zarelin-shell'
quit_shell
