# Tab steps through every match once, Shift+Tab steps back, and a Tab past the last
# match leaves the line alone. Which match comes first is readdir's order, so the test
# checks the set.
source "$(dirname "$0")/lib.sh" "$1"
mkdir "Program Files" ProgramData projects other
touch profile.txt readme.txt

declare -A expected=(['copy "Program Files\"']=1 ['copy ProgramData\']=1 ['copy projects\']=1
                     ['copy profile.txt']=1)
start_shell
type_text "copy pro"
wait_for '>copy pro$'

seen=()
line="copy pro"
for _ in 1 2 3 4; do
    send Tab
    line=$(wait_line_change "$line")
    [[ -n "${expected[$line]:-}" ]] || fail "Tab gave '$line', not a match of 'pro'"
    seen+=("$line")
done
[[ $(printf '%s\n' "${seen[@]}" | sort -u | wc -l) -eq 4 ]] || fail "Tab repeated a match: ${seen[*]}"

send BTab
back=$(wait_line_change "$line")
[[ "$back" == "${seen[2]}" ]] || fail "Shift+Tab gave '$back', expected '${seen[2]}'"
send Tab
line=$(wait_line_change "$back")
[[ "$line" == "${seen[3]}" ]] || fail "Tab after Shift+Tab gave '$line', expected '${seen[3]}'"

# Past the last match the line stays as it is.
send Tab
sleep 0.3
[[ $(command_line) == "${seen[3]}" ]] || fail "Tab past the last match changed the line"
quit_shell
