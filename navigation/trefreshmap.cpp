/* The map refresh worker thread. */
#include "trefreshmap.h"

#include "makemap.h"

#include <stdio.h>

TRefreshMap::TRefreshMap() : map(nullptr), offsetX(0), offsetY(0), continua(false) {}

void TRefreshMap::setMakemap(MakeMap *m, int x, int y) {
    map = m;
    offsetX = x;
    offsetY = y;
    continua = true;
}

void *TRefreshMap::ThreadEntryRoutine(gxThread_t *) {
    printf("Entering Trefreshmap...\n");
    fflush(stdout);
    while (continua) {
        if (map != nullptr)
            map->refreshMap(offsetX, offsetY);
        mSleep(TREFRESH_PERIOD_MS);
    }
    return nullptr;
}

void TRefreshMap::ThreadExitRoutine(gxThread_t *) {
    printf("Exiting Trefreshmap...\n");
    fflush(stdout);
    if (map != nullptr)
        map->finishThread();
}
