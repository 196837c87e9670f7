/* Text views of the sensor maps, all on standard error (standard output carries the bridge's
 * answers). */
#include "sensormap.h"

#include <curses.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

void ShowSonarSet(const MySonar *sonarset) {
    for (int i = 0; i < MAP_SET_SENSORS; i++)
        fprintf(stderr, "%d ", sonarset->sonar[i].Reading);
    fprintf(stderr, "\n");
}

void ShowIRSet(const MyIR *IRset) {
    for (int i = 0; i < MAP_SET_SENSORS; i++)
        fprintf(stderr, "%d ", IRset->IR[i].Reading);
    fprintf(stderr, "\n");
}

void ShowIRMap(const Map *map) {
    for (int k = 0; k < MAP_SECTORS; k++)
        fprintf(stderr, "%d ", map->Reading[k]);
    fprintf(stderr, "\n");
}

void ShowMap(const Map *map) {
    for (int k = 0; k < MAP_SECTORS; k++)
        fprintf(stderr, "%.1f", map->Reading[k] > 10000 ? 10.0 : map->Reading[k] / 1000.0);
    fprintf(stderr, "\n");
}

int SonarBarLength(s32 reading) {
    double v = (reading > 10000 ? 10000 : reading) * 0.006;
    int n = 0;
    while (v > n)
        n++;
    return n;
}

/* The curses screen of the sonar view, set up on first use on standard error and ended at exit,
 * so the terminal is left sane. Without a usable terminal the view prints its lines only. */
static SCREEN *screen = NULL;
static bool screen_tried = false;

static void end_screen(void) {
    if (screen != NULL) {
        endwin();
        delscreen(screen);
        screen = NULL;
    }
}

static void start_screen(void) {
    if (screen_tried)
        return;
    screen_tried = true;
    const char *term = getenv("TERM");
    if (term == NULL || !isatty(STDERR_FILENO))
        return;
    screen = newterm(term, stderr, stdin);
    if (screen != NULL)
        atexit(end_screen);
}

void ShowSonarMap(const Map *map) {
    start_screen();
    for (int k = 0; k < MAP_SECTORS; k++) {
        s32 r = map->Reading[k] > 10000 ? 10000 : map->Reading[k];
        char bar[61];
        int n = SonarBarLength(r);
        memset(bar, '-', (size_t)n);
        bar[n] = '\0';
        fprintf(stderr, "%d\t%s\n", r, bar);
    }
    if (screen != NULL)
        refresh();
    usleep(100000);
    if (screen != NULL)
        clear();
}

void EvidenceGrid(const Map *map, int grid[20][20]) {
    for (int x = 0; x < 20; x++)
        for (int y = 0; y < 20; y++)
            grid[x][y] = 0;
    grid[10][10] = 2;
    for (int angle = 0; angle < 360; angle += 15) {
        double d = GetSMapReading(map, angle, 1) + 300;
        double rad = angle * M_PI / 180;
        int xm = (int)(3 * (d * cos(rad) / 1000 + 3));
        int ym = (int)(3 * (d * sin(rad) / 1000 + 3));
        if (xm >= 0 && xm < 20 && ym >= 0 && ym < 20)
            grid[xm][ym] = 1;
    }
}

void ShowEvidence(const Map *map) {
    int grid[20][20];
    EvidenceGrid(map, grid);
    for (int y = 19; y >= 0; y--) {
        char line[41];
        for (int x = 0; x < 20; x++)
            memcpy(line + 2 * x, grid[x][y] == 1 ? "++" : grid[x][y] == 2 ? "OO" : "..", 2);
        line[40] = '\0';
        fprintf(stderr, "%s\n", line);
    }
    usleep(200000);
}
