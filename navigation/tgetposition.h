/* The position worker: reads the odometry pose every 500 ms into a shared array (x mm, y mm in
 * the map frame, heading in thousandths of a radian) while its continua flag stays true. The
 * array elements are atomic, so readers on other threads take them without a lock. */
#ifndef ROVAK_TGETPOSITION_H
#define ROVAK_TGETPOSITION_H

#include "gxthread.h"

#include <atomic>

class Rovak;
class Cinematic;

#define TPOSITION_VALUES 3
#define TPOSITION_PERIOD_MS 500

class TGetPosition : public gxThread {
  public:
    /* output: TPOSITION_VALUES floats, not owned. */
    explicit TGetPosition(std::atomic<float> *output);
    ~TGetPosition() override;
    TGetPosition(const TGetPosition &) = delete;
    TGetPosition &operator=(const TGetPosition &) = delete;
    /* The start offset in millimetres added to the odometry. */
    void setPosition(int offsetX, int offsetY);
    /* False ends the loop after its current pass and sleep. */
    void setContinua(bool flag) { continua = flag; }

  private:
    void *ThreadEntryRoutine(gxThread_t *thread) override;
    void ThreadExitRoutine(gxThread_t *thread) override;

    Rovak *robot;
    Cinematic *cinematic;
    std::atomic<bool> continua;
    int offsetX;
    int offsetY;
    std::atomic<float> *output;
};

#endif
