#!/usr/bin/env bash
# The installed tree stands alone: public headers only, each usable by itself; no path of the
# source or build tree in any installed text file or program search path; the README's
# rovak-dispatch transcript is what the installed tool prints.
source "$(dirname "$0")/lib.sh"
inc="$ROVAK_PREFIX/include/rovak"

check "kernel_internal.h (OCCT headers) is not installed" test ! -e "$inc/kernel_internal.h"

# Every header compiles on its own with the one include folder and no OCCT headers: C headers as
# C11 and C++, the C++-only ones as C++17.
compile_headers() {
    local h base status=0
    for h in "$inc"/*.h; do
        base=$(basename "$h")
        printf '#include "%s"\n#include "%s"\ntypedef int header_check;\n' "$base" "$base" >"$tmp/one.cpp"
        g++ -std=c++17 -fsyntax-only -Wall -Werror -I"$inc" "$tmp/one.cpp" || { echo "C++: $base"; status=1; }
        case $base in
        kernel* | cgi_* | satvrml.h | vrml_mesh.h | vx9200.h | gxthread.h) ;;
        *)
            printf '#include "%s"\ntypedef int header_check;\n' "$base" >"$tmp/one.c"
            gcc -std=c11 -pedantic -fsyntax-only -Wall -Werror -I"$inc" "$tmp/one.c" || { echo "C: $base"; status=1; }
            ;;
        esac
    done
    return $status
}
check "every installed header compiles alone" compile_headers

# No text file of the install names the source or the build tree (relocatable).
no_tree_paths() {
    ! grep -rIl -e "$ROVAK_SOURCE" -e "$ROVAK_BUILD" "$ROVAK_PREFIX/lib/cmake" \
        "$ROVAK_PREFIX/lib/pkgconfig" "$ROVAK_PREFIX/bin/rovak-serve" "$ROVAK_PREFIX/share/rovak"
}
check "no source or build path in the CMake, pkg-config and site files" no_tree_paths

# Programs find libcgi.so beside the install, whatever its place, and never in the build tree.
runpaths() {
    local p path status=0
    for p in Arvend Bolmar Pellam rovak-sim rovak-dispatch; do
        path=$(readelf -d "$ROVAK_PREFIX/bin/$p" | sed -n 's/.*R[UN]*PATH.*\[\(.*\)\]/\1/p')
        case $path in
        '' | '$ORIGIN/../lib/rovak') ;;
        *) echo "$p: $path"; status=1 ;;
        esac
    done
    ldd "$ROVAK_PREFIX/bin/Bolmar" | grep -q "libcgi.so => $ROVAK_PREFIX/bin/../lib/rovak/libcgi.so" ||
        { ldd "$ROVAK_PREFIX/bin/Bolmar"; status=1; }
    return $status
}
check "programs search lib/rovak relative to themselves" runpaths

# The README shows a rovak-dispatch command and the output it prints: run the command with the
# installed tool and compare.
readme_dispatch() {
    local readme="$ROVAK_SOURCE/README.md"
    local command expected
    command=$(awk '/^## Trying the protocol/{on=1} on && /^```sh/{grab=1; next} grab && /^```/{exit} grab' "$readme")
    expected=$(awk '/^## Trying the protocol/{on=1} on && /^```text/{grab=1; next} grab && /^```/{exit} grab' "$readme")
    [[ -n $command && -n $expected ]] || { echo "README has no dispatch example"; return 1; }
    command=${command//build\/release\/tools\/rovak-dispatch/$ROVAK_PREFIX/bin/rovak-dispatch}
    diff <(echo "$expected") <(bash -c "$command" 2>&1)
}
check "the README's rovak-dispatch example prints what the README shows" readme_dispatch
