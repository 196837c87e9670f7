/* One whole export in one process, as a modeler runs it: kernel_export_once NAME DIR builds the
 * named body, saves DIR/NAME.sat, converts it to DIR/NAME.wrl and prints the triangle count. */
#include <cstdio>
#include <string>

#include "kernel_shapes.h"
#include "satvrml.h"

int main(int argc, char **argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s box|torus|shaft DIR\n", argv[0]);
        return 2;
    }
    std::string name = argv[1], sat = std::string(argv[2]) + "/" + name + ".sat",
                wrl = std::string(argv[2]) + "/" + name + ".wrl";
    outcome o = api_start_modeller(0);
    BODY *body = benchBody(name);
    if (!body) {
        std::fprintf(stderr, "unknown body %s\n", name.c_str());
        return 2;
    }
    saveSatFile(sat.c_str(), body);
    satToVrml(sat.c_str(), wrl.c_str());
    o = api_stop_modeller();
    std::printf("%s %ld triangles\n", name.c_str(), sceneTriangles(wrl));
    return 0;
}
