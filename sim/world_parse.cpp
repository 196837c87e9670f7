/* World file reading (see world.h and docs/simulator.md for the format). */
#include "world.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

static const char default_world[] = "# Built-in world: a 10 m by 8 m room with a few obstacles.\n"
                                    "room 10000 8000\n"
                                    "wall 5000 8000 5000 5500\n"
                                    "box 6500 1500 7500 2300\n"
                                    "circle 3000 5800 400\n"
                                    "circle 8200 6200 300\n"
                                    "start 2000 2000 0\n"
                                    "start 2000 3500 0\n"
                                    "start 2000 5000 0\n";

const char *WORLD_DefaultText(void) { return default_world; }

static void add_wall(WORLD_World *world, double x1, double y1, double x2, double y2) {
    VECTOR a = {x1, y1, 1}, b = {x2, y2, 1};
    Shape *s = GEO_CreateSegment(&a, &b);
    world->walls.push_back(WORLD_Wall{x1, y1, x2, y2, s->XMin, s->XMax, s->YMin, s->YMax, s});
}

static void add_box(WORLD_World *world, double x1, double y1, double x2, double y2) {
    add_wall(world, x1, y1, x2, y1);
    add_wall(world, x2, y1, x2, y2);
    add_wall(world, x2, y2, x1, y2);
    add_wall(world, x1, y2, x1, y1);
}

/* Reads exactly n finite numbers from the rest of the line; false on any other text. */
static bool read_numbers(std::istringstream &in, double *v, int n) {
    std::string tok;
    for (int i = 0; i < n; i++) {
        if (!(in >> tok))
            return false;
        char *end = nullptr;
        v[i] = strtod(tok.c_str(), &end);
        if (end == tok.c_str() || *end != '\0' || !std::isfinite(v[i]) || std::fabs(v[i]) > 1e9)
            return false;
    }
    return !(in >> tok);
}

struct keyword {
    const char *name;
    int numbers;
};

static const keyword keywords[] = {{"room", 2},   {"wall", 4},  {"box", 4},
                                   {"circle", 3}, {"start", 3}, {nullptr, 0}};

/* Checks and applies one parsed line; returns null or the problem. */
static const char *apply(WORLD_World *world, const std::string &kw, const double *v) {
    if (kw == "room") {
        if (v[0] <= 0 || v[1] <= 0)
            return "room sizes must be positive";
        add_box(world, 0, 0, v[0], v[1]);
    } else if (kw == "wall") {
        if (std::hypot(v[2] - v[0], v[3] - v[1]) < 1)
            return "wall shorter than 1 mm";
        add_wall(world, v[0], v[1], v[2], v[3]);
    } else if (kw == "box") {
        if (std::fabs(v[2] - v[0]) < 1 || std::fabs(v[3] - v[1]) < 1)
            return "box thinner than 1 mm";
        add_box(world, v[0], v[1], v[2], v[3]);
    } else if (kw == "circle") {
        if (v[2] < 1)
            return "circle radius below 1 mm";
        VECTOR c = {v[0], v[1], 1};
        world->circles.push_back(WORLD_Circle{v[0], v[1], v[2], GEO_CreateCircle(&c, v[2])});
    } else {
        world->starts.push_back(WORLD_Start{v[0], v[1], v[2]});
        return nullptr;
    }
    world->items.push_back(WORLD_Item{kw, {v[0], v[1], v[2], v[3]}});
    return nullptr;
}

int WORLD_Parse(WORLD_World *world, const char *text, const char *name, std::string *error) {
    std::istringstream all(text);
    std::string line;
    for (int lineno = 1; std::getline(all, line); lineno++) {
        size_t hash = line.find('#');
        if (hash != std::string::npos)
            line.erase(hash);
        std::istringstream in(line);
        std::string kw;
        if (!(in >> kw))
            continue;
        const keyword *k = keywords;
        while (k->name && kw != k->name)
            k++;
        const char *problem = nullptr;
        double v[4] = {0, 0, 0, 0};
        if (!k->name)
            problem = "unknown keyword";
        else if (!read_numbers(in, v, k->numbers))
            problem = "wrong number of values, or a value that is not a number";
        else
            problem = apply(world, kw, v);
        if (problem) {
            *error = std::string(name) + ":" + std::to_string(lineno) + ": " + problem;
            return -1;
        }
    }
    return 0;
}

int WORLD_Load(WORLD_World *world, const char *path, std::string *error) {
    std::ifstream f(path, std::ios::binary);
    if (!f) {
        *error = std::string(path) + ": cannot be read";
        return -1;
    }
    std::ostringstream text;
    text << f.rdbuf();
    std::string s = text.str();
    if (s.find('\0') != std::string::npos) {
        *error = std::string(path) + ": not a text file";
        return -1;
    }
    return WORLD_Parse(world, s.c_str(), path, error);
}

void WORLD_Clear(WORLD_World *world) {
    for (WORLD_Wall &w : world->walls)
        GEO_FreeShape(w.shape);
    for (WORLD_Circle &c : world->circles)
        GEO_FreeShape(c.shape);
    world->walls.clear();
    world->circles.clear();
    world->bodies.clear();
    world->items.clear();
    world->starts.clear();
}
