// Draws the sensor map views of a fixed sonar map on standard error and then waits (at most a
// minute) for a line on standard input, so that a terminal test can look at the screen.
//   sensorview_show sonar      the sonar bars, three times over as a live view redraws them
//   sensorview_show evidence   the same, then the evidence grid
#include "sensormap.h"

#include <poll.h>
#include <string.h>
#include <unistd.h>

int main(int argc, char **argv) {
    Map map;
    for (int k = 0; k < MAP_SECTORS; k++)
        map.Reading[k] = 20000; // far: a full bar, and no echo in the grid
    map.Reading[0] = 15000;
    map.Reading[1] = 334;
    map.Reading[MapAngle(90)] = 700;
    for (int i = 0; i < 3; i++)
        ShowSonarMap(&map);
    if (argc > 1 && strcmp(argv[1], "evidence") == 0)
        ShowEvidence(&map);
    pollfd in{STDIN_FILENO, POLLIN, 0};
    poll(&in, 1, 60000);
    return 0;
}
