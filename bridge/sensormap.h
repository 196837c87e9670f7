/* Sensor evidence maps of the sensor bridge: the robot's sonar, infrared and bumper sets reduced
 * to one ring of 24 sector values around the robot, and text views of them.
 *
 * Sets are taken in pairs (0 and 1, 2 and 3, 4 and 5); only the first eight sensors of a set are
 * used. The two sets of a pair are merged sensor by sensor (the smaller sonar value, the larger
 * infrared and bumper value) and the three merged groups are laid out as the 24 sectors of the
 * sensor circle (sensor_circle below).
 *
 * Directions are MapAngle's, which cuts the circle into sectors about 14.35 degrees wide: sector
 * 0 holds the whole angles 1 to 15, sector 1 holds 16 to 29, sector 2 holds 30 to 43 ... sector
 * 23 holds 331 to 345 and also 0. So a multiple 15k of degrees looks up sector k for k from 2 to
 * 23, but 15 degrees looks up sector 0; 346 to 359 give 24, which the window readers wrap to 0.
 */
#ifndef ROVAK_SENSORMAP_H
#define ROVAK_SENSORMAP_H

#include "robot_state.h"

#define MAP_SECTORS 24
#define MAP_SET_SENSORS 8 /* sensors of a set that the maps use */

typedef struct MySonar {
    Q_Sonar sonar[16];
} MySonar;

typedef struct MyIR {
    Q_Infrared IR[16];
} MyIR;

typedef struct MyBumper {
    Q_Bumper bumper[12];
} MyBumper;

typedef struct Map {
    s32 Reading[MAP_SECTORS];
} Map;

/* One sector's source: sensor index sensor of the set pair whose first set is set (0, 2, 4). */
typedef struct SensorCirclePosition {
    int set, sensor;
} SensorCirclePosition;

/* The 24 sectors in order: (4,6), (4,7), (0,0) ... (0,7), (2,0) ... (2,7), (4,0) ... (4,5). */
extern const SensorCirclePosition sensor_circle[MAP_SECTORS];

#define EGRID_SIZE 20
/* The evidence grid of ShowEvidence, indexed [x][y]: 0 empty, 1 echo, 2 robot. */
typedef int EGrid[EGRID_SIZE][EGRID_SIZE];

/* One fresh request, then readings 0 to 7 of the set copied out. */
int ReadSonarSet(int ss_number, MySonar *sonarset);
int ReadIRSet(int ss_number, MyIR *IRset);
int ReadBumperSet(int bs_number, MyBumper *bumperset);

/* Sensor by sensor: the smaller sonar reading (the first on a tie), the larger infrared or
 * bumper reading. */
void MinSonarSet(const MySonar *sonar1, const MySonar *sonar2, MySonar *minsonar);
void MaxIRSet(const MyIR *IR1, const MyIR *IR2, MyIR *minIR);
void MaxBumperSet(const MyBumper *bumper1, const MyBumper *bumper2, MyBumper *minbumper);

/* Lays three merged groups out as sectors: elements 6 and 7 of the third, 0 to 7 of the first,
 * 0 to 7 of the second, 0 to 5 of the third. */
void MapSonarSet(const MySonar *sonar0, const MySonar *sonar1, const MySonar *sonar2, Map *map);
void MapIRSet(const MyIR *IR0, const MyIR *IR1, const MyIR *IR2, Map *map);
void MapBumperSet(const MyBumper *bumper0, const MyBumper *bumper1, const MyBumper *bumper2,
                  Map *map);

/* Reads the six sets in order (six requests) and builds the map. */
int MakeSonarMap(Map *map);
int MakeIRMap(Map *map);
int MakeBumperMap(Map *map);

/* Sector of a whole angle in degrees: 15 -> 0, 0 -> 23, 30 -> 2; 346 to 359 give 24, which the
 * window readers wrap to 0. */
int MapAngle(int angle);
/* The smallest (sonar, starting from 10000) or largest (infrared, bumper, starting from 0)
 * sector value of the window/2 sectors on each side of the angle's sector. */
int GetSMapReading(const Map *map, int angle, int window);
int GetIMapReading(const Map *map, int angle, int window);
int GetBMapReading(const Map *map, int angle, int window);

/* Text views on standard error. When standard error is a terminal (and TERM names a known one)
 * they are drawn through a curses screen set up on first use and ended at exit; otherwise they
 * are plain lines. */
void ShowSonarSet(const MySonar *sonarset);
void ShowIRSet(const MyIR *IRset);
void ShowIRMap(const Map *map);
void ShowMap(const Map *map);
/* One "%d\t<bar>" line per sector from the top of the screen, then a refresh, a 0.1 s pause and
 * a clear (which takes effect at the next view, so the bars stay visible until then). */
void ShowSonarMap(const Map *map);
/* The sonar ring as a 20 x 20 evidence grid of 1/3 m cells, robot near the middle. */
void ShowEvidence(const Map *map);

/* The bar of ShowSonarMap for one sector value: ceil(min(r, 10000) * 0.006) dashes. */
int SonarBarLength(s32 reading);
/* Fills the evidence grid of ShowEvidence from the sonar map. */
void EvidenceGrid(const Map *map, EGrid grid);

#endif
