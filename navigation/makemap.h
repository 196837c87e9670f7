/* The occupancy grid map: 300 x 300 cells of 100 mm painted from the robot's 24 range readings,
 * its map file and its image for the Java front end.
 *
 * Cell codes: -1 unexplored, 0 free, 8 uncertain band in front of an echo, 9 obstacle, 11 robot;
 * 1 to 7 and 10 are accepted from map files. Cell (column cx, row cy) is grid[cy * 300 + cx];
 * positions are millimetres in the map frame (odometry plus the start offset), cx = x / 100.
 *
 * Error convention: operations returning int give 0 for success and -1 for failure, and a
 * failed operation leaves the grid as it was. The grid has a lock of its own: painters, file
 * operations and readers that copy (copyGrid, makeImage) take it, so they may run on different
 * threads. getMap hands out the grid itself for callers that know no painter runs. */
#ifndef ROVAK_MAKEMAP_H
#define ROVAK_MAKEMAP_H

#include "coord.h"
#include "robot_state.h"

#include <atomic>
#include <mutex>
#include <stdint.h>

class SenSonar;
class SenIr;
class Cinematic;

#define MAP_SIZE 300
#define MAP_CELLS (MAP_SIZE * MAP_SIZE)
#define MAP_CELL_MM 100

/* Cell codes. */
#define MAP_UNEXPLORED (-1)
#define MAP_FREE 0
#define MAP_BAND 8
#define MAP_OBSTACLE 9
#define MAP_ROBOT 11
#define MAP_MIN_VALUE (-1)
#define MAP_MAX_VALUE 11

/* Largest map file read, in bytes: a saved map has at most 270300 (90000 values of up to three
 * characters and 300 new-lines), so this leaves room for other spacing. */
#define MAP_FILE_MAX_BYTES (2 * 1024 * 1024)

/* Image pixels (ARGB) of the cell codes; codes without a painter get colours of their own. */
#define MAP_PIXEL_FREE 0xFFFFFFFFu       /* 0: white */
#define MAP_PIXEL_BAND 0xFF00FF00u       /* 8: green */
#define MAP_PIXEL_OBSTACLE 0xFF000000u   /* 9: black */
#define MAP_PIXEL_UNEXPLORED 0xFF808080u /* -1: grey */
#define MAP_PIXEL_ROBOT 0xFF0000FFu      /* 11: blue */
#define MAP_PIXEL_TEN 0xFFFF00FFu        /* 10: magenta */
/* 1 to 7: red deepening with the value, 0xFFFF_GG_GG with GG = 0xFF - value * 0x20. */

class MakeMap {
  public:
    MakeMap();
    ~MakeMap();
    MakeMap(const MakeMap &) = delete;
    MakeMap &operator=(const MakeMap &) = delete;

    /* Sets every cell to -1 (unexplored). Returns 0. */
    int newMap();
    /* Reads 90000 white-space-separated integers, each -1 to 11, row-major, parsing as it
     * reads. The grid is replaced only when the whole file is good; otherwise -1 with a message
     * and the grid unchanged. Refused: a file that is not a regular file (a device, a FIFO, a
     * directory), one over MAP_FILE_MAX_BYTES, and, at the first fault met, a word that is not
     * a decimal number, a value outside -1 to 11, a value after the 90000th, and an end before
     * it. Time and memory are bounded whatever the file holds. */
    int openMap(const char *file);
    /* Writes the grid as 300 lines of 300 "%d " values. The file is written under a temporary
     * name and renamed, so it is either the old file or the whole new map; -1 when it cannot be
     * written or no map has been loaded yet. */
    int saveMap(const char *file);
    /* The grid itself (90000 cells), for single-threaded readers. */
    const int *getMap() const { return grid; }
    /* True once newMap or openMap has filled the grid. */
    bool hasGrid() const { return filled; }
    /* Copies the grid into out (90000 cells) under the grid lock. */
    void copyGrid(int *out);
    /* The cell at (cx, cy) read under the grid lock; -1 outside the grid. */
    int cell(int cx, int cy);

    /* Paints the robot's footprint with 11 around (x, y) mm. Cells are not clamped: the caller
     * keeps x / 100 within 3 to 297 and y / 100 within 2 to 296. */
    void paintRovak(int x, int y);
    /* Paints reading (mm) of direction sensor (0 to 24; others are ignored) seen from pose.
     * Any heading is taken: whole turns are removed before the cone is laid out. */
    void paintSensorData(int sensor, int reading, Coord pose);
    /* One full refresh under the robot semaphore: starts the sensors the first time, reads the
     * pose and the 24 directions and paints them (refresh thread). */
    void refreshMap(int offsetX, int offsetY);
    /* The same without the semaphore and without starting sensors, for a caller that already
     * holds the semaphore (the move loop). */
    void refreshMap2(int offsetX, int offsetY);
    /* Stops the sonar sets under the robot semaphore; the next refreshMap starts them again. */
    void finishThread();

    /* The map image: a new array of 90000 ARGB pixels (delete[] it), grid row i as image row
     * 299 - i. Null, with a message, when memory runs out or no map was loaded. */
    int32_t *makeImage();
    /* Writes the image into pixels (90000) under the grid lock. */
    void exportImage(int32_t *pixels);
    /* The pixel of one cell code. */
    static int32_t pixelOf(int value);

  private:
    void paintCone(int sensor, int reading, Coord pose);
    void startSensors(Q_RobotState *state);
    void paintReadings(Q_RobotState *state, Coord pose, bool underSemaphore);

    int *grid;
    bool sensorsStarted;
    SenSonar *sonarReader;
    SenIr *irReader;
    Cinematic *cinematic;
    Q_RobotState *state;
    std::atomic<bool> filled;
    std::mutex gridLock;
};

#endif
