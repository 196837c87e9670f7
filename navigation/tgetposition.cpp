/* The position worker thread. */
#include "tgetposition.h"

#include "sema.h"
#include "vx9200.h"

#include <stdio.h>

TGetPosition::TGetPosition(std::atomic<float> *out)
    : robot(new Rovak), cinematic(new Cinematic), continua(true), offsetX(0), offsetY(0),
      output(out) {}

TGetPosition::~TGetPosition() {
    delete cinematic;
    delete robot;
}

void TGetPosition::setPosition(int x, int y) {
    offsetX = x;
    offsetY = y;
}

void *TGetPosition::ThreadEntryRoutine(gxThread_t *) {
    printf("trehad GetPosition \n");
    fflush(stdout);
    int id = sem_open_set();
    int connected;
    {
        SemHold hold(id); /* a connection made again must not meet another thread's request */
        connected = robot->Connect();
    }
    if (connected != 0) {
        printf("GET Position: Erro ao conectar com o Rovak\n");
        fflush(stdout);
        return nullptr;
    }
    while (continua) {
        p_sem(id);
        Q_RobotState *state = Q_GetRobotState(VX_ROBOT_ID);
        Coord pose;
        /* A pose that cannot be read (a lost connection) keeps the last one; sums in 64 bits,
         * as the robot may report any value. */
        if (cinematic->ReadOdometry(state, &pose) == 0) {
            output[0] = static_cast<float>(static_cast<long long>(offsetX) + pose.x);
            output[1] = static_cast<float>(static_cast<long long>(offsetY) + pose.y);
            output[2] = static_cast<float>(pose.th);
        }
        v_sem(id);
        mSleep(TPOSITION_PERIOD_MS);
    }
    return nullptr;
}

void TGetPosition::ThreadExitRoutine(gxThread_t *) {}
