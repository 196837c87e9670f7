#!/usr/bin/env bash
# Fixture: installs the build tree into ROVAK_PREFIX (emptied first), as a user would with
# cmake --install, and checks that everything the install promises is there.
source "$(dirname "$0")/lib.sh"

rm -rf "$ROVAK_PREFIX"
check "cmake --install into a fresh prefix" cmake --install "$ROVAK_BUILD" --prefix "$ROVAK_PREFIX"

expect_files() {
    local missing=0 f
    for f in "$@"; do
        [[ -e $ROVAK_PREFIX/$f ]] || { echo "missing: $f"; missing=1; }
    done
    return $missing
}
check "programs and the serve command" expect_files bin/Pellam bin/rovak-sim bin/rovak-dispatch \
    bin/Arvend bin/Bolmar bin/rovak-serve
check "libraries, Kavrel.o and the jar" expect_files lib/rovak/libcommon.a lib/rovak/libclient.a \
    lib/rovak/libclient_rest.a lib/rovak/Kavrel.o lib/rovak/libvx9200.a lib/rovak/libgxcode.a \
    lib/rovak/libkernel.a lib/rovak/libcgi.so lib/rovak/libtrelvo.so share/java/trelvo.jar
check "CMake package and pkg-config files" expect_files lib/cmake/Rovak/RovakConfig.cmake \
    lib/cmake/Rovak/RovakConfigVersion.cmake lib/cmake/Rovak/RovakTargets.cmake \
    lib/pkgconfig/rovak-client.pc lib/pkgconfig/rovak-vx9200.pc lib/pkgconfig/rovak-trelvo.pc \
    lib/pkgconfig/rovak-kernel.pc lib/pkgconfig/rovak-cgi.pc
check "manual pages" expect_files share/man/man1/Pellam.1 share/man/man1/rovak-sim.1 \
    share/man/man1/rovak-dispatch.1 share/man/man1/Arvend.1 share/man/man1/Bolmar.1 \
    share/man/man1/rovak-serve.1
check "site, README, docs and examples" expect_files share/rovak/site/lighttpd.conf.in \
    share/rovak/site/htdocs/acis1/index.html share/doc/rovak/README.md \
    share/doc/rovak/protocol.md share/doc/rovak/client.md share/doc/rovak/examples/CMakeLists.txt \
    share/doc/rovak/examples/Makefile share/doc/rovak/examples/robot.c
