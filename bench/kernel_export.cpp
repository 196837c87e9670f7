/* Time of saveSatFile + satToVrml per body, with the scene's triangle count as a counter. */
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <unistd.h>

#include "kernel_shapes.h"
#include "satvrml.h"

namespace {

std::string g_dir;

void removeScratchDir() { rmdir(g_dir.c_str()); }

// An empty folder for the benchmark's files, removed at exit.
std::string scratchDir() {
    if (g_dir.empty()) {
        char tmpl[] = "/tmp/rovak-bench-XXXXXX";
        if (!mkdtemp(tmpl))
            std::abort();
        g_dir = tmpl;
        std::atexit(removeScratchDir);
    }
    return g_dir;
}

void exportBody(benchmark::State &state, const char *name) {
    std::string sat = scratchDir() + "/" + name + ".sat", wrl = scratchDir() + "/" + name + ".wrl";
    outcome o = api_start_modeller(0);
    BODY *body = benchBody(name);
    for (auto _ : state) {
        saveSatFile(sat.c_str(), body);
        satToVrml(sat.c_str(), wrl.c_str());
    }
    state.counters["triangles"] = double(sceneTriangles(wrl));
    o = api_stop_modeller();
    unlink(sat.c_str());
    unlink(wrl.c_str());
}

// The faceting alone, in process: the body as satToVrml meshes it, fitted into the 100 cube.
void facetBody(benchmark::State &state, const char *name) {
    outcome o = api_start_modeller(0);
    BODY *body = benchBody(name);
    box b = get_body_box(body);
    double scale = satVrmlScale(b);
    o = api_apply_transf(body, scale_transf(scale));
    o = api_change_body_trans(body, nullptr, 0);
    for (auto _ : state) {
        int closed = kernel_mesh_check(body);
        benchmark::DoNotOptimize(closed);
    }
    o = api_stop_modeller();
}

void buildBody(benchmark::State &state, const char *name) {
    outcome o = api_start_modeller(0);
    for (auto _ : state) {
        BODY *body = benchBody(name);
        benchmark::DoNotOptimize(body);
        o = api_del_entity(body);
    }
    o = api_stop_modeller();
}

} // namespace

BENCHMARK_CAPTURE(exportBody, box, "box")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(exportBody, torus, "torus")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(exportBody, sphere, "sphere")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(exportBody, shaft, "shaft")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(facetBody, torus, "torus")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(facetBody, sphere, "sphere")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(buildBody, shaft, "shaft")->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
