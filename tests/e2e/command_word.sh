# The first word of a line completes only to programs (.exe .bat .com .cmd .btm) and
# directories; after "cd " only directories are offered.
source "$(dirname "$0")/lib.sh" "$1"
mkdir progdir Program
touch prog.exe prog.bat prog.com prog.cmd prog.btm prog.txt progress.md program.sh

start_shell
type_text "pro"
send C-Space
wait_for 'Filenames'
items=$(menu_items)
expected=$'prog.bat\nprog.btm\nprog.cmd\nprog.com\nprog.exe\nProgram\\\nprogdir\\'
[[ "$(sort -f <<<"$items")" == "$(sort -f <<<"$expected")" ]] ||
    fail "command-word matches were:"$'\n'"$items"
send Escape

send C-u
type_text "cd pro"
send C-Space
wait_for 'Filenames'
items=$(menu_items)
[[ "$(sort -f <<<"$items")" == "$(sort -f <<<$'Program\\\nprogdir\\')" ]] ||
    fail "cd matches were:"$'\n'"$items"
send Escape

# Tab after "cd " steps through directories only.
send C-u
type_text "cd pro"
line="cd pro"
for _ in 1 2; do
    send Tab
    line=$(wait_line_change "$line")
    [[ "$line" == 'cd Program\' || "$line" == 'cd progdir\' ]] || fail "cd Tab gave '$line'"
done
quit_shell
