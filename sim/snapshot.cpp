/* The SVG picture of the world and the trails (see snapshot.h). The drawing is flipped once
 * (scale 1, -1) so that every coordinate in the file is a world coordinate; only the labels sit
 * outside the flip, at (x, -y), so that their text reads upright. */
#include "snapshot.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

const char *const colours[] = {"#1f77b4", "#d62728", "#2ca02c", "#9467bd",
                               "#ff7f0e", "#17becf", "#8c564b", "#e377c2"};

std::string num(double v) {
    char buf[40];
    snprintf(buf, sizeof buf, "%.1f", std::isfinite(v) ? v : 0.0);
    return buf;
}

struct box {
    double xmin = 1e300, ymin = 1e300, xmax = -1e300, ymax = -1e300;
    void add(double x, double y, double m) {
        xmin = std::fmin(xmin, x - m), xmax = std::fmax(xmax, x + m);
        ymin = std::fmin(ymin, y - m), ymax = std::fmax(ymax, y + m);
    }
};

box extent(const WORLD_World &w, const std::vector<ROBOT_Robot> &robots,
           const std::vector<TRAIL_Trail> &trails) {
    box b;
    for (const WORLD_Item &it : w.items) {
        if (it.kind == "room")
            b.add(0, 0, 0), b.add(it.v[0], it.v[1], 0);
        else if (it.kind == "circle")
            b.add(it.v[0], it.v[1], it.v[2]);
        else
            b.add(it.v[0], it.v[1], 0), b.add(it.v[2], it.v[3], 0);
    }
    for (const ROBOT_Robot &r : robots)
        b.add(r.x, r.y, ROBOT_RADIUS);
    for (const TRAIL_Trail &t : trails)
        for (const TRAIL_Point &p : t.points)
            b.add(p.x, p.y, 0);
    if (b.xmin > b.xmax)
        b.add(0, 0, ROBOT_RADIUS);
    b.add(b.xmin, b.ymin, 200), b.add(b.xmax, b.ymax, 200); /* a margin around it all */
    return b;
}

std::string obstacles(const WORLD_World &w) {
    std::string s;
    for (const WORLD_Item &it : w.items) {
        const double *v = it.v;
        if (it.kind == "circle") {
            s += "  <circle class=\"obstacle\" cx=\"" + num(v[0]) + "\" cy=\"" + num(v[1]) +
                 "\" r=\"" + num(v[2]) + "\"/>\n";
        } else if (it.kind == "wall") {
            s += "  <line class=\"wall\" x1=\"" + num(v[0]) + "\" y1=\"" + num(v[1]) + "\" x2=\"" +
                 num(v[2]) + "\" y2=\"" + num(v[3]) + "\"/>\n";
        } else {
            bool room = it.kind == "room";
            double x1 = room ? 0 : v[0], y1 = room ? 0 : v[1];
            double x2 = room ? v[0] : v[2], y2 = room ? v[1] : v[3];
            s += std::string("  <rect class=\"") + (room ? "room" : "box") + "\" x=\"" +
                 num(std::fmin(x1, x2)) + "\" y=\"" + num(std::fmin(y1, y2)) + "\" width=\"" +
                 num(std::fabs(x2 - x1)) + "\" height=\"" + num(std::fabs(y2 - y1)) + "\"/>\n";
        }
    }
    return s;
}

std::string robot(const ROBOT_Robot &r, const TRAIL_Trail *trail) {
    std::string id = std::to_string(r.id);
    std::string colour = colours[(size_t)(r.id - 1) % (sizeof colours / sizeof *colours)];
    std::string s =
        "  <polyline class=\"trail\" data-robot=\"" + id + "\" stroke=\"" + colour + "\" points=\"";
    if (trail)
        for (size_t k = 0; k < trail->points.size(); k++)
            s += (k ? " " : "") + num(trail->points[k].x) + "," + num(trail->points[k].y);
    s += "\"/>\n";
    double hx = r.x + ROBOT_RADIUS * std::cos(r.th), hy = r.y + ROBOT_RADIUS * std::sin(r.th);
    s += "  <g class=\"robot\" data-robot=\"" + id + "\"><circle cx=\"" + num(r.x) + "\" cy=\"" +
         num(r.y) + "\" r=\"" + num(ROBOT_RADIUS) + "\" fill=\"" + colour + "\"/><line x1=\"" +
         num(r.x) + "\" y1=\"" + num(r.y) + "\" x2=\"" + num(hx) + "\" y2=\"" + num(hy) +
         "\"/></g>\n";
    return s;
}

std::string picture(const WORLD_World &w, const std::vector<ROBOT_Robot> &robots,
                    const std::vector<TRAIL_Trail> &trails, double time_ms) {
    box b = extent(w, robots, trails);
    double width = b.xmax - b.xmin, height = b.ymax - b.ymin;
    double scale = 1000.0 / std::fmax(width, height); /* about 1000 pixels across */
    std::string s = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                    "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"" +
                    num(b.xmin) + " " + num(-b.ymax) + " " + num(width) + " " + num(height) +
                    "\" width=\"" + num(width * scale) + "\" height=\"" + num(height * scale) +
                    "\">\n";
    char title[80];
    snprintf(title, sizeof title, "rovak-sim world and trails at %.3f s", time_ms / 1000.0);
    s += std::string("<title>") + title + "</title>\n";
    s += "<style>.room,.box{fill:#e8e8e8;stroke:#333;stroke-width:20}.room{fill:none}"
         ".wall{stroke:#333;stroke-width:30}.obstacle{fill:#999;stroke:#333;stroke-width:10}"
         ".trail{fill:none;stroke-width:25;stroke-linejoin:round;stroke-opacity:0.7}"
         ".robot circle{fill-opacity:0.6;stroke:#000;stroke-width:10}"
         ".robot line{stroke:#000;stroke-width:25}text{font:bold 220px sans-serif}</style>\n";
    s += "<rect x=\"" + num(b.xmin) + "\" y=\"" + num(-b.ymax) + "\" width=\"" + num(width) +
         "\" height=\"" + num(height) + "\" fill=\"#fff\"/>\n";
    s += "<g transform=\"scale(1,-1)\">\n" + obstacles(w);
    for (size_t i = 0; i < robots.size(); i++)
        s += robot(robots[i], i < trails.size() ? &trails[i] : nullptr);
    s += "</g>\n";
    for (const ROBOT_Robot &r : robots)
        s += "<text x=\"" + num(r.x + ROBOT_RADIUS) + "\" y=\"" + num(-r.y - ROBOT_RADIUS) + "\">" +
             std::to_string(r.id) + "</text>\n";
    s += "</svg>\n";
    return s;
}

} // namespace

int SNAP_CheckWritable(const std::string &path, std::string *error) {
    std::string tmp = path + ".tmp";
    FILE *f = fopen(tmp.c_str(), "w");
    if (!f) {
        *error = "cannot write the snapshot " + tmp + ": " + strerror(errno);
        return -1;
    }
    fclose(f);
    unlink(tmp.c_str());
    return 0;
}

int SNAP_Write(const std::string &path, const WORLD_World &w,
               const std::vector<ROBOT_Robot> &robots, const std::vector<TRAIL_Trail> &trails,
               double time_ms, std::string *error) {
    std::string text = picture(w, robots, trails, time_ms);
    std::string tmp = path + ".tmp";
    FILE *f = fopen(tmp.c_str(), "w");
    bool ok = f && fwrite(text.data(), 1, text.size(), f) == text.size();
    if (f && fclose(f) != 0)
        ok = false;
    if (ok && rename(tmp.c_str(), path.c_str()) == 0)
        return 0;
    *error = "cannot write the snapshot " + path + ": " + strerror(errno);
    unlink(tmp.c_str());
    return -1;
}
