/* Text views of the sensor maps on standard error (standard output carries the bridge's
 * answers). On a terminal every view is drawn into a curses screen and shown with a refresh, so
 * the sonar view's clear never wipes text curses does not know about; elsewhere the views are
 * plain lines. */
#include "sensormap.h"

#include <curses.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

/* The curses screen, set up on first use on standard error and ended at exit so the terminal is
 * left sane. Null without a usable terminal. */
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
    if (term == NULL || term[0] == '\0' || !isatty(STDERR_FILENO))
        return;
    screen = newterm(term, stderr, stdin);
    if (screen == NULL)
        return;
    scrollok(stdscr, TRUE); /* views longer than the screen scroll instead of piling up */
    atexit(end_screen);
}

/* One piece of a view: into the screen, or onto standard error. */
static void view_text(const char *text) {
    start_screen();
    if (screen != NULL)
        waddstr(stdscr, text);
    else
        fputs(text, stderr);
}

/* Shows what the view drew. */
static void view_show(void) {
    if (screen != NULL)
        refresh();
    else
        fflush(stderr);
}

/* The "%d " line of a set's eight readings or of the 24 sectors. */
static void view_numbers(const s32 *values, int count) {
    char text[16];
    for (int i = 0; i < count; i++) {
        snprintf(text, sizeof text, "%d ", values[i]);
        view_text(text);
    }
    view_text("\n");
    view_show();
}

void ShowSonarSet(const MySonar *sonarset) {
    s32 values[MAP_SET_SENSORS];
    for (int i = 0; i < MAP_SET_SENSORS; i++)
        values[i] = sonarset->sonar[i].Reading;
    view_numbers(values, MAP_SET_SENSORS);
}

void ShowIRSet(const MyIR *IRset) {
    s32 values[MAP_SET_SENSORS];
    for (int i = 0; i < MAP_SET_SENSORS; i++)
        values[i] = IRset->IR[i].Reading;
    view_numbers(values, MAP_SET_SENSORS);
}

void ShowIRMap(const Map *map) { view_numbers(map->Reading, MAP_SECTORS); }

void ShowMap(const Map *map) {
    char text[32];
    for (int k = 0; k < MAP_SECTORS; k++) {
        snprintf(text, sizeof text, "%.1f",
                 map->Reading[k] > 10000 ? 10.0 : map->Reading[k] / 1000.0);
        view_text(text);
    }
    view_text("\n");
    view_show();
}

int SonarBarLength(s32 reading) {
    double v = (reading > 10000 ? 10000 : reading) * 0.006;
    int n = 0;
    while (v > n)
        n++;
    return n;
}

void ShowSonarMap(const Map *map) {
    start_screen();
    if (screen != NULL)
        move(0, 0);
    for (int k = 0; k < MAP_SECTORS; k++) {
        s32 r = map->Reading[k] > 10000 ? 10000 : map->Reading[k];
        char line[80];
        int n = snprintf(line, sizeof line, "%d\t", r);
        int bar = SonarBarLength(r);
        memset(line + n, '-', (size_t)bar);
        memcpy(line + n + bar, "\n", 2);
        view_text(line);
    }
    view_show();
    usleep(100000);
    if (screen != NULL)
        clear();
}

void EvidenceGrid(const Map *map, EGrid grid) {
    for (int x = 0; x < EGRID_SIZE; x++)
        for (int y = 0; y < EGRID_SIZE; y++)
            grid[x][y] = 0;
    grid[10][10] = 2;
    for (int angle = 0; angle < 360; angle += 15) {
        double d = GetSMapReading(map, angle, 1) + 300;
        double rad = angle * M_PI / 180;
        int xm = (int)(3 * (d * cos(rad) / 1000 + 3));
        int ym = (int)(3 * (d * sin(rad) / 1000 + 3));
        if (xm >= 0 && xm < EGRID_SIZE && ym >= 0 && ym < EGRID_SIZE)
            grid[xm][ym] = 1;
    }
}

void ShowEvidence(const Map *map) {
    EGrid grid;
    EvidenceGrid(map, grid);
    for (int y = EGRID_SIZE - 1; y >= 0; y--) {
        char line[2 * EGRID_SIZE + 2];
        for (int x = 0; x < EGRID_SIZE; x++)
            memcpy(line + 2 * x, grid[x][y] == 1 ? "++" : grid[x][y] == 2 ? "OO" : "..", 2);
        memcpy(line + 2 * EGRID_SIZE, "\n", 2);
        view_text(line);
    }
    view_show();
    usleep(200000);
}
