// Property tests against an exact reference over random and degenerate shapes: segment meetings
// and their points, polygon contacts, virtual intersections, disc overlaps and contacts, arc
// membership, line-arc points and arc boxes, and the derived fields after every motion.
//
// Every coordinate of a case is an integer numerator over a power of two 2^K shared by the whole
// case, so the doubles are exact and the reference computes with integers (__int128) alone. The
// same integer case is run at several K: the answers must not depend on the scale.
#include "geometry.h"

#include "geometry_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <math.h>
#include <random>
#include <stdio.h>
#include <string.h>
#include <vector>

namespace {

using i128 = __int128;
using ll = long long;

struct IP {
    ll x, y;
};

IP operator+(IP a, IP b) { return {a.x + b.x, a.y + b.y}; }
IP operator-(IP a, IP b) { return {a.x - b.x, a.y - b.y}; }
IP operator*(ll k, IP a) { return {k * a.x, k * a.y}; }
bool operator==(IP a, IP b) { return a.x == b.x && a.y == b.y; }

// ---- exact reference ----------------------------------------------------------------------

i128 Cross(IP a, IP b, IP c) {
    return (i128)(b.x - a.x) * (c.y - a.y) - (i128)(b.y - a.y) * (c.x - a.x);
}
i128 Dot(IP a, IP b) { return (i128)a.x * b.x + (i128)a.y * b.y; }
int Sign(i128 v) { return (v > 0) - (v < 0); }

bool OnSegment(IP a, IP b, IP c) {
    return Cross(a, b, c) == 0 && std::min(a.x, b.x) <= c.x && c.x <= std::max(a.x, b.x) &&
           std::min(a.y, b.y) <= c.y && c.y <= std::max(a.y, b.y);
}

bool SegmentsMeet(IP a, IP b, IP c, IP d) {
    if (Sign(Cross(c, d, a)) * Sign(Cross(c, d, b)) < 0 &&
        Sign(Cross(a, b, c)) * Sign(Cross(a, b, d)) < 0)
        return true;
    return OnSegment(c, d, a) || OnSegment(c, d, b) || OnSegment(a, b, c) || OnSegment(a, b, d);
}

bool AllCollinear(IP a, IP b, IP c, IP d) {
    return Cross(a, b, c) == 0 && Cross(a, b, d) == 0 && Cross(c, d, a) == 0 && Cross(c, d, b) == 0;
}

// The closed segment a-b meets the closed disc of centre c and radius r.
bool SegmentMeetsDisc(IP a, IP b, IP c, ll r) {
    i128 r2 = (i128)r * r;
    i128 len2 = Dot(b - a, b - a);
    i128 along = Dot(c - a, b - a);
    if (len2 == 0 || along <= 0)
        return Dot(c - a, c - a) <= r2;
    if (along >= len2)
        return Dot(c - b, c - b) <= r2;
    i128 cross = Cross(a, b, c);
    return cross * cross <= r2 * len2;
}

// A pseudo-angle of (x, y) != 0 in [0, 4), monotone in the true angle: n / d.
struct Q {
    i128 n, d; // d > 0
};
Q Pseudo(IP v) {
    ll s = llabs(v.x) + llabs(v.y);
    if (v.x > 0 && v.y >= 0)
        return {v.y, s};
    if (v.x <= 0 && v.y > 0)
        return {(i128)s - v.x, s};
    if (v.x < 0 && v.y <= 0)
        return {(i128)2 * s - v.y, s};
    return {(i128)3 * s + v.x, s};
}
// (a - b) mod 4 in [0, 4).
Q TurnFrom(Q b, Q a) {
    Q r = {a.n * b.d - b.n * a.d, a.d * b.d};
    if (r.n < 0)
        r.n += 4 * r.d;
    return r;
}
bool LessEq(Q a, Q b) { return a.n * b.d <= b.n * a.d; }

// Direction v (from the centre) on the counter-clockwise arc from direction s to direction e;
// e in s's direction is a full turn.
bool OnArc(IP s, IP e, IP v) {
    Q ps = Pseudo(s);
    Q sweep = TurnFrom(ps, Pseudo(e));
    if (sweep.n == 0)
        return true;
    return LessEq(TurnFrom(ps, Pseudo(v)), sweep);
}

// ---- doubles from numerators ----------------------------------------------------------------

double D(ll n, int K) { return ldexp((double)n, -K); }
Pt P(IP p, int K) { return Pt(D(p.x, K), D(p.y, K)); }
ShapePtr Seg(IP a, IP b, int K) { return ShapePtr(GEO_CreateSegment(P(a, K).p(), P(b, K).p())); }

ShapePtr Poly(const std::vector<IP> &v, int K) {
    ShapePtr S(GEO_CreatePolygon(P(v[0], K).p()));
    for (size_t k = 1; k < v.size(); k++)
        GEO_AddVertexToPolygon(S.get(), P(v[k], K).p());
    return S;
}

// Distance from (px, py) to the closed segment S, in long double.
long double DistanceToSegment(const VECTOR &p, Shape *S) {
    long double ax = S->Start[0], ay = S->Start[1], dx = S->End[0] - ax, dy = S->End[1] - ay;
    long double len2 = dx * dx + dy * dy;
    long double t = len2 > 0 ? ((p[0] - ax) * dx + (p[1] - ay) * dy) / len2 : 0;
    t = std::min<long double>(1, std::max<long double>(0, t));
    return hypotl(p[0] - (ax + t * dx), p[1] - (ay + t * dy));
}

long double DistanceToBoundary(const VECTOR &p, Shape *Polygon) {
    long double best = INFINITY;
    for (DBL *n = Polygon->Edge; n != nullptr; n = (n->next == Polygon->Edge) ? nullptr : n->next)
        best = std::min(best, DistanceToSegment(p, (Shape *)n->element));
    return best;
}

// The point where two meeting, not collinear segments a-b and c-d meet, scaled by 2^-K.
void Crossing(IP a, IP b, IP c, IP d, int K, long double *x, long double *y) {
    long double o1 = (long double)Cross(c, d, a), o2 = (long double)Cross(c, d, b);
    long double t = o1 / (o1 - o2);
    *x = ldexpl(a.x + t * (b.x - a.x), -K);
    *y = ldexpl(a.y + t * (b.y - a.y), -K);
}

// A double that must be an exact numerator at scale K.
bool Numerator(double v, int K, ll *n) {
    double scaled = ldexp(v, K);
    *n = (ll)scaled;
    return scaled == (double)*n;
}

// ---- segment pairs --------------------------------------------------------------------------

struct Rng {
    std::mt19937_64 engine{20240611};
    ll Int(ll lo, ll hi) { return std::uniform_int_distribution<ll>(lo, hi)(engine); }
    IP Point(ll m) { return {Int(-m, m), Int(-m, m)}; }
};

// Random pairs, then the degenerate families: shared ends, an end on the other's line inside and
// outside it, collinear overlaps, zero-length segments, and near misses at a large scale.
std::vector<std::vector<IP>> SegmentPairs() {
    Rng g;
    std::vector<std::vector<IP>> pairs;
    for (int n = 0; n < 3000; n++) {
        ll m = (n % 3 == 2) ? (1LL << 40) : 4;
        pairs.push_back({g.Point(m), g.Point(m), g.Point(m), g.Point(m)});
    }
    for (int n = 0; n < 3000; n++) {
        IP p = g.Point(n % 2 ? (1LL << 40) : 6), dir = g.Point(3);
        ll len = g.Int(0, 4);
        IP a = p, b = p + len * dir;
        IP other = g.Point(6) + (n % 2 ? p : IP{0, 0});
        switch (n % 6) {
        case 0: // shared end
            pairs.push_back({a, b, (n % 4 < 2) ? a : b, other});
            break;
        case 1: // an end on A's line, inside or outside A
        case 2:
            pairs.push_back({a, b, p + g.Int(-3, len + 3) * dir, other});
            break;
        case 3: // collinear
            pairs.push_back({a, b, p + g.Int(-4, 6) * dir, p + g.Int(-4, 6) * dir});
            break;
        case 4: // zero length
            pairs.push_back({a, a, p + g.Int(-2, 2) * dir, other});
            break;
        default: // one unit off A's line at a large scale
            IP off = p + g.Int(-3, len + 3) * dir + IP{g.Int(-1, 1), g.Int(-1, 1)};
            pairs.push_back({a, b, off, other});
            break;
        }
    }
    return pairs;
}

TEST(ExactSegments, MeetingAgreesWithExactReferenceAtEveryScale) {
    int meet = 0, apart = 0, touching = 0;
    for (const std::vector<IP> &c : SegmentPairs()) {
        bool expected = SegmentsMeet(c[0], c[1], c[2], c[3]);
        meet += expected, apart += !expected;
        touching += expected && (OnSegment(c[0], c[1], c[2]) || OnSegment(c[0], c[1], c[3]));
        for (int K : {0, 30, -40, 60}) {
            if (llabs(c[0].x) > (1LL << 30) && K == 60)
                continue; // keep every coordinate far from underflow
            ShapePtr A = Seg(c[0], c[1], K), B = Seg(c[2], c[3], K);
            ASSERT_EQ(expected, GEO_SegmentSegmentIntersectionp(A.get(), B.get()) != 0)
                << "(" << c[0].x << "," << c[0].y << ")-(" << c[1].x << "," << c[1].y << ") ("
                << c[2].x << "," << c[2].y << ")-(" << c[3].x << "," << c[3].y << ") K=" << K;
            ASSERT_EQ(expected, GEO_SegmentSegmentIntersectionp(B.get(), A.get()) != 0);
        }
    }
    EXPECT_GT(meet, 1500);
    EXPECT_GT(apart, 1500);
    EXPECT_GT(touching, 300);
}

// Meeting segments: collinear ones give exact ends of their overlap, on both segments; the others
// give one point, within rounding of the exact crossing.
TEST(ExactSegments, MeetingPointsLieOnBothSegments) {
    for (const std::vector<IP> &c : SegmentPairs()) {
        if (!SegmentsMeet(c[0], c[1], c[2], c[3]))
            continue;
        for (int K : {0, 30}) {
            ShapePtr A = Seg(c[0], c[1], K), B = Seg(c[2], c[3], K);
            VECTOR I1, I2;
            GEO_SegmentSegmentIntersectionPoint(A.get(), B.get(), &I1, &I2);
            if (AllCollinear(c[0], c[1], c[2], c[3])) {
                for (VECTOR *I : {&I1, &I2}) {
                    IP n;
                    ASSERT_TRUE(Numerator((*I)[0], K, &n.x) && Numerator((*I)[1], K, &n.y));
                    EXPECT_TRUE(OnSegment(c[0], c[1], n) && OnSegment(c[2], c[3], n))
                        << c[0].x << "," << c[0].y << " " << c[1].x << "," << c[1].y << " "
                        << c[2].x << "," << c[2].y << " " << c[3].x << "," << c[3].y << " K=" << K;
                }
                continue;
            }
            long double x, y;
            Crossing(c[0], c[1], c[2], c[3], K, &x, &y);
            long double tol = 1e-12L * ldexpl(1LL << 41, -K);
            EXPECT_NEAR(x, I1[0], tol);
            EXPECT_NEAR(y, I1[1], tol);
            EXPECT_EQ(I1[0], I2[0]);
            EXPECT_EQ(I1[1], I2[1]);
            EXPECT_EQ(1, I1[2]);
        }
    }
}

TEST(ExactSegments, EndOnTheLineOutsideDoesNotMeet) {
    ShapePtr A = Segment(0, 0, 4, 0), B = Segment(5, 0, 3, -1);
    EXPECT_FALSE(GEO_SegmentSegmentIntersectionp(A.get(), B.get()));
    ShapePtr Square = Polygon({{0, 0}, {4, 0}, {4, 4}, {0, 4}});
    ShapePtr Triangle = Polygon({{5, 0}, {3, -1}, {6, -1}});
    VECTOR P;
    EXPECT_FALSE(GEO_PolygonPolygonContactPoint(Square.get(), Triangle.get(), &P));
    GEO_CreateVirtualIntersections(Square.get(), Triangle.get());
    for (int k = 0; k < 4; k++)
        EXPECT_EQ(nullptr, EdgeAt(Square.get(), k)->VirtualIntersections) << k;
}

// Coordinates of very different magnitudes, whose differences round: the orientation is still
// decided exactly (a step of 2^-100 off the line y = x at 2^-60 from a segment 2^61 long).
TEST(ExactSegments, MixedMagnitudesAreDecidedExactly) {
    const double big = ldexp(1, 60), small = ldexp(1, -60), step = ldexp(1, -100);
    ShapePtr A = Segment(big, big, -big, -big);
    const struct {
        const char *name;
        double b[4];
        bool meet;
    } cases[] = {
        {"both ends a step above the line", {small, small + step, 2 * small, 2 * small + step}, 0},
        {"both ends a step below", {small + step, small, 2 * small + step, 2 * small}, 0},
        {"across the line", {small, small + step, small + step, small}, 1},
        {"one end on the line", {small, small, 2 * small, 2 * small + step}, 1},
        {"collinear", {small, small, 3 * small, 3 * small}, 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ShapePtr B = Segment(c.b[0], c.b[1], c.b[2], c.b[3]);
        EXPECT_EQ(c.meet, GEO_SegmentSegmentIntersectionp(A.get(), B.get()) != 0);
        EXPECT_EQ(c.meet, GEO_SegmentSegmentIntersectionp(B.get(), A.get()) != 0);
    }
}

// ---- polygons ---------------------------------------------------------------------------------

// Vertices as the polygon keeps them: a vertex equal to the last kept one adds nothing.
std::vector<IP> KeptVertices(const std::vector<IP> &v) {
    std::vector<IP> kept = {v[0]};
    for (size_t k = 1; k < v.size(); k++)
        if (!(v[k] == kept.back()))
            kept.push_back(v[k]);
    return kept;
}

std::vector<std::pair<IP, IP>> Edges(const std::vector<IP> &kept) {
    std::vector<std::pair<IP, IP>> edges;
    for (size_t k = 0; kept.size() > 1 && k < kept.size(); k++)
        edges.push_back({kept[k], kept[(k + 1) % kept.size()]});
    return edges;
}

// The point a virtual intersection records for meeting edges e and f, scaled by 2^-K: the
// crossing, or the middle of a collinear overlap.
void Recorded(std::pair<IP, IP> e, std::pair<IP, IP> f, int K, long double *x, long double *y) {
    if (!AllCollinear(e.first, e.second, f.first, f.second)) {
        Crossing(e.first, e.second, f.first, f.second, K, x, y);
        return;
    }
    auto less = [](IP a, IP b) { return a.x < b.x || (a.x == b.x && a.y < b.y); };
    IP lo1 = std::min(e.first, e.second, less), hi1 = std::max(e.first, e.second, less);
    IP lo2 = std::min(f.first, f.second, less), hi2 = std::max(f.first, f.second, less);
    IP lo = std::max(lo1, lo2, less), hi = std::min(hi1, hi2, less);
    *x = ldexpl((long double)lo.x + hi.x, -K - 1);
    *y = ldexpl((long double)lo.y + hi.y, -K - 1);
}

bool Near(long double x, long double y, IP p, int K) {
    return fabsl(x - ldexpl(p.x, -K)) < 1E-5L && fabsl(y - ldexpl(p.y, -K)) < 1E-5L;
}

// Random small polygons (coincident and collinear vertices included), some placed to touch at a
// vertex or along an edge.
std::vector<std::pair<std::vector<IP>, std::vector<IP>>> PolygonPairs() {
    Rng g;
    std::vector<std::pair<std::vector<IP>, std::vector<IP>>> pairs;
    for (int n = 0; n < 1500; n++) {
        std::vector<IP> a, b;
        for (int k = 0, m = (int)g.Int(2, 5); k < m; k++)
            a.push_back(g.Point(4));
        for (int k = 0, m = (int)g.Int(2, 5); k < m; k++)
            b.push_back(g.Point(4));
        if (n % 3 == 1) // share a vertex
            b[0] = a[g.Int(0, (ll)a.size() - 1)];
        if (n % 3 == 2) // run along a's first edge
            b[0] = a[0] + 2 * (a[1] - a[0]), b[1] = a[0] - (a[1] - a[0]);
        pairs.push_back({a, b});
    }
    return pairs;
}

TEST(ExactPolygons, ContactAndVirtualIntersectionsAgreeWithReference) {
    int contacts = 0, separate = 0;
    for (const auto &pair : PolygonPairs()) {
        std::vector<IP> va = KeptVertices(pair.first), vb = KeptVertices(pair.second);
        if (va.size() < 2 || vb.size() < 2)
            continue;
        auto ea = Edges(va), eb = Edges(vb);
        bool expected = false;
        for (auto &e : ea)
            for (auto &f : eb)
                expected = expected || SegmentsMeet(e.first, e.second, f.first, f.second);
        contacts += expected, separate += !expected;
        for (int K : {0, 10, -30}) {
            ShapePtr A = Poly(va, K), B = Poly(vb, K);
            long double tol = 1e-12L * ldexpl(8, -K);
            VECTOR P;
            ASSERT_EQ(expected, GEO_PolygonPolygonContactPoint(A.get(), B.get(), &P) != 0);
            if (expected) {
                EXPECT_LE(DistanceToBoundary(P, A.get()), tol);
                EXPECT_LE(DistanceToBoundary(P, B.get()), tol);
            }
            GEO_CreateVirtualIntersections(A.get(), B.get());
            for (size_t i = 0; i < ea.size(); i++) {
                size_t count = 0;
                for (auto &f : eb) {
                    if (!SegmentsMeet(ea[i].first, ea[i].second, f.first, f.second))
                        continue;
                    long double x, y;
                    Recorded(ea[i], f, K, &x, &y);
                    count += !Near(x, y, ea[i].first, K) && !Near(x, y, ea[i].second, K);
                }
                Shape *E = EdgeAt(A.get(), (int)i);
                ASSERT_EQ(count, (size_t)CountNodes(E->VirtualIntersections)) << "edge " << i;
                double last = -1;
                for (DBL *n = E->VirtualIntersections; n != nullptr; n = n->next) {
                    VECTOR &I = *(VECTOR *)n->element;
                    EXPECT_LE(DistanceToSegment(I, E), tol);
                    double dist = GEO_SquareDistance(&I, &E->Start);
                    EXPECT_LE(last, dist);
                    last = dist;
                }
            }
        }
    }
    EXPECT_GT(contacts, 300);
    EXPECT_GT(separate, 100);
}

TEST(ExactPolygons, CircleContactPointLiesOnThePolygonAndInTheDisc) {
    Rng g;
    int contacts = 0, inside = 0;
    for (int n = 0; n < 3000; n++) {
        std::vector<IP> v;
        for (int k = 0, m = (int)g.Int(2, 5); k < m; k++)
            v.push_back(g.Point(6));
        IP c = g.Point(6);
        ll r = g.Int(1, 8);
        if (n % 4 == 1) // a vertex on the circle of radius 5
            r = 5, v[0] = c + IP{3, 4};
        if (n % 4 == 2) // an edge tangent to it
            r = 5, v[0] = c + IP{-7, 5}, v[1] = c + IP{g.Int(-3, 6), 5};
        std::vector<IP> kept = KeptVertices(v);
        if (kept.size() < 2)
            continue;
        bool expected = false;
        for (auto &e : Edges(kept))
            expected = expected || SegmentMeetsDisc(e.first, e.second, c, r);
        ShapePtr Poly_ = Poly(kept, 0), C = Circle(c.x, c.y, r);
        VECTOR P;
        ASSERT_EQ(expected, GEO_PolygonCircleContactPoint(Poly_.get(), C.get(), &P) != 0) << n;
        if (!expected)
            continue;
        contacts++;
        EXPECT_LE(DistanceToBoundary(P, Poly_.get()), 1e-12) << n;
        EXPECT_LE(hypotl(P[0] - c.x, P[1] - c.y), r + 1e-12L) << n;
        bool all_inside = true;
        for (IP p : kept)
            all_inside = all_inside && Dot(p - c, p - c) < (i128)r * r;
        inside += all_inside;
    }
    EXPECT_GT(contacts, 1000);
    EXPECT_GT(inside, 50);
}

TEST(ExactPolygons, ConvexInclusionIsExact) {
    Rng g;
    for (int n = 0; n < 2000; n++) {
        IP a = g.Point(5), b = g.Point(5), c = g.Point(5);
        if (Cross(a, b, c) == 0)
            continue;
        if (Cross(a, b, c) < 0)
            std::swap(b, c);
        IP p = (n % 2) ? g.Point(6) : a + g.Int(-1, 2) * (b - a); // on an edge's line
        bool expected = Cross(a, b, p) >= 0 && Cross(b, c, p) >= 0 && Cross(c, a, p) >= 0;
        for (int K : {0, 10, -40}) { // vertices stay more than 1E-5 apart
            ShapePtr T = Poly({a, b, c}, K);
            ASSERT_EQ(expected, GEO_ConvexPolygonInclusion(P(p, K).p(), T.get()) != 0) << n;
        }
    }
}

// ---- circles ----------------------------------------------------------------------------------

struct CirclePair {
    IP c1, c2;
    ll r1, r2;
};

// Numerators over 2^20: random pairs, tangent outside and inside, one unit (about 1E-6) from
// tangency either way, identical, concentric, nearly concentric, and inside within 1E-5 of
// internal tangency.
std::vector<CirclePair> CirclePairs() {
    Rng g;
    const ll unit = 1LL << 20, kMinRadius = 16; // radii above 1E-5

    std::vector<CirclePair> pairs;
    for (int n = 0; n < 4000; n++) {
        IP c1 = g.Point(4 * unit);
        ll r1 = g.Int(kMinRadius, 3 * unit), m = g.Int(1, unit / 2);
        IP along = IP{3 * m, 4 * m}; // length 5 m
        ll wiggle = g.Int(-1, 1);
        switch (n % 8) {
        case 0:
            pairs.push_back({c1, g.Point(4 * unit), r1, g.Int(kMinRadius, 3 * unit)});
            break;
        case 1: // outside, tangent or one unit from it
            pairs.push_back({c1, c1 + along, r1, std::max<ll>(kMinRadius, 5 * m - r1) + wiggle});
            break;
        case 2: // inside, tangent or one unit from it
            pairs.push_back({c1, c1 + along, r1, r1 + 5 * m + wiggle});
            break;
        case 3:
            pairs.push_back({c1, c1, r1, r1});
            break;
        case 4:
            pairs.push_back({c1, c1, r1, r1 + g.Int(1, unit)});
            break;
        case 5:
            pairs.push_back({c1, c1 + IP{g.Int(-1, 1), g.Int(-1, 1)}, r1, r1 + g.Int(0, 1)});
            break;
        case 6: // inside, 1 to 10 units (under 1E-5) short of internal tangency
            pairs.push_back({c1, c1 + along, r1, r1 + 5 * m + g.Int(1, 10)});
            break;
        default: // crossing
            pairs.push_back({c1, c1 + along, r1, r1 + g.Int(-5 * m + 1, 5 * m - 1)});
            break;
        }
        pairs.back().r2 = std::max<ll>(pairs.back().r2, kMinRadius);
    }
    return pairs;
}

long double Dist(const VECTOR &p, IP c, int K) {
    return hypotl(p[0] - ldexpl(c.x, -K), p[1] - ldexpl(c.y, -K));
}

TEST(ExactCircles, OverlapContactAndPointsAgreeWithReference) {
    const int K = 20;
    const long double tol = 1e-12L * 16;
    int overlapping = 0, apart = 0, crossing = 0;
    for (const CirclePair &c : CirclePairs()) {
        IP u = c.c2 - c.c1;
        i128 d2 = Dot(u, u), reach = (i128)(c.r1 + c.r2) * (c.r1 + c.r2);
        i128 gap = (i128)(c.r1 - c.r2) * (c.r1 - c.r2);
        bool expected = d2 <= reach;
        overlapping += expected, apart += !expected;
        ShapePtr C1 = Circle(D(c.c1.x, K), D(c.c1.y, K), D(c.r1, K));
        ShapePtr C2 = Circle(D(c.c2.x, K), D(c.c2.y, K), D(c.r2, K));
        ASSERT_EQ(expected, GEO_CircleCircleIntersectionp(C1.get(), C2.get()) != 0);
        VECTOR P;
        ASSERT_EQ(expected, GEO_CircleCircleContactPoint(C1.get(), C2.get(), &P) != 0);
        if (expected) {
            EXPECT_LE(Dist(P, c.c1, K), ldexpl(c.r1, -K) + tol);
            EXPECT_LE(Dist(P, c.c2, K), ldexpl(c.r2, -K) + tol);
        }
        // Never stops the program; crossing circles get points on both.
        VECTOR I1, I2;
        testing::internal::CaptureStderr();
        GEO_CircleCircleIntersectionPoint(C1.get(), C2.get(), &I1, &I2);
        testing::internal::GetCapturedStderr();
        if (gap < d2 && d2 < reach) {
            crossing++;
            for (VECTOR *I : {&I1, &I2}) {
                EXPECT_NEAR(ldexpl(c.r1, -K), Dist(*I, c.c1, K), 1e-9L);
                EXPECT_NEAR(ldexpl(c.r2, -K), Dist(*I, c.c2, K), 1e-9L);
            }
        }
    }
    EXPECT_GT(overlapping, 2000);
    EXPECT_GT(apart, 200);
    EXPECT_GT(crossing, 500);
}

// Circle pairs that used to stop the program: identical, concentric and nearly so, and one just
// inside the other within 1E-5 of internal tangency.
TEST(ExactCircles, FormerlyFatalPairsAreRegular) {
    std::mt19937 random(5);
    std::uniform_real_distribution<double> unit(0, 1);
    struct Case {
        double x1, y1, r1, x2, y2, r2;
    };
    std::vector<Case> cases = {{0, 0, 1, 0, 0, 1},
                               {2, 3, 1.5, 2, 3, 1.500001},
                               {0, 0, 1, 1e-7, 0, 1},
                               {0, 0, 1, 0, 0, 1 + 2e-6},
                               {5, 5, 2, 5 + 1e-6, 5, 2.0}};
    for (int n = 0; n < 1000; n++) {
        double r1 = 0.1 + unit(random), r2 = r1 + 0.1 + unit(random);
        double d = (r2 - r1) - 1e-5 * unit(random), a = 6.283185307179586 * unit(random);
        cases.push_back({0, 0, r2, d * cos(a), d * sin(a), r1});
    }
    for (const Case &c : cases) {
        ShapePtr C1 = Circle(c.x1, c.y1, c.r1), C2 = Circle(c.x2, c.y2, c.r2);
        VECTOR P, I1, I2;
        ASSERT_TRUE(GEO_CircleCircleIntersectionp(C1.get(), C2.get()));
        ASSERT_TRUE(GEO_CircleCircleContactPoint(C1.get(), C2.get(), &P));
        EXPECT_LE(hypot(P[0] - c.x1, P[1] - c.y1), c.r1 + 1e-12);
        EXPECT_LE(hypot(P[0] - c.x2, P[1] - c.y2), c.r2 + 1e-12);
        testing::internal::CaptureStderr();
        GEO_CircleCircleIntersectionPoint(C1.get(), C2.get(), &I1, &I2);
        testing::internal::GetCapturedStderr();
    }
    // A zero-length line through a circle's centre.
    ShapePtr C = Circle(1, 2, 3), Dot_ = Segment(1, 2, 1, 2);
    VECTOR I1, I2;
    GEO_LineCircleIntersectionPoint(Dot_.get(), C.get(), &I1, &I2);
    EXPECT_NEAR(3, hypot(I1[0] - 1, I1[1] - 2), 1e-12);
    EXPECT_NEAR(3, hypot(I2[0] - 1, I2[1] - 2), 1e-12);
}

// ---- arcs -------------------------------------------------------------------------------------

const ll kLatticeRadius = 1105; // 5 x 13 x 17: 108 integer points on the circle

std::vector<IP> LatticeCircle() {
    std::vector<IP> points;
    for (ll x = -kLatticeRadius; x <= kLatticeRadius; x++) {
        ll y2 = kLatticeRadius * kLatticeRadius - x * x;
        ll y = llround(sqrt((double)y2));
        if (y * y != y2)
            continue;
        points.push_back({x, y});
        if (y != 0)
            points.push_back({x, -y});
    }
    std::sort(points.begin(), points.end(),
              [](IP a, IP b) { return atan2(a.y, a.x) < atan2(b.y, b.x); });
    return points;
}

// The lattice point whose angle is nearest to the angle of p turned by degrees.
IP Turned(const std::vector<IP> &lattice, IP p, double degrees) {
    double target = atan2(p.y, p.x) + degrees * M_PI / 180;
    IP best = lattice[0];
    double err = 10;
    for (IP q : lattice) {
        double e = fabs(remainder(atan2(q.y, q.x) - target, 2 * M_PI));
        if (e < err)
            err = e, best = q;
    }
    return best;
}

struct Arc {
    IP c, s, e; // centre, and the ends relative to it
};

// Arcs of about 10, 179, 181, 270 and 359 degrees from every lattice point (so every quadrant
// combination), half turns and full turns, around a few centres.
std::vector<Arc> Arcs() {
    std::vector<IP> lattice = LatticeCircle();
    std::vector<Arc> arcs;
    const IP centres[] = {{0, 0}, {37, -12}, {-400, 250}};
    for (IP c : centres)
        for (IP s : lattice) {
            for (double extent : {10.0, 179.0, 181.0, 270.0, 359.0})
                arcs.push_back({c, s, Turned(lattice, s, extent)});
            arcs.push_back({c, s, -1 * s});
            arcs.push_back({c, s, s});
        }
    return arcs;
}

Shape *MakeArc(const Arc &a) {
    return GEO_CreateArc(P(a.c, 0).p(), (double)kLatticeRadius, P(a.c + a.s, 0).p(),
                         P(a.c + a.e, 0).p());
}

TEST(ExactArcs, MembershipOfAnyExtent) {
    std::vector<IP> lattice = LatticeCircle();
    Rng g;
    int in = 0, out = 0;
    for (const Arc &a : Arcs()) {
        std::vector<IP> probes = lattice;
        for (IP v : {a.s, a.e})
            for (ll k : {2, -1})
                probes.push_back(k * v);
        for (int n = 0; n < 20; n++)
            probes.push_back(g.Point(2000));
        ShapePtr A(MakeArc(a));
        for (IP v : probes) {
            if (v.x == 0 && v.y == 0)
                continue;
            bool expected = OnArc(a.s, a.e, v);
            in += expected, out += !expected;
            Pt p = P(a.c + v, 0);
            ASSERT_EQ(expected,
                      GEO_BetweenArcPointsp(p.p(), &A->Center, A->Radius, &A->Start, &A->End) != 0)
                << "arc (" << a.s.x << "," << a.s.y << ")->(" << a.e.x << "," << a.e.y
                << ") point (" << v.x << "," << v.y << ")";
            ASSERT_EQ(expected, GEO_InShapep(A.get(), p.p()) != 0);
        }
    }
    EXPECT_GT(in, 10000);
    EXPECT_GT(out, 10000);
}

TEST(ExactArcs, BoundingBoxOfAnyExtent) {
    for (const Arc &a : Arcs()) {
        const IP extremes[] = {
            {kLatticeRadius, 0}, {0, kLatticeRadius}, {-kLatticeRadius, 0}, {0, -kLatticeRadius}};
        std::vector<IP> on = {a.s, a.e};
        for (IP x : extremes)
            if (OnArc(a.s, a.e, x))
                on.push_back(x);
        ll box[4] = {on[0].x, on[0].x, on[0].y, on[0].y};
        for (IP p : on) {
            box[0] = std::min(box[0], p.x), box[1] = std::max(box[1], p.x);
            box[2] = std::min(box[2], p.y), box[3] = std::max(box[3], p.y);
        }
        ShapePtr A(MakeArc(a));
        const double got[4] = {A->XMin, A->XMax, A->YMin, A->YMax};
        for (int k = 0; k < 4; k++)
            ASSERT_EQ((double)(box[k] + (k < 2 ? a.c.x : a.c.y)), got[k])
                << "side " << k << " arc (" << a.s.x << "," << a.s.y << ")->(" << a.e.x << ","
                << a.e.y << ")";
    }
}

// Lines through two lattice points cross the circle exactly there: every crossing on the arc is
// kept. Crossings at an arc's own end are left out: the computed point lies within rounding of
// the end, on either side of it.
TEST(ExactArcs, LineArcPointsKeepEveryCrossingOnTheArc) {
    std::vector<IP> lattice = LatticeCircle();
    Rng g;
    int both = 0, one = 0;
    for (const Arc &a : Arcs()) {
        ShapePtr A(MakeArc(a));
        for (int n = 0; n < 6; n++) {
            IP p = lattice[g.Int(0, 107)], q = lattice[g.Int(0, 107)];
            if (p == q || p == a.s || p == a.e || q == a.s || q == a.e)
                continue;
            ShapePtr L = Seg(a.c + p, a.c + q, 0);
            VECTOR I1, I2;
            GEO_LineArcIntersectionPoint(L.get(), A.get(), &I1, &I2);
            std::vector<IP> kept;
            for (IP v : {p, q})
                if (OnArc(a.s, a.e, v))
                    kept.push_back(a.c + v);
            auto at = [](const VECTOR &I, IP v) {
                return fabs(I[0] - v.x) < 1e-9 && fabs(I[1] - v.y) < 1e-9;
            };
            if (kept.size() == 2) {
                both++;
                EXPECT_TRUE((at(I1, kept[0]) && at(I2, kept[1])) ||
                            (at(I1, kept[1]) && at(I2, kept[0])));
            } else if (kept.size() == 1) {
                one++;
                EXPECT_TRUE(at(I1, kept[0]) && at(I2, kept[0]));
            }
        }
    }
    EXPECT_GT(both, 300);
    EXPECT_GT(one, 300);
}

// ---- motions ----------------------------------------------------------------------------------

// Within rounding: a translation moves a box or a line by adding to it, a fresh shape computes
// them from the moved points.
void ExpectBox(const double *box, Shape *S) {
    const double got[4] = {S->XMin, S->XMax, S->YMin, S->YMax};
    for (int k = 0; k < 4; k++)
        EXPECT_NEAR(box[k], got[k], 1e-12) << "box side " << k;
}

void ExpectSegmentFresh(Shape *S) {
    ShapePtr Fresh(GEO_CreateSegment(&S->Start, &S->End));
    for (int k = 0; k < 3; k++) {
        EXPECT_NEAR(Fresh->Line[k], S->Line[k], 1e-12) << k;
        EXPECT_NEAR(Fresh->Vector[k], S->Vector[k], 1e-12) << k;
    }
    const double box[4] = {Fresh->XMin, Fresh->XMax, Fresh->YMin, Fresh->YMax};
    ExpectBox(box, S);
    for (DBL *n = S->VirtualIntersections; n != nullptr; n = n->next)
        EXPECT_LE(DistanceToSegment(*(VECTOR *)n->element, S), 1e-12);
}

void ExpectFresh(Shape *S) {
    if (S->Type == 'S')
        return ExpectSegmentFresh(S);
    if (S->Type == 'P') {
        double box[4] = {INFINITY, -INFINITY, INFINITY, -INFINITY};
        for (DBL *n = S->Edge; n != nullptr; n = (n->next == S->Edge) ? nullptr : n->next) {
            Shape *E = (Shape *)n->element;
            ExpectSegmentFresh(E);
            box[0] = fmin(box[0], E->Start[0]), box[1] = fmax(box[1], E->Start[0]);
            box[2] = fmin(box[2], E->Start[1]), box[3] = fmax(box[3], E->Start[1]);
        }
        return ExpectBox(box, S);
    }
    double box[4] = {S->Center[0] - S->Radius, S->Center[0] + S->Radius, S->Center[1] - S->Radius,
                     S->Center[1] + S->Radius};
    if (S->Type == 'A')
        GEO_ArcBoundingBox(&S->Center, &S->Start, &S->End, S->Radius, box);
    ExpectBox(box, S);
}

// A point halfway round the arc, and one halfway round the rest of its circle.
void ArcProbes(Shape *A, VECTOR *probes) {
    double a0 = atan2(A->Start[1] - A->Center[1], A->Start[0] - A->Center[0]);
    double a1 = atan2(A->End[1] - A->Center[1], A->End[0] - A->Center[0]);
    double sweep = fmod(a1 - a0 + 4 * M_PI, 2 * M_PI);
    const double angles[2] = {a0 + sweep / 2, a1 + (2 * M_PI - sweep) / 2};
    for (int k = 0; k < 2; k++) {
        probes[k][0] = A->Center[0] + A->Radius * cos(angles[k]);
        probes[k][1] = A->Center[1] + A->Radius * sin(angles[k]);
        probes[k][2] = 1;
    }
}

void Transform(MATRIX *M, VECTOR *p) {
    VECTOR out;
    mx_mult(*M, *p, out, 3, 3, 3, 1);
    memcpy(*p, out, sizeof(VECTOR));
}

// Random segments (with a crossing on them), polygons, circles and arcs under poses, mirrors,
// translations and uniform, uneven and mirroring scales: every derived field equals that of a
// shape built afresh from the moved points, and an arc keeps its own points.
TEST(ExactMotions, DerivedFieldsFollowEveryMotion) {
    std::mt19937 random(3);
    std::uniform_real_distribution<double> real(-5, 5);
    for (int n = 0; n < 300; n++) {
        std::vector<ShapePtr> shapes;
        shapes.push_back(Segment(real(random), real(random), real(random), real(random)));
        shapes.push_back(Polygon({{0, 0}, {3, real(random)}, {real(random), 4}}));
        shapes.push_back(Circle(real(random), real(random), 1 + fabs(real(random))));
        double a0 = n, a1 = n + 1 + n % 5;
        shapes.push_back(
            ShapePtr(GEO_CreateArc(Pt(1, -1).p(), 2, Pt(1 + 2 * cos(a0), -1 + 2 * sin(a0)).p(),
                                   Pt(1 + 2 * cos(a1), -1 + 2 * sin(a1)).p())));
        VECTOR mid;
        GEO_Middle(&shapes[0]->Start, &shapes[0]->End, &mid);
        shapes[0]->VirtualIntersections = DBL_AddBefore(nullptr, GEO_CopyVector(&mid));
        double angle = real(random), c = cos(angle), s = sin(angle);
        double sx = real(random), sy = (n % 3 == 0) ? -sx : real(random);
        MATRIX pose = {c, -s, real(random), s, c, real(random), 0, 0, 1};
        MATRIX mirror = {c, s, real(random), s, -c, real(random), 0, 0, 1};
        Pt T(real(random), real(random), 0);
        for (ShapePtr &S : shapes) {
            SCOPED_TRACE(S->Type);
            VECTOR probes[2] = {};
            if (S->Type == 'A')
                ArcProbes(S.get(), probes);
            GEO_DisplaceShape(S.get(), &pose);
            ExpectFresh(S.get());
            GEO_DisplaceShape(S.get(), &mirror);
            ExpectFresh(S.get());
            GEO_TranslateShape(S.get(), T.p());
            ExpectFresh(S.get());
            GEO_Scale(S.get(), sx, sy);
            ExpectFresh(S.get());
            if (S->Type != 'A')
                continue;
            for (VECTOR &p : probes) {
                Transform(&pose, &p);
                Transform(&mirror, &p);
                p[0] = (p[0] + T.v[0]) * sx;
                p[1] = (p[1] + T.v[1]) * sy;
            }
            EXPECT_TRUE(GEO_InShapep(S.get(), &probes[0]));
            EXPECT_FALSE(GEO_InShapep(S.get(), &probes[1]));
        }
    }
}

} // namespace
