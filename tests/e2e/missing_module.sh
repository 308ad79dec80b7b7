# Without a usable module, language file or network file the shell says which file is
# wrong and ends with a non-zero status before it takes over the terminal.
source "$(dirname "$0")/lib.sh" "$1"

expect_refusal() { # expected message, arguments...
    local message=$1 status=0
    shift
    "$SHELL_BIN" "$@" >out.txt 2>err.txt </dev/null || status=$?
    ((status != 0)) || fail "exit status 0 for: $*"
    grep -qF -- "$message" err.txt || fail "no '$message' in: $(cat err.txt)"
    [[ ! -s out.txt ]] || fail "wrote to the terminal: $(cat out.txt)"
}

expect_refusal "$WORK/none/libzarelin.so" --module "$WORK/none/libzarelin.so"

mkdir modules
head -c 4096 /dev/urandom >modules/broken.so
expect_refusal "$WORK/dir/modules/broken.so" --module "$WORK/dir/modules/broken.so"

# The module without its language file beside it.
cp "$(dirname "$SHELL_BIN")/libzarelin.so" modules/
expect_refusal "modules/zarelin.lng" --module "$WORK/dir/modules/libzarelin.so"
# A language file that stops after message 3.
head -n 6 "$(dirname "$SHELL_BIN")/zarelin.lng" >modules/zarelin.lng
expect_refusal "message 4 is missing" --module "$WORK/dir/modules/libzarelin.so"

expect_refusal "not a directory" --root "$WORK/none"

# A network file that is missing or malformed, named on the command line or by
# $ZARELIN_NETWORK: its name, and the line for a syntax error.
expect_refusal "$WORK/none.json: No such file" --network "$WORK/none.json"
printf '{ "platform": "nt",\n  "servers": { "ALPHA": { ] } }\n' >broken.json
expect_refusal "broken.json:2:" --network broken.json
printf '{ "platfrom": "nt" }\n' >mistyped.json
ZARELIN_NETWORK=mistyped.json expect_refusal "mistyped.json: platfrom: unknown key"
