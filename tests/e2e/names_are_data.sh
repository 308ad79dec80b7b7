# A file name is data: a name holding any of ; $ ` ( ) ' & ^ % ~ is completed with Tab
# and run, and the program gets it as it stands; a name Windows could not hold (one
# with | > < * ? \ " or a newline) is completed to its 8.3 name, which reaches the
# same file. Each file holds its own case number, so `cat` proves the name arrived
# whole; a decoy holds what would show if the name had been split, expanded or taken
# for a path; and the commands the names hold, had they run, would have left P* files.
source "$(dirname "$0")/lib.sh" "$1"

names=(
    'n1;touch P1'
    'n2$(touch P2)'
    'n3`touch P3`'
    'n4|touch P4'
    'n5>P5'
    'n6<n6'
    'n7&touch P7'
    'n8(touch P8)'
    'n9*x'
    'n10?x'
    'n11\y'
    "n12'x'"
    $'n13\ntouch P13'
    'n14"x'
    'n15^x%PATH%~1'
)
decoys=(n9-x n10Ax n11/y n14x) # what "*", "?", "\" and '"' would reach if they were interpreted
mkdir n11
for i in "${!names[@]}"; do printf 'content-%d\n' "$((i + 1))" >"${names[$i]}"; done
for d in "${decoys[@]}"; do echo decoy >"$d"; done

start_shell
for i in "${!names[@]}"; do
    n=$((i + 1))
    name=${names[$i]}
    if [[ "$name" == *[$'|<>*?\\"\n']* ]]; then
        expected="cat N${n}_?~[0-9A-Z]{4}" # its 8.3 name: N, the number, '_', '~', a hash
    else
        expected=$(printf '%s' "cat $name" | sed 's/[][\\.*^$()|?+{}]/\\&/g')
        [[ "$name" == *[' &^']* ]] && expected="cat \"${expected#cat }\""
    fi
    send C-u
    type_text "cat n$n"
    wait_for ">cat n$n\$"
    # Tab steps through the names that begin so (the decoys among them) to this one.
    for ((tab = 0; tab < 4; ++tab)); do
        send Tab
        sleep 0.1
        [[ "$(command_line)" =~ ^$expected\ *$ ]] && break
    done
    [[ "$(command_line)" =~ ^$expected\ *$ ]] || fail "case $n: Tab never gave /$expected/"
    send Enter
    wait_for "^content-$n\$"
done
screen | grep -q decoy && fail "a name was split, expanded or taken for a path"
leftovers=$(ls P* 2>/dev/null || true)
[[ -z "$leftovers" ]] || fail "a name ran a command: $leftovers"

# Operators and wildcards typed outside quotes still work, with or without blanks.
type_text 'cat N5* N6*|wc -l>count.txt' # typed wildcards, letter case ignored
send Enter
sleep 0.5
[[ "$(cat count.txt)" == 2 ]] || fail "the typed pipe and redirection gave '$(cat count.txt)'"
quit_shell
