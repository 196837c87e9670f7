// solid.cpp: builds a solid through the installed modelling kernel binding and writes it as a SAT
// file and a VRML 2.0 scene, as the modelers do.
//
//   solid OUT.sat OUT.wrl
//
// The solid is a 60 mm cube with a 30 mm hole bored through it along z. Exit status 0 when both
// files were written; 1 when the kernel refused a step or a file could not be written (saveSatFile
// and satToVrml then print "Unable to open file!" and end the process themselves).
#include "kernel.h"
#include "satvrml.h"

#include <cstdio>

namespace {

int refused(const char *step, const outcome &result) {
    std::fprintf(stderr, "solid: %s: %s\n", step, result.message());
    api_stop_modeller();
    return 1;
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: solid OUT.sat OUT.wrl\n");
        return 1;
    }
    outcome result = api_start_modeller(0);
    if (!result.ok())
        return refused("start", result);
    api_initialize_constructors();
    api_initialize_booleans();

    BODY *block = nullptr;
    if (!(result = api_make_cuboid(60, 60, 60, block)).ok())
        return refused("cube", result);
    BODY *bore = nullptr;
    if (!(result = api_make_frustum(80, 15, 15, 15, bore)).ok())
        return refused("cylinder", result);
    if (!(result = api_subtract(bore, block)).ok()) // the bore is used up
        return refused("subtraction", result);
    std::printf("volume %.0f mm3\n", kernel_body_volume(block));

    saveSatFile(argv[1], block);
    api_terminate_booleans();
    api_terminate_constructors();
    api_stop_modeller();
    satToVrml(argv[1], argv[2]); // starts and stops the modeller around its own work
    std::printf("wrote %s and %s\n", argv[1], argv[2]);
    return 0;
}
