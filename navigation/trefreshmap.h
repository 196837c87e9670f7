/* The map refresh worker: paints fresh sensor readings into the grid map every 500 ms while its
 * continua flag stays true, and stops the sonar sets when it ends. */
#ifndef ROVAK_TREFRESHMAP_H
#define ROVAK_TREFRESHMAP_H

#include "gxthread.h"

#include <atomic>

class MakeMap;

#define TREFRESH_PERIOD_MS 500

class TRefreshMap : public gxThread {
  public:
    TRefreshMap();
    /* Names the map (not owned) and the start offset in millimetres; sets continua. */
    void setMakemap(MakeMap *map, int offsetX, int offsetY);
    /* False ends the loop after its current pass and sleep. */
    void setContinua(bool flag) { continua = flag; }

  private:
    void *ThreadEntryRoutine(gxThread_t *thread) override;
    void ThreadExitRoutine(gxThread_t *thread) override;

    MakeMap *map;
    int offsetX;
    int offsetY;
    std::atomic<bool> continua;
};

#endif
