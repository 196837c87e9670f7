// Planar shapes: construction, vertices, copies, motions, measures, boxes, frames and printing.
#include "geometry.h"

#include "geometry_test_util.h"
#include "mempool.h"

#include <gtest/gtest.h>

#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string>
#include <vector>

namespace {

struct LineCase {
    const char *name;
    double x1, y1, x2, y2;
    double a, b, c;
    double xmin, xmax, ymin, ymax;
};

TEST(SegmentGeometry, LineEquationDirectionAndBox) {
    const std::vector<LineCase> cases = {
        {"slanted", 0, 0, 3, 4, 0.8, -0.6, 0, 0, 3, 0, 4},
        {"coincident ends", 2, 5, 2, 5, 0, 0, 0, 2, 2, 5, 5},
        {"vertical x = 1", 1, 3, 1, 1, -1, 0, 1, 1, 1, 1, 3},
        {"horizontal y = 2", -1, 2, 3, 2, 0, -1, 2, -1, 3, 2, 2},
    };
    for (const LineCase &c : cases) {
        SCOPED_TRACE(c.name);
        ShapePtr S = Segment(c.x1, c.y1, c.x2, c.y2);
        EXPECT_EQ('S', S->Type);
        EXPECT_NEAR(c.a, S->Line[0], 1e-12);
        EXPECT_NEAR(c.b, S->Line[1], 1e-12);
        EXPECT_NEAR(c.c, S->Line[2], 1e-12);
        EXPECT_EQ(c.x2 - c.x1, S->Vector[0]);
        EXPECT_EQ(c.y2 - c.y1, S->Vector[1]);
        EXPECT_EQ(1, S->Vector[2]);
        EXPECT_EQ((std::vector<double>{c.xmin, c.xmax, c.ymin, c.ymax}),
                  (std::vector<double>{S->XMin, S->XMax, S->YMin, S->YMax}));
        EXPECT_EQ(nullptr, S->VirtualIntersections);
    }
}

TEST(ShapeConstruction, CirclesArcsAndBoxOverlap) {
    ShapePtr C = Circle(1, 2, 0.5);
    EXPECT_EQ('C', C->Type);
    EXPECT_EQ((std::vector<double>{0.5, 1.5, 1.5, 2.5}),
              (std::vector<double>{C->XMin, C->XMax, C->YMin, C->YMax}));
    ShapePtr A(GEO_CreateArc(Pt(0, 0).p(), 1, Pt(1, 0).p(), Pt(0, 1).p()));
    EXPECT_EQ('A', A->Type);
    EXPECT_EQ((std::vector<double>{0, 1, 0, 1}),
              (std::vector<double>{A->XMin, A->XMax, A->YMin, A->YMax}));
    // Closed boxes: touching counts as overlap.
    EXPECT_TRUE(GEO_BoxOverlap(Segment(0, 0, 1, 1).get(), Segment(1, 1, 2, 3).get()));
    EXPECT_FALSE(GEO_BoxOverlap(Segment(0, 0, 1, 1).get(), Segment(1.01, 0, 2, 1).get()));
    EXPECT_FALSE(GEO_BoxOverlap(C.get(), A.get()));
    ShapePtr G(GEO_CreateGenericShape());
    EXPECT_EQ('G', G->Type);
    EXPECT_EQ(nullptr, GEO_CopyShape(G.get()));
}

TEST(PolygonVertices, TriangleRingAndCoincidentVertex) {
    ShapePtr P = Polygon({{0, 0}, {1, 0}, {0, 1}});
    ASSERT_EQ(3, CountNodes(P->Edge));
    const double ring[3][4] = {{0, 0, 1, 0}, {1, 0, 0, 1}, {0, 1, 0, 0}};
    for (int k = 0; k < 3; k++) {
        SCOPED_TRACE(k);
        Shape *E = EdgeAt(P.get(), k);
        EXPECT_POINT(E->Start, ring[k][0], ring[k][1]);
        EXPECT_POINT(E->End, ring[k][2], ring[k][3]);
    }
    EXPECT_EQ(EdgeAt(P.get(), 0), (Shape *)P->Edge->previous->next->element); // closed
    EXPECT_EQ((std::vector<double>{0, 1, 0, 1}),
              (std::vector<double>{P->XMin, P->XMax, P->YMin, P->YMax}));
    // Within 1E-5 of the last vertex in both coordinates, or the very same object: no change.
    GEO_AddVertexToPolygon(P.get(), Pt(0.000001, 1).p());
    GEO_AddVertexToPolygon(P.get(), &EdgeAt(P.get(), 2)->Start);
    EXPECT_EQ(3, CountNodes(P->Edge));
    // The first vertex again is accepted: a zero-length closing edge with the d = 1 line.
    GEO_AddVertexToPolygon(P.get(), Pt(0, 0).p());
    ASSERT_EQ(4, CountNodes(P->Edge));
    Shape *Closing = EdgeAt(P.get(), 3);
    EXPECT_POINT(Closing->Start, 0, 0);
    EXPECT_POINT(Closing->End, 0, 0);
    EXPECT_EQ((std::vector<double>{0, 0, 0}),
              (std::vector<double>{Closing->Line[0], Closing->Line[1], Closing->Line[2]}));
}

TEST(PolygonVertices, SecondVertexAndPolyline) {
    ShapePtr P = Polygon({{0, 0}});
    EXPECT_EQ(nullptr, P->Edge);
    EXPECT_POINT(P->Center, 0, 0);
    GEO_AddVertexToPolygon(P.get(), Pt(2, 0).p());
    ASSERT_EQ(2, CountNodes(P->Edge));
    EXPECT_POINT(EdgeAt(P.get(), 1)->Start, 2, 0);
    EXPECT_POINT(EdgeAt(P.get(), 1)->End, 0, 0);

    ShapePtr L(GEO_CreatePolyline(Pt(0, 0).p()));
    EXPECT_EQ('L', L->Type);
    GEO_AddVertexToPolyline(L.get(), Pt(1, 1).p());
    GEO_AddVertexToPolyline(L.get(), Pt(1, 1.000001).p()); // coincides with the last
    GEO_AddVertexToPolyline(L.get(), Pt(3, -1).p());
    ASSERT_EQ(2, CountNodes(L->Edge));
    EXPECT_EQ(nullptr, L->Edge->previous); // linear
    EXPECT_EQ(nullptr, L->Edge->next->next);
    EXPECT_POINT(EdgeAt(L.get(), 1)->Start, 1, 1);
    EXPECT_POINT(EdgeAt(L.get(), 1)->End, 3, -1);
    EXPECT_EQ((std::vector<double>{0, 3, -1, 1}),
              (std::vector<double>{L->XMin, L->XMax, L->YMin, L->YMax}));
}

TEST(ShapeCopy, SameGeometryForEveryType) {
    ShapePtr P = Polygon({{0, 0}, {2, 0}, {2, 1}, {0, 1}});
    ShapePtr Q(GEO_CopyShape(P.get()));
    ASSERT_EQ(4, CountNodes(Q->Edge));
    for (int k = 0; k < 4; k++) {
        EXPECT_NE(EdgeAt(P.get(), k), EdgeAt(Q.get(), k));
        EXPECT_POINT(EdgeAt(Q.get(), k)->Start, EdgeAt(P.get(), k)->Start[0],
                     EdgeAt(P.get(), k)->Start[1]);
        EXPECT_POINT(EdgeAt(Q.get(), k)->End, EdgeAt(P.get(), k)->End[0],
                     EdgeAt(P.get(), k)->End[1]);
    }
    ShapePtr L(GEO_CreatePolyline(Pt(0, 0).p()));
    GEO_AddVertexToPolyline(L.get(), Pt(1, 0).p());
    GEO_AddVertexToPolyline(L.get(), Pt(1, 1).p());
    ShapePtr M(GEO_CopyShape(L.get()));
    ASSERT_EQ(2, CountNodes(M->Edge));
    EXPECT_POINT(EdgeAt(M.get(), 1)->End, 1, 1);
    ShapePtr A(GEO_CreateArc(Pt(0, 0).p(), 2, Pt(2, 0).p(), Pt(0, 2).p()));
    ShapePtr B(GEO_CopyShape(A.get()));
    EXPECT_EQ(2, B->Radius);
    EXPECT_POINT(B->End, 0, 2);
    EXPECT_EQ(A->YMax, B->YMax);
    ShapePtr Single = Polygon({{5, 6}});
    ShapePtr SingleCopy(GEO_CopyShape(Single.get()));
    EXPECT_POINT(SingleCopy->Center, 5, 6);
}

TEST(ShapeMotion, DisplaceByPose) {
    // A quarter turn about the origin followed by a shift of (10, 0).
    MATRIX C = {0, -1, 10, 1, 0, 0, 0, 0, 1};
    ShapePtr P = Polygon({{0, 0}, {2, 0}, {2, 1}});
    ShapePtr Q(GEO_CopyShape(P.get()));
    GEO_DisplaceShapeIntoShape(P.get(), Q.get(), &C);
    const double moved[3][2] = {{10, 0}, {10, 2}, {9, 2}};
    for (int k = 0; k < 3; k++) {
        SCOPED_TRACE(k);
        EXPECT_POINT(EdgeAt(Q.get(), k)->Start, moved[k][0], moved[k][1]);
        EXPECT_POINT(EdgeAt(Q.get(), k)->End, moved[(k + 1) % 3][0], moved[(k + 1) % 3][1]);
    }
    EXPECT_POINT(EdgeAt(P.get(), 1)->Start, 2, 0); // the source is untouched
    EXPECT_EQ((std::vector<double>{9, 10, 0, 2}),
              (std::vector<double>{Q->XMin, Q->XMax, Q->YMin, Q->YMax}));
    // The moved edge (10,0)->(10,2) has the line x = 10 recomputed.
    Shape *E = EdgeAt(Q.get(), 0);
    EXPECT_NEAR(1, E->Line[0], 1e-12);
    EXPECT_NEAR(-10, E->Line[2], 1e-12);
    GEO_DisplaceShape(P.get(), &C); // in place gives the same
    EXPECT_POINT(EdgeAt(P.get(), 2)->Start, 9, 2);

    ShapePtr A(GEO_CreateArc(Pt(0, 0).p(), 1, Pt(1, 0).p(), Pt(0, 1).p()));
    GEO_DisplaceShape(A.get(), &C); // now from (10, 1) to (9, 0) around (10, 0)
    EXPECT_POINT(A->Start, 10, 1);
    EXPECT_EQ((std::vector<double>{9, 10, 0, 1}),
              (std::vector<double>{A->XMin, A->XMax, A->YMin, A->YMax}));
    ShapePtr Ci = Circle(1, 0, 0.5);
    GEO_DisplaceShape(Ci.get(), &C);
    EXPECT_POINT(Ci->Center, 10, 1);
    EXPECT_EQ(9.5, Ci->XMin);
    ShapePtr L(GEO_CreatePolyline(Pt(0, 0).p()));
    GEO_AddVertexToPolyline(L.get(), Pt(1, 0).p());
    GEO_AddVertexToPolyline(L.get(), Pt(1, 1).p());
    GEO_DisplaceShape(L.get(), &C);
    EXPECT_POINT(EdgeAt(L.get(), 1)->Start, 10, 1);
    EXPECT_POINT(EdgeAt(L.get(), 1)->End, 9, 1);
    EXPECT_EQ((std::vector<double>{9, 10, 0, 1}),
              (std::vector<double>{L->XMin, L->XMax, L->YMin, L->YMax}));
}

TEST(ShapeMotion, TranslateKeepsLinesConsistent) {
    Pt T(3, -2, 0);
    ShapePtr S = Segment(0, 0, 3, 4);
    GEO_TranslateShape(S.get(), T.p());
    ShapePtr Fresh = Segment(3, -2, 6, 2);
    for (int k = 0; k < 3; k++)
        EXPECT_NEAR(Fresh->Line[k], S->Line[k], 1e-12) << k;
    EXPECT_EQ((std::vector<double>{3, 6, -2, 2}),
              (std::vector<double>{S->XMin, S->XMax, S->YMin, S->YMax}));
    ShapePtr P = Polygon({{0, 0}, {1, 0}, {0, 1}});
    GEO_TranslateShape(P.get(), T.p());
    EXPECT_POINT(EdgeAt(P.get(), 1)->End, 3, -1);
    EXPECT_EQ((std::vector<double>{3, 4, -2, -1}),
              (std::vector<double>{P->XMin, P->XMax, P->YMin, P->YMax}));
    ShapePtr A(GEO_CreateArc(Pt(0, 0).p(), 1, Pt(1, 0).p(), Pt(0, 1).p()));
    GEO_TranslateShape(A.get(), T.p());
    EXPECT_POINT(A->Center, 3, -2);
    EXPECT_POINT(A->End, 3, -1);
    EXPECT_EQ(4, A->XMax);

    ShapePtr L(GEO_CreatePolyline(Pt(0, 0).p()));
    GEO_AddVertexToPolyline(L.get(), Pt(1, 1).p());
    testing::internal::CaptureStdout();
    GEO_TranslateShape(L.get(), T.p());
    EXPECT_EQ("Translate shape for polylines yet to be implemented...\n",
              testing::internal::GetCapturedStdout());
    EXPECT_POINT(EdgeAt(L.get(), 0)->End, 1, 1);
    EXPECT_EQ(1, L->XMax);
}

struct ScaleCase {
    const char *name;
    double sx, sy;
    double cx, cy, radius, xmin;
};

TEST(ShapeMotion, ScaleRules) {
    // Circle of radius 1 at (1, 1), box 0..2.
    const std::vector<ScaleCase> cases = {
        {"uneven keeps the radius, the box follows the centre", 2, 3, 2, 3, 1, 1},
        {"uniform scales radius and box", 2, 2, 2, 2, 2, 0},
        {"mirror keeps the radius positive", -2, 2, -2, 2, 2, -4},
    };
    for (const ScaleCase &c : cases) {
        SCOPED_TRACE(c.name);
        ShapePtr C = Circle(1, 1, 1);
        GEO_Scale(C.get(), c.sx, c.sy);
        EXPECT_POINT(C->Center, c.cx, c.cy);
        EXPECT_EQ(c.radius, C->Radius);
        EXPECT_EQ(c.xmin, C->XMin);
    }
    // Segments and polygons: points, boxes, line equations and directions follow.
    ShapePtr S = Segment(0, 0, 3, 4);
    GEO_Scale(S.get(), 2, -1);
    EXPECT_POINT(S->End, 6, -4);
    EXPECT_EQ((std::vector<double>{0, 6, -4, 0}),
              (std::vector<double>{S->XMin, S->XMax, S->YMin, S->YMax}));
    EXPECT_NEAR(-4 / sqrt(52), S->Line[0], 1e-12);
    EXPECT_NEAR(-6 / sqrt(52), S->Line[1], 1e-12);
    EXPECT_EQ(6, S->Vector[0]);
    EXPECT_EQ(-4, S->Vector[1]);
    ShapePtr P = Polygon({{0, 0}, {1, 0}, {0, 1}});
    GEO_Scale(P.get(), 3, 2);
    EXPECT_POINT(EdgeAt(P.get(), 1)->End, 0, 2);
    EXPECT_EQ((std::vector<double>{0, 3, 0, 2}),
              (std::vector<double>{P->XMin, P->XMax, P->YMin, P->YMax}));
    EXPECT_EQ((std::vector<double>{0, 3, 0, 0}),
              (std::vector<double>{EdgeAt(P.get(), 0)->XMin, EdgeAt(P.get(), 0)->XMax,
                                   EdgeAt(P.get(), 0)->YMin, EdgeAt(P.get(), 0)->YMax}));
}

TEST(Measures, SignedAreaDistancesAndProjections) {
    EXPECT_DOUBLE_EQ(2, GEO_SignedArea(Pt(0, 0).p(), Pt(2, 0).p(), Pt(0, 1).p()));
    EXPECT_DOUBLE_EQ(-2, GEO_SignedArea(Pt(0, 0).p(), Pt(0, 1).p(), Pt(2, 0).p()));
    EXPECT_EQ(0, GEO_SignedArea(Pt(0, 0).p(), Pt(1, 0).p(), Pt(2, 0.000001).p()));
    EXPECT_EQ(25, GEO_SquareDistance(Pt(1, 1).p(), Pt(4, 5).p()));
    ShapePtr S = Segment(0, 0, 3, 4);
    EXPECT_NEAR(1, GEO_VectorLineDistance(Pt(0.8, -0.6).p(), S.get()), 1e-12);
    VECTOR M, D, Proj;
    GEO_Middle(Pt(0, 0).p(), Pt(3, 4).p(), &M);
    EXPECT_EQ((std::vector<double>{1.5, 2, 1}), std::vector<double>(M, M + 3));
    GEO_DisplacePoint(Pt(1, 1).p(), Pt(1, -2, 0).p(), 2, &D);
    EXPECT_EQ((std::vector<double>{3, -3, 1}), std::vector<double>(D, D + 3));
    GEO_ProjectionOnLine(Pt(5, 0).p(), S.get(), &Proj);
    EXPECT_POINT(Proj, 1.8, 2.4);
    ShapePtr Zero = Segment(1, 1, 1, 1);
    GEO_ProjectionOnLine(Pt(5, 0).p(), Zero.get(), &Proj);
    EXPECT_POINT(Proj, 1, 1);
    ShapePtr C = Circle(1, 1, 2);
    GEO_ProjectionOnCircle(Pt(4, 5).p(), C.get(), &Proj);
    EXPECT_POINT(Proj, 2.2, 2.6);
}

struct InclusionCase {
    const char *name;
    double x, y;
    bool inside;
};

TEST(Measures, PointInShapes) {
    ShapePtr Square = Polygon({{0, 0}, {2, 0}, {2, 2}, {0, 2}});
    const std::vector<InclusionCase> square = {{"inside", 1, 1, true},
                                               {"on an edge", 2, 1, true},
                                               {"corner", 0, 0, true},
                                               {"outside", 2.5, 1, false},
                                               {"below", 1, -0.1, false}};
    for (const InclusionCase &c : square) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.inside, GEO_ConvexPolygonInclusion(Pt(c.x, c.y).p(), Square.get()) != 0);
        EXPECT_EQ(c.inside, GEO_InShapep(Square.get(), Pt(c.x, c.y).p()) != 0);
    }
    ShapePtr C = Circle(0, 0, 1);
    EXPECT_TRUE(GEO_InShapep(C.get(), Pt(1, 0).p()));
    EXPECT_TRUE(GEO_InShapep(C.get(), Pt(0.6, 0.8).p()));
    EXPECT_FALSE(GEO_InShapep(C.get(), Pt(0.8, 0.61).p()));
    ShapePtr A(GEO_CreateArc(Pt(0, 0).p(), 1, Pt(1, 0).p(), Pt(0, 1).p()));
    EXPECT_TRUE(GEO_InShapep(A.get(), Pt(0.6, 0.8).p()));
    EXPECT_FALSE(GEO_InShapep(A.get(), Pt(-0.6, 0.8).p()));
    EXPECT_FALSE(GEO_InShapep(A.get(), Pt(0.6, -0.8).p()));
    ShapePtr S = Segment(0, 0, 4, 2);
    EXPECT_TRUE(GEO_InShapep(S.get(), Pt(2, 1).p()));
    EXPECT_FALSE(GEO_InShapep(S.get(), Pt(5, 2.5).p()));
    ShapePtr V = Segment(1, 0, 1, 2); // vertical: the parameter comes from y
    EXPECT_TRUE(GEO_InShapep(V.get(), Pt(1, 1.5).p()));
    EXPECT_FALSE(GEO_InShapep(V.get(), Pt(1, 2.5).p()));
    ShapePtr G(GEO_CreateGenericShape());
    EXPECT_FALSE(GEO_InShapep(G.get(), Pt(0, 0).p()));
}

TEST(ArcBox, QuadrantsAndTableCodes) {
    const struct {
        double x, y;
        int q;
    } quadrants[] = {{1, 1, 0},   {0, 1, 1}, {-1, 1, 1}, {0, 0, 2},
                     {-1, -1, 2}, {1, 0, 3}, {1, -1, 3}};
    for (const auto &c : quadrants)
        EXPECT_EQ(c.q, WhichQuadrant(Pt(c.x, c.y).p())) << c.x << "," << c.y;
    // The arc (1,0) -> (0,1): start in quadrant 3 (y = 0 counts as y <= 0), end in 1.
    EXPECT_EQ(5, BoundingBoxTable[0][3][1]);
    EXPECT_EQ(1, BoundingBoxTable[1][3][1]);
    EXPECT_EQ(6, BoundingBoxTable[2][3][1]);
    EXPECT_EQ(0, BoundingBoxTable[3][3][1]);
    const struct {
        const char *name;
        double sx, sy, ex, ey;
        double box[4];
    } arcs[] = {
        {"first quarter", 1, 0, 0, 1, {0, 1, 0, 1}},
        {"second quarter", 0, 1, -1, 0, {-1, 0, 0, 1}},
        {"upper half", 1, 0, -1, 0, {-1, 1, 0, 1}},
        {"lower half", -1, 0, 1, 0, {-1, 1, -1, 0}},
        {"short arc in one quadrant", 0.8, 0.6, 0.6, 0.8, {0.6, 0.8, 0.6, 0.8}},
        {"three quarters", 0, 1, 1, 0, {-1, 1, -1, 1}},
    };
    for (const auto &c : arcs) {
        SCOPED_TRACE(c.name);
        double box[4];
        GEO_ArcBoundingBox(Pt(10, 20).p(), Pt(10 + c.sx, 20 + c.sy).p(),
                           Pt(10 + c.ex, 20 + c.ey).p(), 1, box);
        for (int k = 0; k < 4; k++)
            EXPECT_NEAR(c.box[k] + (k < 2 ? 10 : 20), box[k], 1e-12) << k;
    }
}

TEST(Frames, InFrameInvertAndScreen) {
    // Pose at (1, 2) turned by a quarter turn.
    MATRIX pose = {0, -1, 1, 1, 0, 2, 0, 0, 1};
    VECTOR W;
    GEO_InFrame(Pt(1, 3).p(), &pose, &W);
    EXPECT_POINT(W, 1, 0); // one unit ahead of the robot
    EXPECT_EQ(1, W[2]);
    MATRIX inverse, product;
    GEO_Invert(1, 2, 0, 1, &inverse);
    mx_mult(inverse, pose, product, 3, 3, 3, 3);
    const double identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    for (int k = 0; k < 9; k++)
        EXPECT_NEAR(identity[k], product[k], 1e-12) << k;
    VECTOR screen = {0, 0, 7};
    GEO_WorldPointToX(&screen, Pt(2, 3).p(), 100, 50, 10);
    EXPECT_EQ((std::vector<double>{120, 20, 7}), std::vector<double>(screen, screen + 3));
}

std::string Format(const char *format, const void *p) {
    char text[128];
    snprintf(text, sizeof(text), format, p);
    return text;
}

TEST(Printing, VectorsAndShapes) {
    ShapePtr S = Segment(0, 0, 3, 4);
    testing::internal::CaptureStdout();
    GEO_PrintShape(S.get());
    std::string expected = Format("GEO_SEGMENT %p\n", S.get()) + " Start " +
                           Format("VECTOR %p  0.00  0.00  1.00\n", &S->Start) + " End " +
                           Format("VECTOR %p  3.00  4.00  1.00\n", &S->End) +
                           "Bounding Box:  0.00  3.00  0.00  4.00\nVirtual Intersections:\n";
    EXPECT_EQ(expected, testing::internal::GetCapturedStdout());

    ShapePtr C = Circle(1, 2, 0.5);
    testing::internal::CaptureStdout();
    GEO_PrintShape(C.get());
    expected = Format("GEO_CIRCLE %p\n", C.get()) + " Center " +
               Format("VECTOR %p  1.00  2.00  1.00\n", &C->Center) + " Radius  0.50\n" +
               "Bounding Box:  0.50  1.50  1.50  2.50\nVirtual Intersections:\n";
    EXPECT_EQ(expected, testing::internal::GetCapturedStdout());

    ShapePtr P = Polygon({{0, 0}});
    testing::internal::CaptureStdout();
    GEO_PrintShape(P.get());
    expected = Format("GEO_POLYGON %p\n", P.get()) + "Start " +
               Format("VECTOR %p  0.00  0.00  1.00\n", &P->Center) +
               "Bounding Box:  0.00  0.00  0.00  0.00\nVirtual Intersections:\n";
    EXPECT_EQ(expected, testing::internal::GetCapturedStdout());

    GEO_AddVertexToPolygon(P.get(), Pt(1, 0).p());
    testing::internal::CaptureStdout();
    GEO_PrintShape(P.get());
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(0u, out.find(Format("GEO_POLYGON %p\nGEO_SEGMENT ", P.get())));
    EXPECT_NE(std::string::npos, out.find(Format("GEO_SEGMENT %p\n", EdgeAt(P.get(), 1))));

    ShapePtr G(GEO_CreateGenericShape());
    testing::internal::CaptureStdout();
    GEO_PrintShape(G.get());
    out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(0u, out.find("geometry, line "));
    EXPECT_NE(std::string::npos, out.find(": Unknown shape code in 71\n"));
    EXPECT_EQ(std::string::npos, out.find("Bounding Box"));
}

TEST(GeometryDeathTest, ProgrammingErrors) {
    EXPECT_DEATH(GEO_CreateCircle(Pt(0, 0).p(), 1E-5), Literal("Radius > 1E-5"));
    EXPECT_DEATH(GEO_CreateArc(Pt(0, 0).p(), 0, Pt(1, 0).p(), Pt(0, 1).p()),
                 Literal("Radius > 1E-5"));
    EXPECT_DEATH(GEO_FreeVector(nullptr), Literal("V != ((void *)0)"));
    EXPECT_DEATH(GEO_FreeShape(nullptr), Literal("S != ((void *)0)"));
    EXPECT_DEATH(GEO_SignedArea(Pt(0, 0, 0).p(), Pt(1, 0).p(), Pt(0, 1).p()),
                 Literal("A && (*(A))[2] == 1"));
    EXPECT_DEATH(GEO_SignedArea(Pt(0, 0).p(), Pt(1, 0).p(), Pt(0, 1, 2).p()),
                 Literal("C && (*(C))[2] == 1"));
    ShapePtr S = Segment(0, 0, 1, 1);
    EXPECT_DEATH(GEO_TranslateShape(S.get(), Pt(1, 1, 1).p()), Literal("(*(T))[2] == (double)0.0"));
    ShapePtr C = Circle(0, 0, 1);
    MATRIX I = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    EXPECT_DEATH(GEO_DisplaceShapeIntoShape(S.get(), C.get(), &I), Literal("S1->Type == S2->Type"));
    VECTOR out;
    EXPECT_DEATH(GEO_ProjectionOnCircle(Pt(0.000001, 0).p(), C.get(), &out), "Assertion failed");
    double box[4];
    EXPECT_DEATH(GEO_ArcBoundingBox(Pt(0, 0).p(), Pt(1, 0).p(), Pt(0, 1).p(), 0, box),
                 Literal("Radius>0"));
    EXPECT_DEATH(GEO_BetweenArcPointsp(Pt(0, 0).p(), Pt(0, 0).p(), -1, Pt(1, 0).p(), Pt(0, 1).p()),
                 Literal("Radius>=0"));
    ShapePtr L(GEO_CreatePolyline(Pt(0, 0).p()));
    EXPECT_DEATH(GEO_Scale(L.get(), 2, 2), "Assertion failed");
    EXPECT_DEATH(GEO_AddVertexToPolyline(nullptr, Pt(0, 0).p()), Literal("Polyline"));
    EXPECT_DEATH(GEO_AddVertexToPolyline(L.get(), nullptr), Literal("Vertex"));
    EXPECT_DEATH(GEO_CircleCircleIntersectionp(S.get(), C.get()), Literal("C1 && C1->Type == 'C'"));
    EXPECT_DEATH(GEO_ConvexPolygonInclusion(Pt(0, 0).p(), C.get()), Literal("P && P->Type == 'P'"));
}

void *FailAlloc(size_t) { return nullptr; }

// Pool exhaustion is process state: each case runs in a fresh process.
class ShapePoolDeathTest : public testing::Test {
  protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_F(ShapePoolDeathTest, ConstructorsStopWhenThePoolCannotGrow) {
    EXPECT_DEATH(
        {
            MEM_SetAllocator(FailAlloc);
            GEO_CreateCircle(Pt(0, 0).p(), 1);
        },
        Literal("Assertion failed: New"));
    EXPECT_DEATH(
        {
            MEM_SetAllocator(FailAlloc);
            GEO_CreatePolygon(Pt(0, 0).p());
        },
        Literal("Assertion failed: New"));
    EXPECT_DEATH(
        {
            MEM_SetAllocator(FailAlloc);
            GEO_CreateSegment(Pt(0, 0).p(), Pt(1, 1).p());
        },
        Literal("Assertion failed: New"));
}

TEST_F(ShapePoolDeathTest, VectorsAndGenericShapesGiveNull) {
    EXPECT_EXIT(
        {
            MEM_SetAllocator(FailAlloc);
            bool null = GEO_CreateVector(1, 2, 1) == nullptr && GEO_CreateGenericShape() == nullptr;
            exit(null ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

} // namespace
