# Enter runs the built-ins with Windows-style paths, other commands through /bin/sh
# with their paths translated, and says how a failing command ended.
source "$(dirname "$0")/lib.sh" "$1"
mkdir -p "Program Files/sub"
printf 'first line\nsecond line\n' >"Program Files/read me.txt"

start_shell
type_text 'cd "Program Files\"'
send Enter
wait_for 'Program Files>$'
type_text 'type "read me.txt"'
send Enter
wait_for '^second line$'
type_text 'dir'
send Enter
wait_for '<DIR> +sub$'
wait_for '1 File\(s\)'

type_text 'cd ..'
send Enter
type_text 'cat "Program Files\read me.txt" | wc -l'
send Enter
wait_for '^2$'

# C:\ is the drive root, mapped to / by default.
type_text "ls -d C:\\tmp"
send Enter
wait_for '^/tmp$'

type_text 'sh -c "exit 3"'
send Enter
wait_for '^\[exit status 3\]$'
type_text 'cd nowhere'
send Enter
wait_for 'cannot find the path specified'

# ^C ends a command that would not end by itself.
type_text 'sleep 20'
send Enter
sleep 0.3
send C-c
wait_for '^\[ended by signal 2: Interrupt\]$'

type_text 'exit'
send Enter
wait_for 'zarelin-shell exited with 0'
