# A line changes no file it does not name: a wildcard after a missing folder expands
# to nothing, a completed name with a blank reaches its folder, a redirection into a
# FIFO waits in the program (^C ends it) and not in the shell, and a pipeline with a
# program that is not there opens no file. F4 and the built-ins read a completed name
# as the programs do.
source "$(dirname "$0")/lib.sh" "$1"
mkdir sub k ECHO # a folder named like a program does not hide it
printf 'in a b\n' >"sub/a b.txt"
printf 'keep\n' >a.txt
printf 'keep\n' >report.txt
printf 'b\na\n' >f.txt
printf 'folder file\n' >k/v
printf 'odd file\n' >'k\v'
mkfifo fifo

start_shell
type_text 'rm olddir\*.txt'
send Enter
wait_for 'rm: cannot remove'
[[ -f a.txt && -f report.txt ]] || fail "rm olddir\\*.txt deleted files of the current folder"

complete 'cat sub\a' 'cat "sub\a b.txt"'
send Enter
wait_for '^in a b$'
complete 'echo NEW > sub\a' 'echo NEW > "sub\a b.txt"'
send Enter
wait_for_file() { for _ in $(seq 40); do [[ "$(cat "$1")" == "$2" ]] && return; sleep 0.05; done; fail "$1 holds '$(cat "$1")'"; }
wait_for_file "sub/a b.txt" NEW
[[ ! -e 'sub\a b.txt' ]] || fail "a file named 'sub\\a b.txt' was made"

# A FIFO with nobody at the other end: the shell stays, ^C ends the wait.
for line in 'cat < fifo' 'echo x > fifo'; do
    type_text "$line"
    send Enter
    sleep 0.3
    send C-c
    wait_for '^\[ended by signal 2: Interrupt\]$' 2
    type_text 'cls'
    send Enter
    type_text 'echo alive'
    send Enter
    wait_for '^alive$' 2
done

type_text 'sort f.txt > f.txt | nosuchprog'
send Enter
wait_for "'nosuchprog' is not recognized"
wait_for '^operable program or batch file\.$' # the message's second line
[[ "$(cat f.txt)" == $'b\na' ]] || fail "f.txt was emptied by a line that could not run"

# The odd name is completed to its 8.3 name: type, cat and F4 all reach that file.
send C-u
type_text 'type k_'
send Tab
alias=$(wait_line_change 'type k_')
[[ "$alias" =~ ^type\ K_V~[0-9A-Z]{4}$ ]] || fail "k\\v completed to '$alias'"
send Enter
wait_for '^odd file$'
type_text "cat ${alias#type }"
send Enter
wait_for_lines() { [[ $(screen | grep -c "$1") -ge $2 ]]; }
for _ in $(seq 40); do wait_for_lines '^odd file$' 2 && break; sleep 0.05; done
wait_for_lines '^odd file$' 2 || fail "cat did not reach the odd file"
type_text "${alias#type }"
send F4
wait_for '^odd file'
send Escape
wait_for 'Tab Next'
screen | grep -q '^folder file$' && fail "a completed name reached the folder's file"
quit_shell
