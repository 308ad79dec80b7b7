# The README's first steps on the example network that `make run` starts with: a
# server, a share, a file in the share, and a hidden share with the option on.
source "$(dirname "$0")/lib.sh" "$1"
example=$(realpath "$(dirname "$0")/../../examples/network/network.json")

start_shell --network "$example"
complete 'dir \\' 'dir \\FILES\'
complete 'type \\FILES\' 'type \\FILES\public\'
complete 'dir \\FILES\public\r' 'dir \\FILES\public\readme.txt'
complete 'dir \\FILES\projects\ann' 'dir "\\FILES\projects\Annual Reports\"'
complete 'type \\nas\h' 'type \\NAS\home\'
quit_shell
