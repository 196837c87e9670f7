/* Robot sensors: sonar cones, infrared, bumpers, compass and laser (see robot.h). */
#include "robot.h"

#include <cmath>

static const double deg = M_PI / 180.0;

double ROBOT_SetDirection(int set, int index) {
    /* Sets 0/1 cover sectors 2..9, sets 2/3 sectors 10..17, sets 4/5 sectors 18..23 and 0, 1;
     * sector k looks k * 15 degrees to the left of the heading. */
    int pair = set / 2, sector;
    if (pair == 0)
        sector = 2 + index;
    else if (pair == 1)
        sector = 10 + index;
    else
        sector = index < 6 ? 18 + index : index - 6;
    return sector * 15.0 * deg;
}

/* Nearest echo over a cone of rays from a sensor on the body's rim. */
static double cone(const ROBOT_Robot *r, const WORLD_World *w, double dir, double beam_deg,
                   int rays, double range) {
    double a = r->th + dir;
    double sx = r->x + ROBOT_RADIUS * std::cos(a), sy = r->y + ROBOT_RADIUS * std::sin(a);
    double best = range;
    for (int k = 0; k < rays; k++) {
        double off = rays > 1 ? (-0.5 + (double)k / (rays - 1)) * beam_deg * deg : 0;
        double d = WORLD_CastRay(w, sx, sy, std::cos(a + off), std::sin(a + off), range);
        best = std::fmin(best, d);
    }
    return best;
}

static long noisy(ROBOT_Robot *r, double v, double sigma, double range) {
    if (sigma > 0 && v < range) {
        std::normal_distribution<double> n(0.0, sigma);
        v += n(r->rng);
    }
    return std::lround(std::fmax(0.0, std::fmin(range, v)));
}

long ROBOT_Sonar(ROBOT_Robot *r, const WORLD_World *w, const ROBOT_Params *p, int set, int i) {
    double d = cone(r, w, ROBOT_SetDirection(set, i), ROBOT_SONAR_BEAM, ROBOT_SONAR_RAYS,
                    ROBOT_SONAR_RANGE);
    return noisy(r, d, p->sonar_noise, ROBOT_SONAR_RANGE);
}

long ROBOT_Infrared(ROBOT_Robot *r, const WORLD_World *w, const ROBOT_Params *p, int set, int i) {
    double d = cone(r, w, ROBOT_SetDirection(set, i), ROBOT_IR_BEAM, ROBOT_IR_RAYS, ROBOT_IR_RANGE);
    return noisy(r, d, p->ir_noise, ROBOT_IR_RANGE);
}

int ROBOT_Bumper(const ROBOT_Robot *r, const WORLD_World *w, int set, int i) {
    /* Three feelers from the centre over the bumper's 15-degree arc. */
    double a = r->th + ROBOT_SetDirection(set, i);
    double reach = ROBOT_RADIUS + ROBOT_BUMPER_MARGIN;
    for (int k = -1; k <= 1; k++) {
        double b = a + k * 7.5 * deg;
        if (WORLD_CastRay(w, r->x, r->y, std::cos(b), std::sin(b), reach) < reach)
            return 1;
    }
    return 0;
}

long ROBOT_Compass(ROBOT_Robot *r, const ROBOT_Params *p) {
    double th = r->th;
    if (p->compass_noise > 0) {
        std::normal_distribution<double> n(0.0, p->compass_noise / 1000.0);
        th += n(r->rng);
    }
    return ROBOT_Mrad(th);
}

int ROBOT_LaserScan(const ROBOT_Robot *r, const WORLD_World *w, double *range, int max) {
    long n = r->laser.sampling;
    if (n > max)
        n = max;
    if (n < 1 || !r->laser.power)
        return 0;
    double width = (double)r->laser.width * deg;
    for (long k = 0; k < n; k++) {
        double off = n > 1 ? -width / 2 + width * (double)k / (double)(n - 1) : 0;
        double a = r->th + off;
        range[k] = WORLD_CastRay(w, r->x, r->y, std::cos(a), std::sin(a), ROBOT_LASER_RANGE);
    }
    return (int)n;
}
