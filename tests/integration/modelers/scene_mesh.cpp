// VRML read-back: the point and coordIndex lists of each shape, and the closedness check.
#include "scene_mesh.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <sstream>
#include <utility>

namespace modelertest {

std::vector<SceneShape> readScene(const std::string &text) {
    std::vector<SceneShape> shapes;
    std::istringstream in(text);
    std::string line;
    enum { NONE, POINTS, INDEXES } mode = NONE;
    std::vector<int> current;
    while (std::getline(in, line)) {
        if (line.find("Shape {") != std::string::npos) {
            shapes.emplace_back();
            mode = NONE;
        } else if (line.find("point [") != std::string::npos) {
            mode = POINTS;
        } else if (line.find("] #end of point") != std::string::npos) {
            mode = NONE;
        } else if (line.find("coordIndex [") != std::string::npos) {
            mode = INDEXES;
        } else if (line.find("] #end of coordIndex") != std::string::npos) {
            mode = NONE;
        } else if (mode == POINTS && !shapes.empty() && line.find("#IGNORE") == std::string::npos) {
            std::array<double, 3> p{};
            char *at = &line[0];
            for (double &c : p)
                c = std::strtod(at, &at);
            shapes.back().points.push_back(p);
        } else if (mode == INDEXES && !shapes.empty()) {
            std::istringstream items(line);
            std::string item;
            while (std::getline(items, item, ',')) {
                if (item.find_first_not_of(" \t") == std::string::npos)
                    continue;
                int v = std::atoi(item.c_str());
                if (v == -1) {
                    shapes.back().polygons.push_back(current);
                    current.clear();
                } else {
                    current.push_back(v);
                }
            }
        }
    }
    return shapes;
}

MeshCheck checkMesh(const SceneShape &shape) {
    MeshCheck c;
    std::map<std::pair<int, int>, int> directed;
    bool first = true;
    int n = static_cast<int>(shape.points.size());
    for (const auto &poly : shape.polygons) {
        if (poly.size() != 3 || *std::min_element(poly.begin(), poly.end()) < 0 ||
            *std::max_element(poly.begin(), poly.end()) >= n) {
            ++c.badEdges;
            continue;
        }
        for (int k = 0; k < 3; ++k) {
            directed[{poly[k], poly[(k + 1) % 3]}]++;
            const auto &p = shape.points[poly[k]];
            for (int i = 0; i < 3; ++i) {
                c.low[i] = first ? p[i] : std::min(c.low[i], p[i]);
                c.high[i] = first ? p[i] : std::max(c.high[i], p[i]);
            }
            first = false;
        }
        // Relative to the first point: the scene sits around (50, 50, 50), and products of such
        // coordinates would cancel away the volume of a thin body.
        auto rel = [&](int k) {
            std::array<double, 3> p = shape.points[poly[k]];
            for (int i = 0; i < 3; ++i)
                p[i] -= shape.points[0][i];
            return p;
        };
        const auto a = rel(0), b = rel(1), d = rel(2);
        c.volume += (a[0] * (b[1] * d[2] - b[2] * d[1]) - a[1] * (b[0] * d[2] - b[2] * d[0]) +
                     a[2] * (b[0] * d[1] - b[1] * d[0])) /
                    6;
    }
    for (const auto &[edge, count] : directed) {
        auto back = directed.find({edge.second, edge.first});
        if (count != 1 || back == directed.end() || back->second != 1)
            ++c.badEdges;
    }
    c.closed = !shape.polygons.empty() && c.badEdges == 0;
    return c;
}

} // namespace modelertest
