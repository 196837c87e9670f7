/* Occupancy grid: construction, cell access and the painters. */
#include "makemap.h"

#include "vx9200.h"

#include <cmath>
#include <stdio.h>

namespace {

/* Angles and steps of the ray fan, kept in single precision like all the ray arithmetic. */
const float kDirectionStep = 0.2617993877991494f; /* 15 degrees between directions */
const float kHalfCone = 0.1308996938995747f;      /* 7.5 degrees either side */
const float kRayStep = 0.017453292519943295f;     /* one degree between rays */
const float kSampleStep = 0.03f;                  /* 34 samples per ray: t = 0 ... 0.99 */
const int kFarReading = 3000;                     /* nothing seen within 3 m */
const int kEchoMargin = 300;                      /* the echo lies this far beyond the reading */
const int kBandDepth = 600;
const int kMaxRays = 32;                /* the fan has 16; a bound for any angle */
const double kTurnMrad = 2000.0 * M_PI; /* one full turn in thousandths of a radian */

int clampCell(int v) {
    if (v < 0)
        return 0;
    if (v > MAP_SIZE - 1)
        return MAP_SIZE - 1;
    return v;
}

/* Millimetres to a clamped cell index: integer part first, then truncating division. Values
 * beyond the grid clamp before the conversion, which could not hold them (NaN: the far edge). */
int toCell(float mm) {
    if (!(mm < static_cast<float>(MAP_SIZE * MAP_CELL_MM)))
        return MAP_SIZE - 1;
    if (mm < 0.0f)
        return 0;
    return clampCell(static_cast<int>(mm) / MAP_CELL_MM);
}

/* The heading in radians, whole turns removed first. Odometry may report any number of turns,
 * and at a large angle the single-precision one-degree step of the ray fan no longer changes
 * the angle. Headings within one turn either way are kept exactly as they are. */
float headingRadians(int32_t th) {
    double within = std::fmod(static_cast<double>(th), kTurnMrad);
    return static_cast<float>(within) / 1000.0f;
}

/* Sets the cell under the point at distance len along the ray (phi) from pose. */
void setAt(int *grid, const Coord &pose, float phi, float len, int value) {
    float x = static_cast<float>(pose.x) + std::cos(phi) * len;
    float y = static_cast<float>(pose.y) + std::sin(phi) * len;
    grid[toCell(y) * MAP_SIZE + toCell(x)] = value;
}

/* Sets every sample cell of the ray of length len to value. */
void sampleRay(int *grid, const Coord &pose, float phi, float len, int value) {
    float c = std::cos(phi), s = std::sin(phi);
    for (float t = 0.0f; t < 1.0f; t += kSampleStep) {
        float x = static_cast<float>(pose.x) + c * len * t;
        float y = static_cast<float>(pose.y) + s * len * t;
        grid[toCell(y) * MAP_SIZE + toCell(x)] = value;
    }
}

/* The uncertain band: the same samples, starting at distance from and 600 mm deep. */
void sampleBand(int *grid, const Coord &pose, float phi, float from) {
    for (float t = 0.0f; t < 1.0f; t += kSampleStep)
        setAt(grid, pose, phi, from + static_cast<float>(kBandDepth) * t, MAP_BAND);
}

} // namespace

MakeMap::MakeMap()
    : grid(new int[MAP_CELLS]), sensorsStarted(false), sonarReader(new SenSonar),
      irReader(new SenIr), cinematic(new Cinematic), state(nullptr), filled(false) {}

MakeMap::~MakeMap() {
    delete sonarReader;
    delete cinematic;
    delete irReader;
    delete[] grid;
}

int MakeMap::newMap() {
    std::lock_guard<std::mutex> hold(gridLock);
    for (int i = 0; i < MAP_CELLS; i++)
        grid[i] = MAP_UNEXPLORED;
    filled = true;
    return 0;
}

void MakeMap::copyGrid(int *out) {
    std::lock_guard<std::mutex> hold(gridLock);
    for (int i = 0; i < MAP_CELLS; i++)
        out[i] = grid[i];
}

int MakeMap::cell(int cx, int cy) {
    if (cx < 0 || cx >= MAP_SIZE || cy < 0 || cy >= MAP_SIZE)
        return MAP_UNEXPLORED;
    std::lock_guard<std::mutex> hold(gridLock);
    return grid[cy * MAP_SIZE + cx];
}

void MakeMap::paintRovak(int x, int y) {
    int cx = x / MAP_CELL_MM, cy = y / MAP_CELL_MM;
    std::lock_guard<std::mutex> hold(gridLock);
    for (int col = cx - 3; col <= cx + 2; col++) { /* two full-width rows */
        grid[cy * MAP_SIZE + col] = MAP_ROBOT;
        grid[(cy + 1) * MAP_SIZE + col] = MAP_ROBOT;
    }
    for (int row = cy - 2; row <= cy + 3; row++) { /* two full-height columns */
        grid[row * MAP_SIZE + cx - 1] = MAP_ROBOT;
        grid[row * MAP_SIZE + cx] = MAP_ROBOT;
    }
    grid[(cy - 1) * MAP_SIZE + cx - 2] = MAP_ROBOT; /* the cut corners' inner cells */
    grid[(cy - 1) * MAP_SIZE + cx + 1] = MAP_ROBOT;
    grid[(cy + 2) * MAP_SIZE + cx + 1] = MAP_ROBOT;
    grid[(cy + 2) * MAP_SIZE + cx - 2] = MAP_ROBOT;
}

void MakeMap::paintSensorData(int sensor, int reading, Coord pose) {
    if (sensor < 0 || sensor > 24)
        return;
    std::lock_guard<std::mutex> hold(gridLock);
    paintCone(sensor, reading, pose);
}

void MakeMap::paintCone(int sensor, int reading, Coord pose) {
    float a = static_cast<float>(sensor) * kDirectionStep + headingRadians(pose.th);
    float first = a + kHalfCone, last = a - kHalfCone;
    if (reading >= kFarReading) {
        float phi = first;
        for (int ray = 0; phi > last && ray < kMaxRays; phi -= kRayStep, ray++)
            sampleRay(grid, pose, phi, static_cast<float>(kFarReading), MAP_FREE);
        return;
    }
    int freeLen = reading + kEchoMargin >= 2 * kEchoMargin ? reading - kEchoMargin : 0;
    float phi = first;
    for (int ray = 0; phi > last && ray < kMaxRays; phi -= kRayStep, ray++) {
        if (freeLen > 0)
            sampleRay(grid, pose, phi, static_cast<float>(freeLen), MAP_FREE);
        sampleBand(grid, pose, phi, static_cast<float>(freeLen));
        setAt(grid, pose, phi, static_cast<float>(reading + kEchoMargin), MAP_OBSTACLE);
    }
}
