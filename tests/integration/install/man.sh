#!/usr/bin/env bash
# The installed manual pages: each renders with man -l without a warning, has the sections a
# reader looks for, and names every option its program accepts.
source "$(dirname "$0")/lib.sh"
man1="$ROVAK_PREFIX/share/man/man1"

render() { # page
    local warnings
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$man1/$1.1" 2>&1 >"$tmp/$1.txt")
    [[ -z $warnings ]] || { echo "$warnings"; return 1; }
    local section status=0
    for section in NAME SYNOPSIS DESCRIPTION ENVIRONMENT "EXIT STATUS" FILES; do
        grep -q "^$section" "$tmp/$1.txt" || { echo "$1: no $section section"; status=1; }
    done
    return $status
}
for page in Pellam rovak-sim rovak-dispatch Arvend Bolmar rovak-serve; do
    check "man -l $page.1 renders with every section" render "$page"
done

# Every option of rovak-sim --help is described in its page (the page follows the program).
sim_options() {
    local option status=0
    for option in $("$ROVAK_PREFIX/bin/rovak-sim" --help | grep -o -- '--[a-z-]*' | sort -u); do
        grep -q -- "$option" "$tmp/rovak-sim.txt" || { echo "rovak-sim.1 lacks $option"; status=1; }
    done
    return $status
}
check "rovak-sim.1 describes every option of --help" sim_options

serve_options() {
    local option status=0
    for option in $("$ROVAK_PREFIX/bin/rovak-serve" 2>&1 | grep -o -- '--[a-z-]*' | sort -u); do
        grep -q -- "$option" "$tmp/rovak-serve.txt" || { echo "rovak-serve.1 lacks $option"; status=1; }
    done
    return $status
}
check "rovak-serve.1 describes every option of its usage" serve_options
