# Sourced by the scripts that may leave a check out: a package apt would not install, a
# Wine or an smbd that cannot run, no tmux. note_skip says so on standard output and
# adds the line to $ZARELIN_SKIPS, the run's list that `make test` repeats at its end,
# so that the last lines of a CI log tell what was not checked.
note_skip() {
    echo "SKIP: $*"
    if [[ -n ${ZARELIN_SKIPS:-} ]]; then
        echo "$*" >>"$ZARELIN_SKIPS"
    fi
}
