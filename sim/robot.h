/* The simulated robot: a round holonomic base with three drive axes (forward, sideways,
 * rotation), a one-axis lift, odometry, six sonar, six infrared and six bumper sets of eight,
 * a compass, four batteries, a watchdog timer and one laser scanner.
 *
 * Units (the dialect of docs/simulator.md): lengths in millimetres, angles in thousandths of a
 * radian, times in milliseconds of simulated time, voltages in hundredths of a volt. Internal
 * state is kept in doubles; the protocol layer rounds it.
 *
 * Error convention: commands return 0, or -2 when an argument is out of its range (the robot is
 * then unchanged). Sensor reads never fail. */
#ifndef ROVAK_SIM_ROBOT_H
#define ROVAK_SIM_ROBOT_H

#include "world.h"

#include <random>
#include <stdint.h>

#define ROBOT_AXES 3
#define ROBOT_SETS 6
#define ROBOT_PER_SET 8
#define ROBOT_BATTERIES 4
#define ROBOT_FIRING_MAX 17
#define ROBOT_LASER_MAX_POINTS 721

/* Axis and lift modes. */
#define ROBOT_MODE_STOP 0     /* brake to rest with the axis's acceleration */
#define ROBOT_MODE_VELOCITY 1 /* run at DesiredSpeed */
#define ROBOT_MODE_RELATIVE 2 /* move by DesiredPosition from where the axis stands */
#define ROBOT_MODE_ABSOLUTE 3 /* move to DesiredPosition in axis coordinates */

/* Fixed characteristics of the body and sensors. */
#define ROBOT_RADIUS 300.0       /* body radius, mm */
#define ROBOT_SONAR_RANGE 5000.0 /* mm */
#define ROBOT_SONAR_BEAM 25.0    /* full cone width, degrees */
#define ROBOT_SONAR_RAYS 5       /* rays spread over the cone */
#define ROBOT_IR_RANGE 800.0     /* mm */
#define ROBOT_IR_BEAM 6.0        /* degrees */
#define ROBOT_IR_RAYS 3
#define ROBOT_BUMPER_MARGIN 5.0  /* a bumper is pressed within this distance of the body, mm */
#define ROBOT_LASER_RANGE 8000.0 /* mm */
#define ROBOT_LIFT_TRAVEL 500.0  /* lift height range 0..500 mm */
#define ROBOT_SECTORS 24         /* sensor directions, 15 degrees apart */

/* One motion axis (drive or lift). Positions, speeds and accelerations in the axis's unit. */
struct ROBOT_Axis {
    int mode;
    double target;                                      /* position modes: where the motion ends */
    double desired_speed;                               /* as commanded (velocity mode: signed) */
    double accel;                                       /* as commanded; 0 takes the axis default */
    long cmd_position, cmd_speed, cmd_accel, max_motor; /* as last commanded, reported back */
    double pos, vel;                                    /* actual */
    double traj_pos, traj_vel;                          /* the profile generator's own state */
    bool in_progress;
};

struct ROBOT_Laser {
    int power, data_type, point_type, integrity;
    double threshold, fitting, gap;
    long width, sampling, median, min_point;
};

/* Unit directions of the sensors' rays for one heading, computed on first need: a robot that
 * does not turn between requests casts along the same directions without computing them again.
 * Each is computed by the same expression as without the cache, so readings do not change. */
struct ROBOT_Beams {
    double th;                                        /* heading they belong to; NaN: none */
    unsigned long sonar_have, ir_have, bumper_have;   /* bit k: sector k is computed */
    double rim[ROBOT_SECTORS][2];                     /* the sensor's direction: cos, sin */
    double sonar[ROBOT_SECTORS][ROBOT_SONAR_RAYS][2]; /* each ray's direction: cos, sin */
    double ir[ROBOT_SECTORS][ROBOT_IR_RAYS][2];
    double bumper[ROBOT_SECTORS][3][2]; /* the three feelers of a bumper */
};

struct ROBOT_Robot {
    int id;
    int body;                /* the robot's body among the world's bodies; -1: none */
    double x, y, th;         /* true pose in the world: mm, mm, radians */
    double ox, oy, oth, ost; /* odometry: mm, mm, heading and steering counter in radians */
    ROBOT_Axis axis[ROBOT_AXES];
    bool global;
    bool contact; /* the last motion was stopped by a collision */
    ROBOT_Axis lift;
    bool lift_deployed;
    double lift_deploy_left; /* ms of deploy or retract still under way */
    double joy_x, joy_y, joy_theta;
    int joy_a, joy_b, joy_c;
    double timeout_s; /* watchdog: stop when no request arrives for this long; 0 off */
    double last_request_ms;
    bool sonar_paused;
    long firing_delay[ROBOT_SETS], blanking[ROBOT_SETS];
    int firing[ROBOT_SETS][ROBOT_FIRING_MAX];
    int firing_count[ROBOT_SETS];
    long sonar_cache[ROBOT_SETS][ROBOT_PER_SET]; /* last fired readings (kept while paused) */
    uint32_t sonar_stamp[ROBOT_SETS][ROBOT_PER_SET];
    ROBOT_Laser laser;
    double battery[ROBOT_BATTERIES]; /* hundredths of a volt */
    std::mt19937 rng;
    mutable ROBOT_Beams beams; /* a cache: reading the sensors leaves the robot as it was */
};

/* Options that shape every robot. */
struct ROBOT_Params {
    double sonar_noise;    /* standard deviation of sonar readings, mm */
    double ir_noise;       /* the same for infrared */
    double compass_noise;  /* mrad */
    double odo_drift;      /* relative standard deviation of each odometry step */
    double drain_per_hour; /* battery drain at rest, hundredths of a volt per simulated hour */
    double battery[ROBOT_BATTERIES];
};

/* Noise-free readings of one moment by sector (direction k * 15 degrees from the heading),
 * computed on first need. Paired sets look the same way, so a request that reads every set
 * casts each direction once; a cache is valid only while nothing in the world moves. */
struct ROBOT_Ranges {
    double sonar[ROBOT_SECTORS], ir[ROBOT_SECTORS];
    int bumper[ROBOT_SECTORS];
    unsigned long sonar_have = 0, ir_have = 0, bumper_have = 0; /* bit k: sector k is known */
};

/* Puts a robot at rest at the world pose (mm, mm, radians) with odometry zero and no body. */
void ROBOT_Init(ROBOT_Robot *r, int id, double x, double y, double th, const ROBOT_Params *p,
                unsigned seed);
/* Advances the robot by dt_ms of simulated time at simulated time now_ms; its body follows. */
void ROBOT_Step(ROBOT_Robot *r, WORLD_World *w, const ROBOT_Params *p, double dt_ms, double now_ms);
/* Notes a request at now_ms (feeds the watchdog timer). */
void ROBOT_Touch(ROBOT_Robot *r, double now_ms);

/* Commands an axis (index below ROBOT_AXES): mode, position, speed, acceleration. */
int ROBOT_CommandAxis(ROBOT_Robot *r, int axis, long mode, long position, long speed, long accel);
/* Commands the lift axis; max_motor is kept and reported only. */
int ROBOT_CommandLift(ROBOT_Robot *r, long mode, long position, long speed, long accel,
                      long max_motor);
/* Deploy (1) or retract (0) the lift; retracting also lowers it to 0. */
void ROBOT_DeployLift(ROBOT_Robot *r, bool deploy);
/* Calibrates the lift position to 0; without force only while it is at rest. */
int ROBOT_ZeroLift(ROBOT_Robot *r, bool force);
/* Joystick: X, Y, Theta in -1..1 as fractions of the maximum speeds; drives the base. */
void ROBOT_Joystick(ROBOT_Robot *r, double x, double y, double theta, int a, int b, int c);
/* Sets the odometry to x, y (mm), steering and rotation (mrad). */
void ROBOT_SetOdometry(ROBOT_Robot *r, long x, long y, long steering, long rotation);
/* Places the robot in the world (a status command); -2 when the body would touch a wall, an
 * obstacle or another robot. */
int ROBOT_Place(ROBOT_Robot *r, WORLD_World *w, double x, double y, double th);

/* Sector (0..23) of element i of a set: its direction is sector * 15 degrees from the heading,
 * counter-clockwise. */
int ROBOT_Sector(int set, int index);
/* Sensor direction of element i of a set (radians from the heading, counter-clockwise). */
double ROBOT_SetDirection(int set, int index);
/* Readings in millimetres (sonar, infrared, with the configured noise) and 0/1 (bumper); the
 * noise-free part comes from cache (filled as needed). */
long ROBOT_Sonar(ROBOT_Robot *r, const WORLD_World *w, const ROBOT_Params *p, int set, int i,
                 ROBOT_Ranges *cache);
long ROBOT_Infrared(ROBOT_Robot *r, const WORLD_World *w, const ROBOT_Params *p, int set, int i,
                    ROBOT_Ranges *cache);
int ROBOT_Bumper(const ROBOT_Robot *r, const WORLD_World *w, int set, int i, ROBOT_Ranges *cache);
/* Noise-free sonar and infrared range (mm) and bumper state of a sector, through cache. */
double ROBOT_SonarRange(const ROBOT_Robot *r, const WORLD_World *w, int sector,
                        ROBOT_Ranges *cache);
double ROBOT_InfraredRange(const ROBOT_Robot *r, const WORLD_World *w, int sector,
                           ROBOT_Ranges *cache);
int ROBOT_BumperState(const ROBOT_Robot *r, const WORLD_World *w, int sector, ROBOT_Ranges *cache);
/* Compass: world heading in mrad, 0..6282. */
long ROBOT_Compass(ROBOT_Robot *r, const ROBOT_Params *p);
/* Laser scan: up to max points; xy holds x, y pairs in the robot frame (mm), range the range of
 * each beam (mm, ROBOT_LASER_RANGE for no echo). Returns the number of beams. */
int ROBOT_LaserScan(const ROBOT_Robot *r, const WORLD_World *w, double *range, int max);
/* Heading in mrad, normalised to 0..6282. */
long ROBOT_Mrad(double radians);

#endif
