/* Records of the robot client library: the per-robot state record (readings and actuator
 * state), the per-robot description record, the robot list entry and the completion callback.
 *
 * Values are stored exactly as the robot server sent them; the library never converts units.
 * Every count is set only by the description messages and never exceeds its array's capacity.
 * Records handed out by the library stay owned by it and are read in place. */
#ifndef ROVAK_ROBOT_STATE_H
#define ROVAK_ROBOT_STATE_H

#include "matrix.h"

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef uint8_t u8;
typedef uint16_t u16;
typedef uint32_t u32;
typedef int16_t s16;
typedef int32_t s32;
typedef uint8_t Q_bool; /* a flag: 0 or 1 */

#define Q_MAX_AXES 4
#define Q_MAX_LIFT_AXES 2
#define Q_MAX_SONAR_SETS 6
#define Q_MAX_SONARS 16
#define Q_MAX_FIRING_ORDER 17
#define Q_MAX_INFRARED_SETS 6
#define Q_MAX_INFRAREDS 16
#define Q_MAX_BUMPER_SETS 6
#define Q_MAX_BUMPERS 12
#define Q_MAX_LASERS 2
#define Q_MAX_LASER_DATA 1928
#define Q_MAX_K770 2
#define Q_MAX_K770_POINTS 361
#define Q_MAX_BATTERIES 4
#define Q_FIRING_END 255 /* ends a firing order shorter than its capacity */

typedef struct Q_Integrator {
    Q_bool DataActive;
    Q_bool TimeStampActive;
    s32 x;
    s32 y;
    s32 Steering;
    s32 Rotation;
    u32 TimeStamp;
} Q_Integrator;

typedef struct Q_Axis {
    Q_bool DataActive;
    Q_bool TimeStampActive;
    Q_bool Update; /* Q_SetAxes sends this axis's command fields, then clears it */
    u32 TimeStamp;
    char Mode;
    s32 DesiredPosition;
    s32 DesiredSpeed;
    s32 Acceleration;
    s32 TrajectoryPosition;
    s32 TrajectoryVelocity;
    s32 ActualPosition;
    s32 ActualVelocity;
    Q_bool InProgress;
} Q_Axis;

typedef struct Q_AxisSet {
    Q_bool Global;
    u8 Status;
    u32 AxisCount;
    Q_Axis Axis[Q_MAX_AXES];
} Q_AxisSet;

typedef struct Q_LiftAxis {
    Q_bool DataActive;
    Q_bool TimeStampActive;
    Q_bool Update; /* Q_SetLift sends this axis, then clears it */
    u32 TimeStamp;
    char Mode;
    s32 Status;
    s32 DesiredPosition;
    s32 DesiredVelocity;
    s32 MaxMotor;
    s32 Acceleration;
    s32 Position;
    s32 Velocity;
} Q_LiftAxis;

typedef struct Q_LiftController {
    Q_bool Deployed;
    Q_bool InProgress;
    u32 AxisCount;
    Q_LiftAxis Axis[Q_MAX_LIFT_AXES];
} Q_LiftController;

typedef struct Q_Joystick {
    double X;
    double Y;
    double Theta;
    Q_bool ButtonA;
    Q_bool ButtonB;
    Q_bool ButtonC;
} Q_Joystick;

typedef struct Q_Sonar {
    s32 Reading;
    u32 TimeStamp;
} Q_Sonar;

typedef struct Q_Infrared {
    s32 Reading;
    u32 TimeStamp;
} Q_Infrared;

typedef struct Q_SonarSet {
    u32 FiringOrder[Q_MAX_FIRING_ORDER];
    s32 FiringDelay;
    s32 BlankingInterval;
    Q_bool DataActive;
    Q_bool TimeStampActive;
    u32 SonarCount;
    Q_Sonar Sonar[Q_MAX_SONARS];
} Q_SonarSet;

typedef struct Q_SonarController {
    u32 SonarSetCount;
    Q_SonarSet SonarSet[Q_MAX_SONAR_SETS];
    Q_bool SonarPaused;
} Q_SonarController;

typedef struct Q_InfraredSet {
    Q_bool DataActive;
    Q_bool TimeStampActive;
    u32 InfraredCount;
    Q_Infrared Infrared[Q_MAX_INFRAREDS];
} Q_InfraredSet;

typedef struct Q_InfraredController {
    Q_bool InfraredPaused; /* declared only: no message reads or writes it */
    u32 InfraredSetCount;
    Q_InfraredSet InfraredSet[Q_MAX_INFRARED_SETS];
} Q_InfraredController;

typedef struct Q_Bumper {
    char Reading;
    u32 TimeStamp;
} Q_Bumper;

typedef struct Q_BumperSet {
    Q_bool DataActive;
    Q_bool TimeStampActive;
    u32 BumperCount;
    Q_Bumper Bumper[Q_MAX_BUMPERS];
} Q_BumperSet;

typedef struct Q_BumperController {
    u32 BumperSetCount;
    Q_BumperSet BumperSet[Q_MAX_BUMPER_SETS];
} Q_BumperController;

typedef struct Q_Compass {
    s32 Reading;
    u32 TimeStamp;
    Q_bool DataActive;
    Q_bool TimeStampActive;
} Q_Compass;

/* Power, DataType and PointType hold 0 or 1: a configuration reply stores each as a flag (its
 * word begins with "1"), and the configuration request writes each back as the digit '0' or '1',
 * so a setting read from the server is sent back unchanged. */
typedef struct Q_Laser {
    u8 Power;
    u8 DataType;
    u8 PointType;
    Q_bool IntegrityChecking;
    double Threshold;
    u16 Width;
    u16 SamplingCount;
    u16 MedianWindow;
    double Fitting;
    u16 MinPoint;
    double Gap;
    Q_bool DataActive;
    Q_bool TimeStampActive;
    u32 TimeStamp;
    s16 DataCount; /* items of the last scan (not values) */
    double Data[Q_MAX_LASER_DATA];
} Q_Laser;

typedef struct Q_LaserSet {
    u32 LaserCount;
    Q_Laser Laser[Q_MAX_LASERS];
} Q_LaserSet;

typedef struct Q_K770 {
    u32 TotalPoints;
    u32 RequestedPoints;
    u32 Readings[Q_MAX_K770_POINTS];
    u8 StatusFlags[Q_MAX_K770_POINTS];
    u8 SummaryFlags;
    u32 TimeStamp;
    Q_bool DataActive;
    Q_bool TimeStampActive;
} Q_K770;

typedef struct Q_K770Set {
    u32 K770Count;
    Q_K770 K770[Q_MAX_K770];
} Q_K770Set;

typedef struct Q_Battery {
    s32 Voltage;
} Q_Battery;

typedef struct Q_BatterySet {
    u32 BatteryCount;
    Q_Battery Battery[Q_MAX_BATTERIES];
    Q_bool DataActive;
} Q_BatterySet;

typedef struct Q_Timer {
    s32 Timeout;
    u32 Time;
} Q_Timer;

typedef struct Q_RobotState {
    s32 RobotID;
    char RobotType;
    Q_Integrator Integrator;
    Q_AxisSet AxisSet;
    Q_LiftController LiftController;
    Q_Joystick Joystick;
    Q_SonarController SonarController;
    Q_InfraredController InfraredController;
    Q_BumperController BumperController;
    Q_Compass Compass;
    Q_LaserSet LaserSet;
    Q_K770Set K770Set;
    Q_BatterySet BatterySet;
    Q_Timer Timer;
} Q_RobotState;

/* Description of one sensor: identifier, name of its reference frame, and its pose matrix
 * [cos, -sin, x; sin, cos, y; 0, 0, 1] from the matrix pool (null when none could be had). */
typedef struct Q_XSensor {
    char *ID;
    char *Reference;
    MATRIX *Configuration;
} Q_XSensor;

typedef Q_XSensor Q_XSonar;
typedef Q_XSensor Q_XInfrared;
typedef Q_XSensor Q_XBumper;
typedef Q_XSensor Q_XK770;

typedef struct Q_XSonarSet {
    double MainLobe;
    double BlindLobe;
    double SideLobe;
    double BlindLobeAttenuation;
    double SideLobeAttenuation;
    double Range;
    Q_XSonar Sonar[Q_MAX_SONARS];
} Q_XSonarSet;

typedef struct Q_XSonarController {
    Q_XSonarSet SonarSet[Q_MAX_SONAR_SETS];
} Q_XSonarController;

typedef struct Q_XInfraredSet {
    s32 Dependency; /* declared only */
    double MainLobe;
    double Range;
    Q_XInfrared Infrared[Q_MAX_INFRAREDS];
} Q_XInfraredSet;

typedef struct Q_XInfraredController {
    Q_XInfraredSet InfraredSet[Q_MAX_INFRARED_SETS];
} Q_XInfraredController;

typedef struct Q_XBumperSet {
    Q_XBumper Bumper[Q_MAX_BUMPERS];
} Q_XBumperSet;

typedef struct Q_XBumperController {
    Q_XBumperSet BumperSet[Q_MAX_BUMPER_SETS];
} Q_XBumperController;

typedef struct Q_XK770Set {
    Q_XK770 K770[Q_MAX_K770];
} Q_XK770Set;

typedef struct Q_RobotStateExt {
    Q_XSonarController SonarController;
    Q_XInfraredController InfraredController;
    Q_XBumperController BumperController;
    Q_XK770Set K770Set;
} Q_RobotStateExt;

/* The robot state block hung on a robot's connection record as its user data. */
typedef struct HCLNT_UserData {
    Q_RobotState rs;
    Q_RobotStateExt rs_ext;
    u32 sonar_conf_stamp;
    u32 infrared_conf_stamp;
    u32 bumper_conf_stamp;
    u32 laser_conf_stamp;
    u32 k770_conf_stamp;
} HCLNT_UserData;

/* One robot known to the scheduler. A list ends with an all-zero entry. */
typedef struct Q_RobotListEntry {
    char *hostname;
    u16 port;
    char *unixpath;
    s32 id;
} Q_RobotListEntry;

/* Completion callback: (robot id, error code). */
typedef void (*Q_LanguageCallback)(s32 id, int error);

#ifdef __cplusplus
}
#endif

#endif
