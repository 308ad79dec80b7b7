# A stop signal that comes while the shell is busy (here a Tab on a server that answers
# late, which holds the shell up to the module's 2 s bound) is honoured as soon as the
# shell is free again: it does not wait for a key that may never come.
source "$(dirname "$0")/lib.sh" "$1"
mkdir -p "$WORK/share"
cat >"$WORK/network.json" <<JSON
{ "platform": "nt", "domain": "CORP",
  "providers": [ { "name": "Microsoft Windows Network",
                   "domains": [ { "name": "CORP", "servers": ["SLOW"] } ] } ],
  "servers": { "SLOW": { "delay": 10000, "shares": [ { "name": "data", "path": "share" } ] } } }
JSON
printf 'first\n' >notes.txt

shell_pid() { pgrep -P "$(tmux -L "$SOCKET" display -p '#{pane_pid}')" zarelin-shell; }

# Sends SIGTERM while a Tab on the slow server is being served: the shell ends once the
# Tab has given up, well within the bound waited for here.
term_while_busy() {
    local pid
    pid=$(shell_pid)
    send Tab
    sleep 0.5
    kill -TERM "$pid"
    wait_for 'zarelin-shell exited with' 6
}

start_shell --network "$WORK/network.json"
type_text 'dir \\SLOW\d'
term_while_busy
screen | grep -q 'zarelin-shell exited with 143' || fail "SIGTERM did not end the shell"
tmux -L "$SOCKET" kill-server

# In the editor, with unsaved edits: they go to a recovery file, and the note says so.
start_shell --network "$WORK/network.json"
type_text 'edit notes.txt'
send F4
wait_for 'notes.txt +1:1'
type_text '\\SLOW\d'
wait_for 'notes.txt +1:[0-9]+ +\*'
term_while_busy
wait_for 'unsaved edits of notes.txt were kept in'
[[ "$(cat notes.txt)" == first ]] || fail "the file itself changed"
[[ "$(cat notes.txt.recovered)" == '\\SLOW\dfirst' ]] ||
    fail "the recovery file holds '$(cat notes.txt.recovered)'"
