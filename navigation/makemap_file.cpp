/* Occupancy grid: the map file and the image export. */
#include "makemap.h"

#include <errno.h>
#include <limits.h>
#include <new>
#include <stdio.h>
#include <stdlib.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

/* Reads the whole file into text; false when it cannot be opened or read. */
bool readFile(const char *file, std::string &text) {
    FILE *in = fopen(file, "rt");
    if (in == nullptr)
        return false;
    char chunk[65536];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, in)) > 0)
        text.append(chunk, n);
    bool ok = !ferror(in);
    fclose(in);
    return ok;
}

/* Parses MAP_CELLS decimal integers of -1 to 11 from text into cells. Anything after the last
 * cell is ignored, as the format is read as a stream of integers. */
bool parseCells(const std::string &text, std::vector<int> &cells) {
    const char *p = text.c_str();
    for (int i = 0; i < MAP_CELLS; i++) {
        char *end;
        errno = 0;
        long v = strtol(p, &end, 10);
        if (end == p || errno == ERANGE)
            return false; /* short file or not a number */
        if (v < MAP_MIN_VALUE || v > MAP_MAX_VALUE)
            return false;
        cells[i] = static_cast<int>(v);
        p = end;
    }
    return true;
}

bool writeCells(FILE *out, const std::vector<int> &cells) {
    for (int row = 0; row < MAP_SIZE; row++) {
        for (int col = 0; col < MAP_SIZE; col++)
            if (fprintf(out, "%d ", cells[row * MAP_SIZE + col]) < 0)
                return false;
        if (fputs("\n", out) == EOF)
            return false;
    }
    return fflush(out) == 0 && fsync(fileno(out)) == 0;
}

} // namespace

int MakeMap::openMap(const char *file) {
    std::string text;
    if (file == nullptr || !readFile(file, text)) {
        printf("Erro ao abrir o mapa %s\n", file != nullptr ? file : "(null)");
        return -1;
    }
    std::vector<int> cells(MAP_CELLS);
    if (!parseCells(text, cells)) {
        printf("Mapa %s invalido: esperados %d valores de -1 a 11\n", file, MAP_CELLS);
        return -1;
    }
    std::lock_guard<std::mutex> hold(gridLock);
    for (int i = 0; i < MAP_CELLS; i++)
        grid[i] = cells[i];
    filled = true;
    return 0;
}

int MakeMap::saveMap(const char *file) {
    if (file == nullptr || file[0] == '\0') {
        printf("Erro ao gravar o mapa: nome de arquivo vazio\n");
        return -1;
    }
    std::vector<int> cells(MAP_CELLS);
    copyGrid(cells.data());
    /* A temporary beside the target, renamed over it once complete. */
    std::string temp = std::string(file) + ".tmp" + std::to_string(getpid());
    FILE *out = fopen(temp.c_str(), "wt");
    if (out == nullptr) {
        printf("Erro ao gravar o mapa %s\n", file);
        return -1;
    }
    bool ok = writeCells(out, cells);
    ok = fclose(out) == 0 && ok;
    if (!ok || rename(temp.c_str(), file) != 0) {
        remove(temp.c_str());
        printf("Erro ao gravar o mapa %s\n", file);
        return -1;
    }
    return 0;
}

int32_t MakeMap::pixelOf(int value) {
    uint32_t pixel;
    switch (value) {
    case MAP_FREE:
        pixel = MAP_PIXEL_FREE;
        break;
    case MAP_BAND:
        pixel = MAP_PIXEL_BAND;
        break;
    case MAP_OBSTACLE:
        pixel = MAP_PIXEL_OBSTACLE;
        break;
    case MAP_UNEXPLORED:
        pixel = MAP_PIXEL_UNEXPLORED;
        break;
    case MAP_ROBOT:
        pixel = MAP_PIXEL_ROBOT;
        break;
    case 10:
        pixel = MAP_PIXEL_TEN;
        break;
    default:
        if (value >= 1 && value <= 7) {
            uint32_t g = 0xFFu - static_cast<uint32_t>(value) * 0x20u;
            pixel = 0xFFFF0000u | (g << 8) | g;
        } else {
            pixel = MAP_PIXEL_UNEXPLORED; /* not a cell code: shown as unknown */
        }
    }
    return static_cast<int32_t>(pixel);
}

void MakeMap::exportImage(int32_t *pixels) {
    std::lock_guard<std::mutex> hold(gridLock);
    for (int row = 0; row < MAP_SIZE; row++) /* the image has y growing upward */
        for (int col = 0; col < MAP_SIZE; col++)
            pixels[(MAP_SIZE - 1 - row) * MAP_SIZE + col] = pixelOf(grid[row * MAP_SIZE + col]);
}

int32_t *MakeMap::makeImage() {
    if (!filled)
        return nullptr;
    int32_t *pixels = new (std::nothrow) int32_t[MAP_CELLS];
    if (pixels == nullptr) {
        printf("Nao ha memoria suficiente \n");
        return nullptr;
    }
    exportImage(pixels);
    return pixels;
}
