/* The battery worker thread. */
#include "tgetbattery.h"

#include "sema.h"
#include "vx9200.h"

#include <stdio.h>

TGetBattery::TGetBattery(std::atomic<float> *out) : robot(new Rovak), output(out), continua(true) {}

TGetBattery::~TGetBattery() { delete robot; }

void *TGetBattery::ThreadEntryRoutine(gxThread_t *) {
    printf("Entrando thread bateria \n");
    fflush(stdout);
    int id = sem_open_set();
    int connected;
    {
        SemHold hold(id); /* a connection made again must not meet another thread's request */
        connected = robot->Connect();
    }
    if (connected != 0) {
        printf("GET BATTERY: Erro ao conectar com o Rovak\n");
        fflush(stdout);
        return nullptr;
    }
    while (continua) {
        p_sem(id);
        Q_RobotState *state = Q_GetRobotState(VX_ROBOT_ID);
        for (int i = 0; i < TBATTERY_VALUES && state != nullptr; i++)
            output[i] = static_cast<float>(robot->GetBattery(state, i));
        v_sem(id);
        sSleep(TBATTERY_PERIOD_S);
    }
    return nullptr;
}

void TGetBattery::ThreadExitRoutine(gxThread_t *) {}
