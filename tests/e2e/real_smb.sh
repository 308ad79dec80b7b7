# Share and file completion in zarelin-shell on a real SMB server: the smbd that CTest
# started (tests/smb/smbd.sh), named by $ZARELIN_TEST_SMBD.
source "$(dirname "$0")/lib.sh" "$1"
server=${ZARELIN_TEST_SMBD:-}
if [[ -z $server || ! -f $server/port ]]; then
    echo "no smbd running (see the smbd_start test's output): skipped"
    exit 77
fi

start_shell --network "$server/network.json"
# The first listing also starts smbd's RPC server, which may take longer than a Tab.
complete_slow 'dir \\SAMBA\' 'dir \\SAMBA\data\'
complete 'dir \\SAMBA\data\r' 'dir \\SAMBA\data\readme.txt'
complete 'type \\SAMBA\data\ann' 'type "\\SAMBA\data\Annual Report 2024.txt"'
complete 'dir \\SAMBA\secret\' 'dir \\SAMBA\secret\s.txt'
quit_shell
