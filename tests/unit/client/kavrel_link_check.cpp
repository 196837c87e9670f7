// Links the request-and-state module from Kavrel.o and checks that the pieces meet: the client
// starts up, its handlers are registered and a request refuses an unknown robot.
#include "client.h"
#include "conn_errors.h"
#include "kavrel.h"

#include <cstdio>

int main() {
    if (Q_InitializeClient("127.0.0.1", 1) != 0 || Q_GetRobotState(1) != nullptr ||
        Q_GetSonar(1) != CONN_ERR_NO_CONNECTION || Q_Speak(0, "x") != CONN_ERR_NO_CONNECTION) {
        std::puts("Kavrel link check failed");
        return 1;
    }
    std::puts("Kavrel link check passed");
    return 0;
}
