// Feeds arbitrary server lines to the robot client's message handlers, on the connection record
// of a robot that has described itself with every unit at full capacity. The handlers must
// never read past a line nor write past an array of the state block.
#include "client.h"
#include "command.h"
#include "connect.h"
#include "kavrel.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

constexpr int kFd = 900; // no socket of the process has this descriptor

std::string pose(int i) { return " s" + std::to_string(i) + " base 1 0 100 -100"; }

// The description of a robot with every count at its array's capacity.
std::string description() {
    std::string d = "SetRobotType H\nSetAxesDescription 4\nSetLiftDescription 2\n"
                    "SetLaserDescription 2\nSetBatteryDescription 4\nSetSonarDescription 6";
    for (int i = 0; i < 6; i++) {
        d += " 16 0.5 0.1 0.3 2 3 4000";
        for (int j = 0; j < 16; j++)
            d += pose(j);
    }
    d += "\nSetInfraredDescription 6";
    for (int i = 0; i < 6; i++) {
        d += " 16 0.3 800";
        for (int j = 0; j < 16; j++)
            d += pose(j);
    }
    d += "\nSetBumperDescription 6";
    for (int i = 0; i < 6; i++) {
        d += " 12";
        for (int j = 0; j < 12; j++)
            d += pose(j);
    }
    d += "\nSetK770Description 2 361" + pose(0) + " 361" + pose(1) + "\n";
    return d;
}

void setup() {
    CONN_Initialize();
    HCLNT_Initialize();
    CONN_ConnInfo *ci = CONN_AllocConnInfo(1, kFd);
    ci->user_data = HCLNT_AllocUserData();
    ci->user_free = HCLNT_FreeUserData;
    free(CMD_ExecuteRaw(kFd, description().c_str()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static bool ready = (setup(), true);
    (void)ready;
    std::string text(reinterpret_cast<const char *>(data), size);
    // Description lines may lower counts; the state lines must hold to whatever they say.
    free(CMD_ExecuteRaw(kFd, text.c_str()));
    return 0;
}
