#!/usr/bin/env bash
# The web site run from the install alone: rovak-serve lays out a run directory from the
# installed pages and modelers, lighttpd serves it on 127.0.0.1, and one solid is requested.
source "$(dirname "$0")/lib.sh"

port=$(free_port)
run="$tmp/run"
serve="$ROVAK_PREFIX/bin/rovak-serve"
origin="http://127.0.0.1:$port"

at_exit "'$serve' stop --prefix '$run'"
check "rovak-serve start from the install" "$serve" start --port "$port" --prefix "$run"
check "the run directory links the installed pages and modelers" bash -c "
    [[ \$(readlink '$run/cgi-bin/Bolmar') == '$ROVAK_PREFIX/bin/Bolmar' ]] &&
    [[ \$(readlink '$run/htdocs/acis1/shtml') == '$ROVAK_PREFIX/share/rovak/site/htdocs/acis1/shtml' ]] &&
    [[ -d '$run/htdocs/acis1/sats' && ! -L '$run/htdocs/acis1/sats' ]]"

request_box() {
    local answer
    answer=$(curl -s -o /dev/null -w '%{http_code} %{redirect_url}' \
        "$origin/cgi-bin/Bolmar?tipo=0&larg_s=40&comp_s=20&altu_s=10")
    echo "$answer"
    [[ $answer == "302 $origin/acis1/shtml/desenhaparalelepipedo.shtml" ]] &&
        grep -q "body" "$run/htdocs/acis1/sats/paralelepipedo.sat" &&
        head -1 "$run/htdocs/acis1/wrls/paralelepipedo.wrl" | grep -q "^#VRML V2.0 utf8"
}
check "a box request writes its files and redirects to its page" request_box
check "the scene and its page are served" bash -c "
    curl -sf -o /dev/null '$origin/acis1/wrls/paralelepipedo.wrl' &&
    curl -sf '$origin/acis1/shtml/desenhaparalelepipedo.shtml' | grep -q x_ite"
check "nothing was written into the install" bash -c "
    ! find '$ROVAK_PREFIX' -newer '$run/lighttpd.conf' -type f | grep ."
check "rovak-serve stop ends the server" bash -c "
    '$serve' stop --prefix '$run' && ! curl -s -o /dev/null '$origin/acis1/'"
check "rovak-serve: bad usage exits 2" bash -c "'$serve' restart; test \$? -eq 2"
check "rovak-serve: --build naming no modelers exits 1" bash -c "
    '$serve' start --port $port --prefix '$run' --build '$tmp'; test \$? -eq 1"
