# The README's first steps on the example network that `make run` starts with: a
# server, a share, a file in the share, and a hidden share with the option on.
source "$(dirname "$0")/lib.sh" "$1"
example=$(realpath "$(dirname "$0")/../../examples/network/network.json")

start_shell --network "$example"
complete 'dir \\' 'dir \\FILES\'
complete 'type \\FILES\' 'type \\FILES\public\'
complete 'dir \\FILES\public\r' 'dir \\FILES\public\readme.txt'
complete 'dir \\FILES\projects\ann' 'dir "\\FILES\projects\Annual Reports\"'
# Typing after the closing quote narrows the search; the next Tab goes on with it.
reports='type "\\FILES\projects\Annual Reports\'
complete 'type \\FILES\projects\Ann' "$reports\""
type_text Rep
wait_for 'Reports\\"Rep$'
send Tab
first=$(wait_line_change "$reports\"Rep")
send Tab
second=$(wait_line_change "$first")
[[ "$(printf '%s\n' "$first" "$second" | sort)" == "${reports}Report 2023.txt\"
${reports}Report 2024.txt\"" ]] || fail "Rep and two Tabs gave '$first', '$second'"
complete 'type \\nas\h' 'type \\NAS\home\'
quit_shell
