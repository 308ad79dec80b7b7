# Server, share and file completion over one simulated network file: '\\' completes a
# server, '\\ALPHA\' a share, and '\\ALPHA\data\' a file in the share's directory.
source "$(dirname "$0")/lib.sh" "$1"
mkdir -p "$WORK/share-data"
touch "$WORK/share-data/report.txt"
cat >"$WORK/network.json" <<JSON
{ "platform": "nt", "domain": "CORP",
  // one server with one disk share, a printer and the inter-process share
  "providers": [ { "name": "Microsoft Windows Network",
                   "domains": [ { "name": "CORP", "servers": ["ALPHA"] } ] } ],
  "servers": { "ALPHA": { "shares": [
      { "name": "data", "type": "disk", "path": "share-data" },
      { "name": "laser", "type": "printer" }, { "name": "IPC\$", "type": "ipc" } ] } } }
JSON

start_shell --network "$WORK/network.json"
complete 'dir \\' 'dir \\ALPHA\'
# Retyping the line just completed would continue that search: another command word.
complete 'type \\ALPHA\' 'type \\ALPHA\data\'
complete 'dir \\ALPHA\data\' 'dir \\ALPHA\data\report.txt'
quit_shell
