/* Sensor evidence maps of the sensor bridge: the robot's sonar, infrared and bumper sets reduced
 * to one ring of 24 sector values around the robot, and text views of them.
 *
 * Sets are taken in pairs (0 and 1, 2 and 3, 4 and 5); only the first eight sensors of a set are
 * used. The two sets of a pair are merged sensor by sensor (the smaller sonar value, the larger
 * infrared and bumper value) and the three merged groups are laid out as sectors: sector k holds
 * the direction k * 15 degrees from the heading.
 *
 * Errors: the readers and map builders return 0, or -1 when robot 1 has no live connection (its
 * state record is gone); the record passed in is then left as it was. */
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

/* Text views on standard error. */
void ShowSonarSet(const MySonar *sonarset);
void ShowIRSet(const MyIR *IRset);
void ShowIRMap(const Map *map);
void ShowMap(const Map *map);
/* One "%d\t<bar>" line per sector, then a curses refresh, a 0.1 s pause and a clear. The curses
 * screen (on standard error) is set up on first use and ended at exit. */
void ShowSonarMap(const Map *map);
/* The sonar ring as a 20 x 20 evidence grid of 1/3 m cells, robot near the middle. */
void ShowEvidence(const Map *map);

/* The bar of ShowSonarMap for one sector value: ceil(min(r, 10000) * 0.006) dashes. */
int SonarBarLength(s32 reading);
/* The evidence grid of ShowEvidence: 0 empty, 1 echo, 2 robot, indexed [x][y]. */
void EvidenceGrid(const Map *map, int grid[20][20]);

#endif
