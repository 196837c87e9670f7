// Cost of the planar predicates that run in inner loops: the segment-segment test and the
// circle-circle contact. Each measure cycles through a fixed table of shape pairs so that branch
// prediction sees a realistic mix; "generic" tables hold random real coordinates, "degenerate"
// tables hold small integer coordinates where ends on the other's line and tangencies are common.
#include "geometry.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

constexpr int kPairs = 1024;

struct Pairs {
    std::vector<Shape *> a, b;
    Pairs() = default;
    Pairs(const Pairs &) = delete;
    Pairs &operator=(const Pairs &) = delete;
    ~Pairs() {
        for (Shape *s : a)
            GEO_FreeShape(s);
        for (Shape *s : b)
            GEO_FreeShape(s);
    }
};

Shape *segment(double x1, double y1, double x2, double y2) {
    VECTOR s = {x1, y1, 1}, e = {x2, y2, 1};
    return GEO_CreateSegment(&s, &e);
}

Shape *circle(double x, double y, double r) {
    VECTOR c = {x, y, 1};
    return GEO_CreateCircle(&c, r);
}

enum Mix { kGeneric, kDegenerate, kTouching };

// Random segments in a 10 x 10 square (generic), with integer ends in 0..4 (degenerate), or
// large integer segments each with an end of the other exactly on it (touching: the exact
// arithmetic decides every pair).
void fill_segments(Pairs &p, Mix mix) {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> real(0, 10);
    std::uniform_int_distribution<int> small(0, 4), large(-1000000, 1000000);
    for (int n = 0; n < kPairs; n++) {
        double v[8];
        for (double &x : v)
            x = (mix == kGeneric)      ? real(random)
                : (mix == kDegenerate) ? small(random)
                                       : large(random);
        if (mix == kTouching) {
            /* A runs 4 steps of (dx, dy) from its start; B starts j of those steps along it. */
            double dx = small(random) - 2, dy = small(random) + 1, j = small(random);
            v[2] = v[0] + 4 * dx, v[3] = v[1] + 4 * dy;
            v[4] = v[0] + j * dx, v[5] = v[1] + j * dy;
        }
        p.a.push_back(segment(v[0], v[1], v[2], v[3]));
        p.b.push_back(segment(v[4], v[5], v[6], v[7]));
    }
}

// Circle pairs whose discs overlap: crossing circles (generic), or circles tangent inside or
// outside with integer centres and radii (degenerate).
void fill_circles(Pairs &p, bool degenerate) {
    std::mt19937 random(11);
    std::uniform_real_distribution<double> real(0, 1);
    std::uniform_int_distribution<int> small(0, 3);
    for (int n = 0; n < kPairs; n++) {
        if (degenerate) {
            double r1 = 1 + small(random), r2 = r1 + 1 + small(random);
            double d = small(random) % 2 ? r1 + r2 : r2 - r1;
            p.a.push_back(circle(0, 0, r1));
            p.b.push_back(circle(d, 0, r2));
        } else {
            double r1 = 0.5 + real(random), r2 = 0.5 + real(random);
            double d = (r1 > r2 ? r1 - r2 : r2 - r1) + 1e-3 + real(random) * (r1 + r2) * 0.9;
            double angle = real(random) * 6.283185307179586;
            p.a.push_back(circle(real(random), real(random), r1));
            p.b.push_back(circle(p.a.back()->Center[0] + d * std::cos(angle),
                                 p.a.back()->Center[1] + d * std::sin(angle), r2));
        }
    }
}

void run_segments(benchmark::State &state, Mix mix) {
    Pairs p;
    fill_segments(p, mix);
    int k = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(GEO_SegmentSegmentIntersectionp(p.a[k], p.b[k]));
        k = (k + 1) & (kPairs - 1);
    }
    state.SetItemsProcessed(state.iterations());
}

void run_contacts(benchmark::State &state, bool degenerate) {
    Pairs p;
    fill_circles(p, degenerate);
    int k = 0;
    VECTOR point;
    for (auto _ : state) {
        benchmark::DoNotOptimize(GEO_CircleCircleContactPoint(p.a[k], p.b[k], &point));
        benchmark::DoNotOptimize(point);
        k = (k + 1) & (kPairs - 1);
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_SegmentSegmentGeneric(benchmark::State &state) { run_segments(state, kGeneric); }
void BM_SegmentSegmentDegenerate(benchmark::State &state) { run_segments(state, kDegenerate); }
void BM_SegmentSegmentTouching(benchmark::State &state) { run_segments(state, kTouching); }
void BM_CircleContactGeneric(benchmark::State &state) { run_contacts(state, false); }
void BM_CircleContactDegenerate(benchmark::State &state) { run_contacts(state, true); }

// Nine runs each; the median is the figure to read.
BENCHMARK(BM_SegmentSegmentGeneric)->Repetitions(9)->ReportAggregatesOnly(true);
BENCHMARK(BM_SegmentSegmentDegenerate)->Repetitions(9)->ReportAggregatesOnly(true);
BENCHMARK(BM_SegmentSegmentTouching)->Repetitions(9)->ReportAggregatesOnly(true);
BENCHMARK(BM_CircleContactGeneric)->Repetitions(9)->ReportAggregatesOnly(true);
BENCHMARK(BM_CircleContactDegenerate)->Repetitions(9)->ReportAggregatesOnly(true);

} // namespace
