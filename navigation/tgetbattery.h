/* The battery worker: reads the robot's four battery values every 5 s into a shared array
 * while its continua flag stays true. The array elements are atomic, so readers on other
 * threads take them without a lock. */
#ifndef ROVAK_TGETBATTERY_H
#define ROVAK_TGETBATTERY_H

#include "gxthread.h"

#include <atomic>

class Rovak;

#define TBATTERY_VALUES 4
#define TBATTERY_PERIOD_S 5

class TGetBattery : public gxThread {
  public:
    /* output: TBATTERY_VALUES floats, not owned. */
    explicit TGetBattery(std::atomic<float> *output);
    ~TGetBattery() override;
    TGetBattery(const TGetBattery &) = delete;
    TGetBattery &operator=(const TGetBattery &) = delete;
    /* False ends the loop after its current pass and sleep. */
    void setContinua(bool flag) { continua = flag; }

  private:
    void *ThreadEntryRoutine(gxThread_t *thread) override;
    void ThreadExitRoutine(gxThread_t *thread) override;

    Rovak *robot;
    std::atomic<float> *output;
    std::atomic<bool> continua;
};

#endif
