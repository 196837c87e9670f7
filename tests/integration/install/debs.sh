#!/usr/bin/env bash
# The Debian packages built from the build tree by packaging/build-debs: lintian finds no error
# (the command fails otherwise), each package holds its part of the install with stripped
# programs, its dependencies name Debian's packages, and the lighttpd snippet loads in Debian's
# own lighttpd configuration.
source "$(dirname "$0")/lib.sh"
out="$tmp/debs"

check "packaging/build-debs builds five packages and lintian reports no error" \
    "$ROVAK_SOURCE/packaging/build-debs" --build "$ROVAK_BUILD" --out "$out"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$ROVAK_BUILD/CMakeCache.txt")
deb() { ls "$out/$1_${version}_"*.deb; }

# holds PACKAGE PATH...: every path is in the package.
holds() {
    local package=$1 list status=0 path
    shift
    list=$(dpkg-deb -c "$(deb "$package")" | awk '{print $6}' | sed 's|^\./|/|')
    for path in "$@"; do
        grep -qx "$path" <<<"$list" || { echo "$package lacks $path"; status=1; }
    done
    return $status
}
lacks() { # PACKAGE PATTERN: no path matches
    ! dpkg-deb -c "$(deb "$1")" | awk '{print $6}' | grep -E "$2"
}
check "rovak: programs and manual pages" holds rovak /usr/bin/Pellam /usr/bin/rovak-sim \
    /usr/bin/rovak-dispatch /usr/bin/Arvend /usr/bin/Bolmar /usr/share/man/man1/rovak-sim.1.gz \
    /usr/share/man/man1/Pellam.1.gz /usr/share/doc/rovak/copyright /usr/share/doc/rovak/README.md
check "rovak-runtime: the shared libraries" holds rovak-runtime /usr/lib/rovak/libcgi.so \
    /usr/lib/rovak/libtrelvo.so
check "rovak-dev: headers, static libraries, Kavrel.o, CMake and pkg-config files" holds rovak-dev \
    /usr/include/rovak/kavrel.h /usr/include/rovak/satvrml.h /usr/lib/rovak/libclient.a \
    /usr/lib/rovak/Kavrel.o /usr/lib/cmake/Rovak/RovakConfig.cmake \
    /usr/lib/pkgconfig/rovak-client.pc /usr/share/doc/rovak-dev/examples/robot.c
check "rovak-dev: no private header, no shared library" lacks rovak-dev 'kernel_internal\.h|\.so$'
check "rovak-java: the jar" holds rovak-java /usr/share/java/trelvo.jar
check "rovak-site: pages, serve command, lighttpd snippet, run directory" holds rovak-site \
    /usr/share/rovak/site/htdocs/acis1/index.html /usr/share/rovak/site/x_ite/x_ite.min.js \
    /usr/bin/rovak-serve /etc/lighttpd/conf-available/50-rovak.conf \
    /var/lib/rovak/site/htdocs/acis1/sats/ /var/lib/rovak/site/cgi-bin/Bolmar
check "rovak-site: the snippet is a conffile" bash -c "
    dpkg-deb -I '$(deb rovak-site)' conffiles | grep -qx /etc/lighttpd/conf-available/50-rovak.conf"

stripped() {
    mkdir -p "$tmp/x" && dpkg-deb -x "$(deb rovak)" "$tmp/x" && dpkg-deb -x "$(deb rovak-runtime)" "$tmp/x"
    local f status=0
    for f in "$tmp"/x/usr/bin/* "$tmp"/x/usr/lib/rovak/*.so; do
        ! readelf -S "$f" | grep -q '\.debug_info' || { echo "not stripped: $f"; status=1; }
    done
    return $status
}
check "programs and shared libraries are stripped" stripped

depends() { # PACKAGE PATTERN...
    local field
    field=$(dpkg-deb -f "$(deb "$1")" Depends)
    shift
    for pattern in "$@"; do
        grep -Eq "$pattern" <<<"$field" || { echo "Depends: $field lacks $pattern"; return 1; }
    done
}
check "rovak depends on its runtime and on Debian's libraries" depends rovak \
    "rovak-runtime \\(= $version\\)" 'libc6 \(>=' 'libocct-modeling-algorithms-7\.6'
check "rovak-dev depends on OCCT's development packages" depends rovak-dev \
    'libocct-foundation-dev' 'libtbb-dev'
check "rovak-site depends on the programs and lighttpd" depends rovak-site 'rovak \(>=' 'lighttpd'

# Debian's lighttpd.conf with the snippet enabled beside the CGI and setenv modules loads.
snippet_loads() {
    local conf="$tmp/lighttpd"
    mkdir -p "$conf/enabled"
    sed "s|/etc/lighttpd/conf-enabled/\*.conf|$conf/enabled/*.conf|" /etc/lighttpd/lighttpd.conf >"$conf/lighttpd.conf"
    cp /etc/lighttpd/conf-available/10-cgi.conf /etc/lighttpd/conf-available/05-setenv.conf "$conf/enabled/"
    dpkg-deb --fsys-tarfile "$(deb rovak-site)" | tar -xO ./etc/lighttpd/conf-available/50-rovak.conf >"$conf/enabled/50-rovak.conf"
    "$(PATH=$PATH:/usr/sbin command -v lighttpd)" -tt -f "$conf/lighttpd.conf"
}
if [[ -f /etc/lighttpd/lighttpd.conf ]]; then
    check "the lighttpd snippet loads with Debian's lighttpd configuration" snippet_loads
fi
