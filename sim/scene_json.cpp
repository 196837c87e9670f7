/* JSON texts of the scene (see scene.h and docs/simulator.md). Every number the world file or
 * the simulation can hold is finite, so every text is valid JSON; lengths are millimetres. */
#include "scene_internal.h"

#include "sim.h"

#include <cmath>
#include <cstdio>

namespace {

/* A finite number: whole numbers without a fraction, others with enough digits to read back. */
void add_number(std::string *s, double v) {
    char buf[40];
    if (!std::isfinite(v))
        v = 0;
    if (v == std::floor(v) && std::fabs(v) < 1e15)
        snprintf(buf, sizeof buf, "%.0f", v);
    else
        snprintf(buf, sizeof buf, "%.10g", v);
    *s += buf;
}

void add_long(std::string *s, long v) { *s += std::to_string(v); }

/* "name": value pairs of one object, the names given in order. */
void add_object(std::string *s, const char *const *names, const double *values, int n) {
    *s += '{';
    for (int i = 0; i < n; i++) {
        if (i)
            *s += ',';
        *s += '"';
        *s += names[i];
        *s += "\":";
        add_number(s, values[i]);
    }
    *s += '}';
}

struct bounds {
    double xmin = 1e300, ymin = 1e300, xmax = -1e300, ymax = -1e300;
    void add(double x, double y, double margin) {
        xmin = std::fmin(xmin, x - margin), xmax = std::fmax(xmax, x + margin);
        ymin = std::fmin(ymin, y - margin), ymax = std::fmax(ymax, y + margin);
    }
};

/* The items of one kind as an array of objects. */
void add_items(std::string *s, const WORLD_World &w, const char *kind, bounds *b) {
    static const char *const seg[] = {"x1", "y1", "x2", "y2"};
    static const char *const room[] = {"width", "height"};
    static const char *const circle[] = {"x", "y", "r"};
    *s += '[';
    bool first = true;
    for (const WORLD_Item &it : w.items) {
        if (it.kind != kind)
            continue;
        if (!first)
            *s += ',';
        first = false;
        if (it.kind == "room") {
            add_object(s, room, it.v, 2);
            b->add(0, 0, 0), b->add(it.v[0], it.v[1], 0);
        } else if (it.kind == "circle") {
            add_object(s, circle, it.v, 3);
            b->add(it.v[0], it.v[1], it.v[2]);
        } else {
            add_object(s, seg, it.v, 4);
            b->add(it.v[0], it.v[1], 0), b->add(it.v[2], it.v[3], 0);
        }
    }
    *s += ']';
}

void add_sensor(std::string *s, const char *name, double range, double beam, int rays) {
    static const char *const names[] = {"range", "beam_deg", "rays"};
    const double v[] = {range, beam, (double)rays};
    *s += ",\"";
    *s += name;
    *s += "\":";
    add_object(s, names, v, 3);
}

} // namespace

std::string scene_world_json(const SIM_Sim *sim) {
    std::string s = "{";
    bounds b;
    const char *const kinds[] = {"room", "wall", "box", "circle"};
    const char *const keys[] = {"rooms", "walls", "boxes", "circles"};
    for (int i = 0; i < 4; i++) {
        s += i ? ",\"" : "\"";
        s += keys[i];
        s += "\":";
        add_items(&s, sim->world, kinds[i], &b);
    }
    s += ",\"starts\":[";
    for (size_t i = 0; i < sim->robots.size(); i++) {
        static const char *const names[] = {"id", "x", "y", "heading_mrad"};
        const ROBOT_Robot &r = sim->robots[i];
        const double v[] = {(double)r.id, std::round(r.x), std::round(r.y),
                            (double)ROBOT_Mrad(r.th)};
        s += i ? "," : "";
        add_object(&s, names, v, 4);
        b.add(r.x, r.y, ROBOT_RADIUS);
    }
    s += "]";
    if (b.xmin > b.xmax)
        b.add(0, 0, ROBOT_RADIUS);
    static const char *const bnames[] = {"xmin", "ymin", "xmax", "ymax"};
    const double bv[] = {b.xmin, b.ymin, b.xmax, b.ymax};
    s += ",\"bounds\":";
    add_object(&s, bnames, bv, 4);
    static const char *const rnames[] = {"radius", "sectors", "sector_deg", "bumper_margin"};
    const double rv[] = {ROBOT_RADIUS, ROBOT_SECTORS, 15, ROBOT_BUMPER_MARGIN};
    s += ",\"robot\":";
    add_object(&s, rnames, rv, 4);
    add_sensor(&s, "sonar", ROBOT_SONAR_RANGE, ROBOT_SONAR_BEAM, ROBOT_SONAR_RAYS);
    add_sensor(&s, "infrared", ROBOT_IR_RANGE, ROBOT_IR_BEAM, ROBOT_IR_RAYS);
    s += "}";
    return s;
}

std::string SCENE_StateJson(const SCENE_Frame &f) {
    std::string s = "{\"time_ms\":";
    add_long(&s, std::lround(std::floor(f.time_ms)));
    s += ",\"speedup\":";
    add_number(&s, f.speedup);
    s += ",\"frame\":";
    add_long(&s, (long)f.seq);
    s += ",\"robots\":[";
    for (size_t i = 0; i < f.robots.size(); i++) {
        const SCENE_Robot &r = f.robots[i];
        s += i ? ",{\"id\":" : "{\"id\":";
        add_long(&s, r.id);
        s += ",\"x\":";
        add_long(&s, std::lround(r.x));
        s += ",\"y\":";
        add_long(&s, std::lround(r.y));
        s += ",\"heading_mrad\":";
        add_long(&s, ROBOT_Mrad(r.th));
        const double *ranges[] = {r.sonar, r.infrared};
        const char *const names[] = {",\"sonar\":[", "],\"infrared\":["};
        bool pressed = false;
        for (int k = 0; k < 2; k++) {
            s += names[k];
            for (int j = 0; j < ROBOT_SECTORS; j++) {
                s += j ? "," : "";
                add_long(&s, std::lround(ranges[k][j]));
            }
        }
        s += "],\"bumpers\":[";
        for (int j = 0; j < ROBOT_SECTORS; j++) {
            s += j ? (r.bumper[j] ? ",1" : ",0") : (r.bumper[j] ? "1" : "0");
            pressed = pressed || r.bumper[j];
        }
        s += pressed ? "],\"bumper\":true}" : "],\"bumper\":false}";
    }
    s += "]}";
    return s;
}

std::string SCENE_TrailsJson(const std::vector<TRAIL_Trail> &trails) {
    std::string s = "{\"robots\":[";
    for (size_t i = 0; i < trails.size(); i++) {
        s += i ? ",{\"id\":" : "{\"id\":";
        add_long(&s, (long)i + 1);
        s += ",\"points\":[";
        for (size_t k = 0; k < trails[i].points.size(); k++) {
            s += k ? ",[" : "[";
            add_long(&s, std::lround(trails[i].points[k].x));
            s += ',';
            add_long(&s, std::lround(trails[i].points[k].y));
            s += ']';
        }
        s += "]}";
    }
    s += "]}";
    return s;
}
