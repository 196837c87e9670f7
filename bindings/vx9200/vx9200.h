/* The robot vendor library: robot, motion and sensor classes over the robot client library.
 *
 * Every operation takes the state record of robot 1 as returned by Rovak::GetRobotState and
 * sends its requests through the client library (the plain functions Q_GetSonar, Q_GetInfrared,
 * Q_GetBumper and Q_GetRobotState come from kavrel.h). The library is not thread-safe: callers
 * serialise every call except Rovak::Connect, which guards the client start-up with a mutex of
 * its own.
 *
 * Error convention: operations that return int give 0 for success and a negative code of the
 * client library (or -1) for failure; a null state record is a failure (-1). Range reads give
 * millimetres, or -1 for a null record or a direction outside 0 to 23.
 *
 * Ranges are millimetres from the sensor on the body's rim: sonar up to 5000 (5000: no echo),
 * infrared up to its described range (a reading at that range, nothing seen, reads VX_NO_ECHO,
 * so the nearer of a sonar and an infrared range is the sonar's when the infrared sees nothing).
 * Direction i lies i * 15 degrees counter-clockwise from the heading.
 *
 * The scheduler is reached at ROVAK_SCHEDULER_HOST (default "localhost") and
 * ROVAK_SCHEDULER_PORT (default 7073), read from the environment at each connection attempt. */
#ifndef ROVAK_VX9200_H
#define ROVAK_VX9200_H

#include "coord.h"
#include "kavrel.h"
#include "robot_state.h"

#include <stdint.h>

#define VX_ROBOT_ID 1
#define VX_DIRECTIONS 24 /* direction i lies i * 15 degrees from the heading */
#define VX_NO_ECHO 10000 /* infrared range when the sensor sees nothing */
#define VX_SCHEDULER_HOST_DEFAULT "localhost"
#define VX_SCHEDULER_PORT_DEFAULT 7073

class Rovak {
  public:
    /* Connects to robot 1 through the scheduler the first time, asking the scheduler for its
     * robot list afresh; 0 when the robot is connected (already connected counts). Safe to
     * call from several threads at once. */
    int Connect();
    /* Closes the connections to robot 1 and to the scheduler when there are, so that the next
     * Connect makes new ones. 0, or the client library's code when there was no robot
     * connection to close. Callers make sure no other thread uses the robot meanwhile. */
    int Disconnect();
    /* The connected robot's state record, or null when there is no connection. */
    Q_RobotState *GetRobotState();
    /* Battery value i (0 to 3) as reported, after a fresh battery request; -1 on failure. */
    int GetBattery(Q_RobotState *state, int i);
    /* Has the robot say text; the request's result. */
    int Speak(const char *text);
};

class Cinematic {
  public:
    /* Sets the odometry origin to the robot's present pose (x = y = heading = 0). */
    int ZeroRobot(Q_RobotState *state);
    /* The present odometry pose: x, y in millimetres, th in thousandths of a radian. All zero
     * when the pose cannot be read. */
    Coord GetOdometry(Q_RobotState *state);
    /* The same into *pose; 0, or -1 (pose untouched) when the pose cannot be read, so that a
     * failed read is not taken for the origin. */
    int ReadOdometry(Q_RobotState *state, Coord *pose);
    /* Starts a motion by the displacement d (x, y in millimetres in the odometry frame; th in
     * thousandths of a radian) and returns at once. The translation runs in a straight line at
     * up to the smaller of speed.x and speed.y (mm/s) with the smaller of accel.x and accel.y
     * (mm/s^2); a turn uses speed.th and accel.th. Mode 2 (relative move) is the only mode;
     * others give -1. */
    int SetPosition(Q_RobotState *state, Coord d, Coord speed, Coord accel, int mode);
    /* True while any drive axis reports a motion in progress (after a fresh axes request). */
    bool Moving(Q_RobotState *state);
    /* Stops every drive axis where it is. */
    int Stop(Q_RobotState *state);
};

class SenSonar {
  public:
    /* Fires sonar set (0 to 5) in the order of the 8 sensor indices order and lifts a pause;
     * flags must be 0. */
    int Start(Q_RobotState *state, int set, const int *order, int flags);
    /* Range in direction i from the last sonar reply held in state. */
    int Read(Q_RobotState *state, int i);
    /* Pauses every sonar set (readings keep their last values until the next Start). */
    int StopAll(Q_RobotState *state);
};

class SenIr {
  public:
    /* Activates every infrared set. */
    int Start(Q_RobotState *state);
    /* Range in direction i from the last infrared reply held in state. */
    int Read(Q_RobotState *state, int i);
};

/* The bumper record: pressed is -1 while no bumper is pressed, otherwise the direction (0 to 23)
 * of the first pressed bumper (reading above 0); set and bumper name it in the state record (-1
 * when none). */
struct BumperRecord {
    int32_t pressed;
    int32_t set;
    int32_t bumper;
};

class SenBumper {
  public:
    /* Reads the bumpers from the last bumper reply held in state. */
    BumperRecord Read(Q_RobotState *state);
};

/* The set and sensor index whose reading lies in direction i (0 to 23): the ring of 24 built
 * from set pairs (0, 1), (2, 3), (4, 5), first eight sensors of each. */
void VX_DirectionSensor(int i, int *set, int *sensor);

#endif
