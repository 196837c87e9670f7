/* The VRML 2.0 text of a scene: head, one shape per body from the faceter's callbacks, tail. */
#include "vrml_mesh.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

struct Viewpoint {
    const char *description;
    const char *position;
    const char *orientation;
};

const Viewpoint kViewpoints[] = {
    {"Front", "50 50 300", "0 0 1 0"},
    {"Back", "50 50 -200", "1 0 0 3.141593"},
    {"Right Side", "300 50 50", "0 1 0 1.570796"},
    {"Left Side", "-200 50 50", "0 1 0 -1.570796"},
    {"Top", "50 300 50", "1 0 0 -1.570796"},
    {"Bottom", "50 -200 50", "1 0 0 1.570796"},
    {"Diagonal Top", "200 200 200", "1 -1 0 -1.047198"},
    {"Diagonal Bottom", "-100 -100 -100", "1 -1 0 2.094395"},
};

struct Block {
    const char *size;
    const char *at;
};

const Block kBars[] = {
    {"100 2 2", "50 0 0"},     {"100 2 2", "50 100 0"}, {"100 2 2", "50 0 100"},
    {"100 2 2", "50 100 100"}, {"2 2 100", "0 0 50"},   {"2 2 100", "0 100 50"},
    {"2 2 100", "100 100 50"}, {"2 2 100", "100 0 50"}, {"2 100 2", "0 50 0"},
    {"2 100 2", "100 50 0"},   {"2 100 2", "0 50 100"}, {"2 100 2", "100 50 100"},
};

const char *const kCorners[] = {"100 100 100", "100 100 0", "100 0 100", "0 100 100",
                                "100 0 0",     "0 100 0",   "0 0 100",   "0 0 0"};

struct Colour {
    const char *name;
    const char *rgb;
};

// The appearance library, in its order of definition.
const Colour kLibrary[] = {
    {"red", "1.0 0.0 0.0"},           {"green", "0.0 1.0 0.0"},
    {"blue", "0.0 0.0 1.0"},          {"yellow", "1.0 1.0 0.0"},
    {"magenta", "1.0 0.0 1.0"},       {"cyan", "0.0 1.0 1.0"},
    {"goldenrod", "1.0 0.5 0.0"},     {"fuchsia", "1.0 0.0 0.5"},
    {"darksalmon", "1.0 0.5 0.5"},    {"lime", "0.5 1.0 0.0"},
    {"darkturquoise", "0.0 1.0 0.5"}, {"darkseagreen", "0.5 1.0 0.5"},
    {"purple", "0.5 0.0 1.0"},        {"deepskyblue", "0.0 0.5 1.0"},
    {"blueviolet", "0.5 0.5 1.0"},    {"firebrick", "0.5 0.0 0.0"},
    {"forestgreen", "0.0 0.5 0.0"},   {"darkslateblue", "0.0 0.0 0.5"},
    {"olive", "0.5 0.5 0.0"},         {"orchid", "0.5 0.0 0.5"},
    {"turquoise", "0.0 0.5 0.5"},     {"lightgray", "0.7 0.7 0.7"},
    {"white", "1.0 1.0 1.0"},         {"beige", "0.9 0.8 0.5"},
};

// The random draw's numbering; the last three differ from the library order.
const char *const kDrawn[24] = {
    "red",       "green",       "blue",       "yellow",    "magenta",       "cyan",
    "goldenrod", "fuchsia",     "darksalmon", "lime",      "darkturquoise", "darkseagreen",
    "purple",    "deepskyblue", "blueviolet", "firebrick", "forestgreen",   "darkslateblue",
    "olive",     "orchid",      "turquoise",  "beige",     "white",         "lightgray"};

// Writes the decimal digits of v to the end of buffer (backwards from end); returns the start.
char *digitsBefore(char *end, std::uint64_t v) {
    do {
        *--end = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v);
    return end;
}

void writeWorldInfo(FILE *out) {
    std::fprintf(out, "#VRML V2.0 utf8\n");
    std::fprintf(out, "WorldInfo {\n");
    std::fprintf(out, "\tinfo [\n");
    std::fprintf(out, "\t\t\"This file was created by the Vexlo program\",\n");
    std::fprintf(out, "\t\t\"Solid model faceted from its SAT file\",\n");
    std::fprintf(out, "\t\t\"Fitted into the cube from (0, 0, 0) to (100, 100, 100)\",\n");
    std::fprintf(out, "\t\t\"One shape per body\",\n");
    std::fprintf(out, "\t\t\"Units: one hundredth of the largest extent\"\n");
    std::fprintf(out, "\t]\n");
    std::fprintf(out, "\ttitle \"Vexlo\"\n");
    std::fprintf(out, "}\n");
}

void writeViewpoint(FILE *out, const Viewpoint &v) {
    std::fprintf(out, "Viewpoint {\n");
    std::fprintf(out, "\tfieldOfView 0.785398\n");
    std::fprintf(out, "\tposition %s\n", v.position);
    std::fprintf(out, "\torientation %s\n", v.orientation);
    std::fprintf(out, "\tdescription \"%s\"\n", v.description);
    std::fprintf(out, "\tjump TRUE\n");
    std::fprintf(out, "}\n");
}

void writeNavigation(FILE *out) {
    std::fprintf(out, "NavigationInfo {\n");
    std::fprintf(out, "\tavatarSize [0.25, 1.6, 0.75]\n");
    std::fprintf(out, "\theadlight TRUE\n");
    std::fprintf(out, "\tspeed 1.0\n");
    std::fprintf(out, "\ttype [\"EXAMINE\", \"ANY\"]\n");
    std::fprintf(out, "\tvisibilityLimit 0.0\n");
    std::fprintf(out, "}\n");
}

void writeBlock(FILE *out, const char *at, const char *size, const char *colour) {
    std::fprintf(out, "Transform {\n");
    std::fprintf(out, "\ttranslation %s\n", at);
    std::fprintf(out, "\tchildren [\n");
    std::fprintf(out, "\t\tShape {\n");
    std::fprintf(out, "\t\t\tgeometry Box { size %s }\n", size);
    std::fprintf(out, "\t\t\tappearance Appearance {\n");
    std::fprintf(out, "\t\t\t\tmaterial Material {\n");
    std::fprintf(out, "\t\t\t\t\tdiffuseColor %s\n", colour);
    std::fprintf(out, "\t\t\t\t}\n");
    std::fprintf(out, "\t\t\t}\n");
    std::fprintf(out, "\t\t}\n");
    std::fprintf(out, "\t]\n");
    std::fprintf(out, "}\n");
}

void writeCube(FILE *out) {
    for (const Block &b : kBars)
        writeBlock(out, b.at, b.size, "0 1 0");
    std::fprintf(out, "\n#Boxes\n");
    for (const char *at : kCorners)
        writeBlock(out, at, "5 5 5", "1 1 0");
}

void writeLibrary(FILE *out) {
    for (const Colour &c : kLibrary) {
        if (std::strcmp(c.name, "white") == 0)
            std::fprintf(out, "\t\tDEF white  Appearance {\n");
        else
            std::fprintf(out, "\t\tDEF %s Appearance {\n", c.name);
        std::fprintf(out, "\t\t\tmaterial Material {\n");
        std::fprintf(out, "\t\t\t\tdiffuseColor %s\n", c.rgb);
        std::fprintf(out, "\t\t\t\temissiveColor 0.05 0.05 0.05\n");
        std::fprintf(out, "\t\t\t\tspecularColor 1.0 1.0 1.0\n");
        std::fprintf(out, "\t\t\t\tambientIntensity 0.2\n");
        std::fprintf(out, "\t\t\t\tshininess 0.2\n");
        std::fprintf(out, "\t\t\t\ttransparency 0.0\n");
        std::fprintf(out, "\t\t\t} #end of material\n");
        std::fprintf(out, "\t\t} #end of appearance\n");
    }
}

} // namespace

VrmlMeshManager::VrmlMeshManager() : output_(stdout) { std::srand(std::time(nullptr)); }

VrmlMeshManager::~VrmlMeshManager() {}

void VrmlMeshManager::writeSceneHead() {
    writeWorldInfo(output_);
    int viewpoints = extraViewpoints_ == 1 ? 8 : 1;
    for (int i = 0; i < viewpoints; ++i)
        writeViewpoint(output_, kViewpoints[i]);
    writeNavigation(output_);
    if (showAxes_ == 1)
        writeCube(output_);
    std::fprintf(output_, "Transform {\n");
    std::fprintf(output_, "\tchildren [\n");
    if (plainColour_ != 1)
        writeLibrary(output_);
}

void VrmlMeshManager::writeSceneTail() {
    if (pointsOpen_) {
        closePoints();
        std::fprintf(output_, "\t\t\t} #end of geometry\n");
        std::fprintf(output_, "\t\t} #end of Shape\n");
    }
    if (indicesOpen_) {
        closeIndices();
        writeAppearance();
        std::fprintf(output_, "\t\t} #end of Shape\n");
    }
    std::fprintf(output_, "\t] #end of children\n");
    std::fprintf(output_, "}\n");
    pointsOpen_ = indicesOpen_ = 0;
}

void VrmlMeshManager::begin_mesh_output(ENTITY *) {
    std::fprintf(output_, "\t\tShape {\n");
    std::fprintf(output_, "\t\t\tgeometry IndexedFaceSet {\n");
    std::fprintf(output_, "\t\t\t\tcoord Coordinate {\n");
    std::fprintf(output_, "\t\t\t\t\tpoint [\n");
    pointsOpen_ = 1;
    indicesOpen_ = 0;
}

logical VrmlMeshManager::need_global_indexed_polygons() { return 1; }

void VrmlMeshManager::announce_global_node(int, VERTEX *, const position &p) { writePoint(p); }
void VrmlMeshManager::announce_global_node(int, EDGE *, const position &p, double) {
    writePoint(p);
}
void VrmlMeshManager::announce_global_node(int, FACE *, const position &p, const par_pos &) {
    writePoint(p);
}

void VrmlMeshManager::announce_indexed_polynode(int, int, int inode) {
    if (!indicesOpen_) {
        closePoints();
        std::fprintf(output_, "\t\t\t\tcoordIndex [\n\t\t\t\t\t");
        indicesOpen_ = 1;
        pointsOpen_ = 0;
    }
    // "%d, " without printf: the faceter's node numbers are never negative.
    if (inode < 0) {
        std::fprintf(output_, "%d, ", inode);
        return;
    }
    char text[16];
    char *end = text + sizeof text;
    *--end = ' ';
    *--end = ',';
    char *start = digitsBefore(end, static_cast<std::uint64_t>(inode));
    std::fwrite(start, 1, static_cast<std::size_t>(text + sizeof text - start), output_);
}

void VrmlMeshManager::end_indexed_polygon(int) {
    static const char terminator[] = "-1,\n\t\t\t\t\t";
    std::fwrite(terminator, 1, sizeof terminator - 1, output_);
}

void VrmlMeshManager::end_mesh_output(ENTITY *) {
    if (pointsOpen_) {
        // Nodes but no polygon: a dummy point keeps the list well-formed; no appearance.
        std::fprintf(output_, "\t\t\t\t\t\t0 0 0, #IGNORE\n");
        closePoints();
        std::fprintf(output_, "\t\t\t} #end of geometry\n");
        std::fprintf(output_, "\t\t} #end of Shape\n");
    } else if (indicesOpen_) {
        closeIndices();
        writeAppearance();
        std::fprintf(output_, "\t\t} #end of Shape\n");
    }
    pointsOpen_ = indicesOpen_ = 0;
}

int VrmlMeshManager::max_nodes_per_polygon() { return -1; }

void VrmlMeshManager::writePoint(const position &p) {
    // "\t\t\t\t\t\t%f %f %f,\n", with printf only for the numbers vrmlFixed6 leaves to it.
    char line[6 + 3 * VRML_FIXED6_MAX + 2];
    int at = 6;
    std::memset(line, '\t', 6);
    for (int i = 0; i < 3; ++i) {
        int n = 0;
        if (!vrmlFixed6(p.coordinate(i), line + at, n)) {
            std::fprintf(output_, "\t\t\t\t\t\t%f %f %f,\n", p.x(), p.y(), p.z());
            return;
        }
        at += n;
        line[at++] = i < 2 ? ' ' : ',';
    }
    line[at++] = '\n';
    std::fwrite(line, 1, static_cast<std::size_t>(at), output_);
}

bool vrmlFixed6(double x, char *out, int &length) {
    if (!std::isfinite(x) || std::fabs(x) >= 9e12)
        return false;
    // x = mantissa * 2^e exactly, with e < 0 for every value below 9e12; the millionths are
    // mantissa * 10^6 / 2^-e, rounded on the exact remainder.
    std::uint64_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    bool negative = (bits >> 63) != 0;
    int biased = static_cast<int>((bits >> 52) & 0x7ff);
    std::uint64_t mantissa = bits & ((std::uint64_t(1) << 52) - 1);
    int shift = 1074; // subnormal: mantissa * 2^-1074
    if (biased != 0) {
        mantissa |= std::uint64_t(1) << 52;
        shift = 1075 - biased;
    }
    unsigned __int128 scaled = static_cast<unsigned __int128>(mantissa) * 1000000u;
    std::uint64_t millionths = 0; // below 2^-127 (scaled < 2^73): less than half a millionth
    if (shift < 128) {
        const unsigned __int128 one = 1;
        millionths = static_cast<std::uint64_t>(scaled >> shift);
        unsigned __int128 rest = scaled & ((one << shift) - 1), half = one << (shift - 1);
        if (rest > half || (rest == half && (millionths & 1)))
            ++millionths;
    }
    char text[VRML_FIXED6_MAX];
    char *end = text + sizeof text;
    std::uint64_t fraction = millionths % 1000000;
    for (int i = 0; i < 6; ++i, fraction /= 10)
        *--end = static_cast<char>('0' + fraction % 10);
    *--end = '.';
    char *start = digitsBefore(end, millionths / 1000000);
    if (negative)
        *--start = '-';
    length = static_cast<int>(text + sizeof text - start);
    std::memcpy(out, start, static_cast<std::size_t>(length));
    return true;
}

void VrmlMeshManager::closePoints() {
    std::fprintf(output_, "\t\t\t\t\t] #end of point\n");
    std::fprintf(output_, "\t\t\t\t} #end of Coordinate\n");
}

void VrmlMeshManager::closeIndices() {
    std::fprintf(output_, "\n\t\t\t\t] #end of coordIndex\n");
    std::fprintf(output_, "\t\t\t} #end of geometry\n");
}

void VrmlMeshManager::writeAppearance() {
    if (plainColour_ != 1) {
        std::snprintf(colourName_, sizeof colourName_, "%s", kDrawn[std::rand() % 24]);
        std::fprintf(output_, "\t\t\tappearance USE %s\n", colourName_);
        return;
    }
    std::fprintf(output_, "\t\t\tappearance Appearance {\n");
    std::fprintf(output_, "\t\t\t\tmaterial Material {\n");
    std::fprintf(output_, "\t\t\t\t\tdiffuseColor 0.7 0.7 0.7\n");
    std::fprintf(output_, "\t\t\t\t\temissiveColor 0.05 0.05 0.05\n");
    std::fprintf(output_, "\t\t\t\t\tspecularColor 1.0 1.0 1.0\n");
    std::fprintf(output_, "\t\t\t\t\tambientIntensity 0.2\n");
    std::fprintf(output_, "\t\t\t\t\tshininess 0.2\n");
    std::fprintf(output_, "\t\t\t\t\ttransparency 0.0\n");
    std::fprintf(output_, "\t\t\t\t} #end of material\n");
    std::fprintf(output_, "\t\t\t} #end of appearance\n");
}
