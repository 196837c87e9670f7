/* The robot class: connection through the scheduler, state record, battery and speech. */
#include "vx9200.h"

#include "client.h"
#include "connect.h"

#include <mutex>
#include <stdlib.h>
#include <string.h>

namespace {

std::mutex connectLock; /* the client start-up is not thread-safe */
bool connected = false; /* guarded by connectLock */

const int kAlreadyConnected = -16;
const long kSchedulerId = 0; /* the client library's connection to the scheduler */

/* The scheduler named by the environment, or the defaults. */
void schedulerEndpoint(const char **host, int *port) {
    const char *h = getenv("ROVAK_SCHEDULER_HOST");
    *host = h != nullptr && h[0] != '\0' ? h : VX_SCHEDULER_HOST_DEFAULT;
    const char *p = getenv("ROVAK_SCHEDULER_PORT");
    char *end = nullptr;
    long v = p != nullptr ? strtol(p, &end, 10) : 0;
    *port = p != nullptr && end != p && *end == '\0' && v > 0 && v < 65536
                ? static_cast<int>(v)
                : VX_SCHEDULER_PORT_DEFAULT;
}

} // namespace

int Rovak::Connect() {
    std::lock_guard<std::mutex> hold(connectLock);
    if (connected)
        return 0; /* the client library is not touched again: other threads may be using it */
    const char *host;
    int port;
    schedulerEndpoint(&host, &port);
    int rc = Q_InitializeClient(host, port);
    /* A fresh list: robots listed by an earlier scheduler (or an earlier run of this one) may
     * have moved to other endpoints. */
    if (rc == 0)
        rc = Q_UpdateRobotList();
    if (rc == 0)
        rc = Q_ConnectRobot(VX_ROBOT_ID);
    if (rc == kAlreadyConnected)
        rc = 0;
    connected = rc == 0;
    return rc;
}

int Rovak::Disconnect() {
    std::lock_guard<std::mutex> hold(connectLock);
    connected = false;
    int rc = Q_DisconnectRobot(VX_ROBOT_ID);
    CONN_ConnInfo *scheduler;
    if (CONN_IDtoConnInfo(kSchedulerId, &scheduler) == 0)
        CONN_Disconnect(scheduler);
    /* A close takes effect in a later cycle of the socket layer: run one now, so the robot
     * and the scheduler see the connections end instead of at the next request. */
    Q_PollClient();
    return rc;
}

Q_RobotState *Rovak::GetRobotState() {
    Q_RobotState *state = Q_GetRobotState(VX_ROBOT_ID);
    if (state == nullptr) { /* the connection is gone: the next Connect makes a new one */
        std::lock_guard<std::mutex> hold(connectLock);
        connected = false;
    }
    return state;
}

int Rovak::GetBattery(Q_RobotState *state, int i) {
    if (state == nullptr || i < 0 || i >= Q_MAX_BATTERIES)
        return -1;
    if (Q_GetBattery(VX_ROBOT_ID) != 0)
        return -1;
    return state->BatterySet.Battery[i].Voltage;
}

int Rovak::Speak(const char *text) {
    if (text == nullptr)
        return -1;
    return Q_Speak(VX_ROBOT_ID, text);
}
