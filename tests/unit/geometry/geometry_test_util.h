// Small helpers for the geometry tests: stack points, owned shapes, polygon builders.
#ifndef ROVAK_GEOMETRY_TEST_UTIL_H
#define ROVAK_GEOMETRY_TEST_UTIL_H

#include "geometry.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <string>
#include <utility>

struct Pt {
    VECTOR v;
    Pt(double x, double y, double w = 1) : v{x, y, w} {}
    VECTOR *p() { return &v; }
};

struct ShapeDeleter {
    void operator()(Shape *s) const { GEO_FreeShape(s); }
};
using ShapePtr = std::unique_ptr<Shape, ShapeDeleter>;

inline ShapePtr Segment(double x1, double y1, double x2, double y2) {
    return ShapePtr(GEO_CreateSegment(Pt(x1, y1).p(), Pt(x2, y2).p()));
}

inline ShapePtr Circle(double x, double y, double r) {
    return ShapePtr(GEO_CreateCircle(Pt(x, y).p(), r));
}

inline ShapePtr Polygon(std::initializer_list<std::pair<double, double>> vertices) {
    auto it = vertices.begin();
    ShapePtr P(GEO_CreatePolygon(Pt(it->first, it->second).p()));
    for (++it; it != vertices.end(); ++it)
        GEO_AddVertexToPolygon(P.get(), Pt(it->first, it->second).p());
    return P;
}

inline Shape *EdgeAt(Shape *S, int index) {
    DBL *node = S->Edge;
    for (int k = 0; k < index; k++)
        node = node->next;
    return (Shape *)node->element;
}

inline int CountNodes(DBL *list) {
    int n = 0;
    for (DBL *node = list; node != nullptr; node = (node->next == list) ? nullptr : node->next)
        n++;
    return n;
}

#define EXPECT_POINT(V, X, Y)                                                                      \
    do {                                                                                           \
        EXPECT_NEAR((X), (V)[0], 1e-9);                                                            \
        EXPECT_NEAR((Y), (V)[1], 1e-9);                                                            \
    } while (0)

// A regular expression that matches text literally.
inline std::string Literal(const std::string &text) {
    std::string out;
    for (char ch : text) {
        if (std::string("\\^$.|?*+()[]{}").find(ch) != std::string::npos)
            out += '\\';
        out += ch;
    }
    return out;
}

#endif
