/* Robot sensors: sonar cones, infrared, bumpers, compass and laser (see robot.h). */
#include "robot.h"

#include <cmath>

static const double deg = M_PI / 180.0;

int ROBOT_Sector(int set, int index) {
    /* Sets 0/1 cover sectors 2..9, sets 2/3 sectors 10..17, sets 4/5 sectors 18..23 and 0, 1. */
    int pair = set / 2;
    if (pair == 0)
        return 2 + index;
    if (pair == 1)
        return 10 + index;
    return index < 6 ? 18 + index : index - 6;
}

double ROBOT_SetDirection(int set, int index) { return ROBOT_Sector(set, index) * 15.0 * deg; }

/* The beam directions of r's current heading, the cache emptied when the heading changed. */
static ROBOT_Beams *beams_of(const ROBOT_Robot *r) {
    ROBOT_Beams *b = &r->beams;
    if (!(b->th == r->th)) {
        b->th = r->th;
        b->sonar_have = b->ir_have = b->bumper_have = 0;
    }
    return b;
}

/* Directions of the sensor of a sector and of the rays of its cone (rays over beam_deg). */
static void cone_directions(const ROBOT_Robot *r, int sector, double beam_deg, int rays,
                            double rim[2], double (*dir)[2]) {
    double a = r->th + sector * 15.0 * deg;
    rim[0] = std::cos(a), rim[1] = std::sin(a);
    for (int k = 0; k < rays; k++) {
        double off = rays > 1 ? (-0.5 + (double)k / (rays - 1)) * beam_deg * deg : 0;
        dir[k][0] = std::cos(a + off), dir[k][1] = std::sin(a + off);
    }
}

/* Nearest echo over a cone of rays from a sensor on the body's rim. */
static double cone(const ROBOT_Robot *r, const WORLD_World *w, const double rim[2],
                   const double (*dir)[2], int rays, double range) {
    double sx = r->x + ROBOT_RADIUS * rim[0], sy = r->y + ROBOT_RADIUS * rim[1];
    double best = range;
    for (int k = 0; k < rays; k++) {
        double d = WORLD_CastRay(w, sx, sy, dir[k][0], dir[k][1], range, r->body);
        best = d < best ? d : best;
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

double ROBOT_SonarRange(const ROBOT_Robot *r, const WORLD_World *w, int sector,
                        ROBOT_Ranges *cache) {
    unsigned long bit = 1UL << sector;
    if (!(cache->sonar_have & bit)) {
        ROBOT_Beams *b = beams_of(r);
        if (!(b->sonar_have & bit)) {
            cone_directions(r, sector, ROBOT_SONAR_BEAM, ROBOT_SONAR_RAYS, b->rim[sector],
                            b->sonar[sector]);
            b->sonar_have |= bit;
        }
        cache->sonar[sector] =
            cone(r, w, b->rim[sector], b->sonar[sector], ROBOT_SONAR_RAYS, ROBOT_SONAR_RANGE);
        cache->sonar_have |= bit;
    }
    return cache->sonar[sector];
}

double ROBOT_InfraredRange(const ROBOT_Robot *r, const WORLD_World *w, int sector,
                           ROBOT_Ranges *cache) {
    unsigned long bit = 1UL << sector;
    if (!(cache->ir_have & bit)) {
        ROBOT_Beams *b = beams_of(r);
        if (!(b->ir_have & bit)) {
            cone_directions(r, sector, ROBOT_IR_BEAM, ROBOT_IR_RAYS, b->rim[sector], b->ir[sector]);
            b->ir_have |= bit;
        }
        cache->ir[sector] =
            cone(r, w, b->rim[sector], b->ir[sector], ROBOT_IR_RAYS, ROBOT_IR_RANGE);
        cache->ir_have |= bit;
    }
    return cache->ir[sector];
}

int ROBOT_BumperState(const ROBOT_Robot *r, const WORLD_World *w, int sector, ROBOT_Ranges *cache) {
    unsigned long bit = 1UL << sector;
    if (!(cache->bumper_have & bit)) {
        /* Three feelers from the centre over the bumper's 15-degree arc. */
        ROBOT_Beams *b = beams_of(r);
        double(*feeler)[2] = b->bumper[sector];
        if (!(b->bumper_have & bit)) {
            double a = r->th + sector * 15.0 * deg;
            for (int k = -1; k <= 1; k++) {
                double f = a + k * 7.5 * deg;
                feeler[k + 1][0] = std::cos(f), feeler[k + 1][1] = std::sin(f);
            }
            b->bumper_have |= bit;
        }
        double reach = ROBOT_RADIUS + ROBOT_BUMPER_MARGIN;
        int pressed = 0;
        for (int k = 0; k < 3 && !pressed; k++)
            pressed =
                WORLD_CastRay(w, r->x, r->y, feeler[k][0], feeler[k][1], reach, r->body) < reach;
        cache->bumper[sector] = pressed;
        cache->bumper_have |= bit;
    }
    return cache->bumper[sector];
}

long ROBOT_Sonar(ROBOT_Robot *r, const WORLD_World *w, const ROBOT_Params *p, int set, int i,
                 ROBOT_Ranges *cache) {
    double d = ROBOT_SonarRange(r, w, ROBOT_Sector(set, i), cache);
    return noisy(r, d, p->sonar_noise, ROBOT_SONAR_RANGE);
}

long ROBOT_Infrared(ROBOT_Robot *r, const WORLD_World *w, const ROBOT_Params *p, int set, int i,
                    ROBOT_Ranges *cache) {
    double d = ROBOT_InfraredRange(r, w, ROBOT_Sector(set, i), cache);
    return noisy(r, d, p->ir_noise, ROBOT_IR_RANGE);
}

int ROBOT_Bumper(const ROBOT_Robot *r, const WORLD_World *w, int set, int i, ROBOT_Ranges *cache) {
    return ROBOT_BumperState(r, w, ROBOT_Sector(set, i), cache);
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
        range[k] =
            WORLD_CastRay(w, r->x, r->y, std::cos(a), std::sin(a), ROBOT_LASER_RANGE, r->body);
    }
    return (int)n;
}
