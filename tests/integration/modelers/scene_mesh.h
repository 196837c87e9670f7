// Reading back the shapes of a VRML scene that satToVrml wrote, and checking their meshes.
#ifndef ROVAK_TESTS_SCENE_MESH_H
#define ROVAK_TESTS_SCENE_MESH_H

#include <array>
#include <string>
#include <vector>

namespace modelertest {

struct SceneShape {
    std::vector<std::array<double, 3>> points;
    std::vector<std::vector<int>> polygons;
};

// The shapes of a scene, in order; each its point list and its polygons (without the -1 ends).
std::vector<SceneShape> readScene(const std::string &text);

struct MeshCheck {
    bool closed = false; // every edge used exactly once in each direction
    int badEdges = 0;    // directed edges without exactly one partner
    double volume = 0;   // enclosed volume (divergence theorem), positive when facing out
    std::array<double, 3> low{}, high{}; // box of the points that polygons use
};

// Checks one shape's mesh: triangles only, indexes in range, closed and consistently wound.
MeshCheck checkMesh(const SceneShape &shape);

} // namespace modelertest

#endif
