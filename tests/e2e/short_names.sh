# "Short file names" in zarelin-shell: the 8.3 name is inserted, a line holding one
# completes on into its directory, and a typed 8.3 name finds its long name.
source "$(dirname "$0")/lib.sh" "$1"
mkdir "Program Files"
touch "Program Files/readme.txt"

start_shell
complete 'dir pro~55' 'dir "Program Files\"'
send F11
wait_for 'Single entries in menu'
send Down Down Down Enter # Next, Previous, List, the separator skipped: Short file names
wait_gone 'Single entries in menu'
complete 'type pro' 'type PRO~55X8\'
complete 'type PRO~55X8\rea' 'type PRO~55X8\readme.txt'
quit_shell
