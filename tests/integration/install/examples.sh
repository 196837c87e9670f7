#!/usr/bin/env bash
# The examples built out of tree against a copy of the install moved to another folder (so
# nothing may point back at where it was installed), with CMake's find_package and with
# pkg-config; the C programs and the solid run, the robot programs against the installed
# simulator.
source "$(dirname "$0")/lib.sh"

moved="$tmp/moved/prefix"
mkdir -p "$(dirname "$moved")"
cp -a "$ROVAK_PREFIX" "$moved"
examples="$moved/share/doc/rovak/examples"

cmake_build() {
    cmake -S "$examples" -B "$tmp/cmake" -G Ninja -DCMAKE_PREFIX_PATH="$moved" &&
        cmake --build "$tmp/cmake"
}
check "CMake: find_package(Rovak) builds every example" cmake_build

pkgconfig_build() {
    mkdir -p "$tmp/pc" &&
        (cd "$tmp/pc" && make -f "$examples/Makefile" PKG_CONFIG_PATH="$moved/lib/pkgconfig")
}
check "pkg-config: the Makefile builds every example" pkgconfig_build

check "the programs link the moved install, not the original" \
    bash -c "ldd '$tmp/cmake/solid' | grep -q '$moved/lib/rovak/libcgi.so'"

check "the simulator starts" start_sim
run_robot() { # program
    "$1" 127.0.0.1 "$sim_port" >"$tmp/robot.out" 2>&1
    local status=$?
    cat "$tmp/robot.out"
    ((status == 0)) && grep -q "^robot 1 on " "$tmp/robot.out" &&
        grep -q "^sonar set 0: [0-9]" "$tmp/robot.out" &&
        grep -Eq "^odometry: x (19[5-9]|20[0-5]) mm" "$tmp/robot.out"
}
# Each run drives 200 mm more; the odometry is read relative to where the robot started, so
# every run starts from a fresh simulator.
check "C example (CMake, libclient.a) lists, reads the sonars and drives 200 mm" run_robot "$tmp/cmake/robot"
check "the simulator starts again" start_sim
check "C example (pkg-config, Kavrel.o) does the same" run_robot "$tmp/pc/robot_kavrel"

run_cpp() {
    ROVAK_SCHEDULER_HOST=127.0.0.1 ROVAK_SCHEDULER_PORT=$sim_port "$tmp/pc/robot_cpp"
}
check "C++ example (vendor library) turns and reads the odometry" run_cpp

# A robot server that never answers: the C example's 5 s time-out ends its wait with -6.
timeout_case() {
    start_sim --silent-after 1 || return 1
    local status=0
    "$tmp/cmake/robot" 127.0.0.1 "$sim_port" >"$tmp/silent.out" 2>&1 || status=$?
    cat "$tmp/silent.out"
    ((status == 1)) && grep -q "connection lost or no answer in time" "$tmp/silent.out"
}
check "C example: a silent robot server ends a request after the time-out" timeout_case

make_solid() {
    "$tmp/cmake/solid" "$tmp/cube.sat" "$tmp/cube.wrl" &&
        head -1 "$tmp/cube.wrl" | grep -q "^#VRML V2.0 utf8" &&
        grep -q "IndexedFaceSet" "$tmp/cube.wrl" && test -s "$tmp/cube.sat"
}
check "solid example writes a SAT file and a VRML scene" make_solid
check "Java example compiled against trelvo.jar" test -s "$tmp/cmake/navigate.jar" -a -s "$tmp/pc/navigate.jar"
