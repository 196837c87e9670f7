/* Occupancy grid: the map file and the image export. */
#include "makemap.h"

#include <errno.h>
#include <fcntl.h>
#include <memory>
#include <new>
#include <stdio.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

/* The map file's values parsed as they arrive, in chunks of any size: a value may span two
 * chunks. A word is an optional sign and decimal digits; the first fault ends the parse. */
class CellParser {
  public:
    enum Status { MORE, DONE, NOT_A_NUMBER, OUT_OF_RANGE, TOO_MANY, TOO_FEW };

    explicit CellParser(int *cells) : cells(cells) {}
    /* Takes n more bytes: MORE while all is good so far, otherwise the fault. */
    Status feed(const char *text, size_t n) {
        for (size_t i = 0; i < n; i++) {
            Status s = take(text[i]);
            if (s != MORE)
                return s;
        }
        return MORE;
    }
    /* Ends the text: DONE when it held exactly MAP_CELLS values, otherwise the fault. */
    Status finish() {
        Status s = inWord ? endWord() : MORE;
        if (s != MORE)
            return s;
        return stored == MAP_CELLS ? DONE : TOO_FEW;
    }
    /* Values stored so far; the fault, when there is one, lies in the next. */
    int count() const { return stored; }

  private:
    /* Magnitudes saturate here, far outside the codes, so long digit runs cannot overflow. */
    static const long kSaturated = 1000000;

    static bool blank(char c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
    }

    Status take(char c) {
        if (blank(c))
            return inWord ? endWord() : MORE;
        if ((c == '-' || c == '+') && !inWord) {
            inWord = true;
            negative = c == '-';
            return MORE;
        }
        if (c < '0' || c > '9')
            return NOT_A_NUMBER;
        inWord = digits = true;
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > kSaturated)
            magnitude = kSaturated;
        return MORE;
    }

    Status endWord() {
        bool number = digits;
        long value = negative ? -magnitude : magnitude;
        inWord = negative = digits = false;
        magnitude = 0;
        if (!number)
            return NOT_A_NUMBER; /* a sign alone */
        if (stored == MAP_CELLS)
            return TOO_MANY;
        if (value < MAP_MIN_VALUE || value > MAP_MAX_VALUE)
            return OUT_OF_RANGE;
        cells[stored++] = static_cast<int>(value);
        return MORE;
    }

    int *cells;
    int stored = 0;
    bool inWord = false;
    bool negative = false;
    bool digits = false;
    long magnitude = 0;
};

/* Prints why file was refused. */
void reportFault(const char *file, CellParser::Status status, int count) {
    switch (status) {
    case CellParser::NOT_A_NUMBER:
        printf("Mapa %s invalido: o valor %d nao e um numero\n", file, count + 1);
        break;
    case CellParser::OUT_OF_RANGE:
        printf("Mapa %s invalido: o valor %d esta fora de %d a %d\n", file, count + 1,
               MAP_MIN_VALUE, MAP_MAX_VALUE);
        break;
    case CellParser::TOO_MANY:
        printf("Mapa %s invalido: mais de %d valores\n", file, MAP_CELLS);
        break;
    case CellParser::TOO_FEW:
        printf("Mapa %s invalido: so %d dos %d valores\n", file, count, MAP_CELLS);
        break;
    default:
        break;
    }
}

/* Reads and parses the open file fd into cells (MAP_CELLS). 0, or -1 after a message. */
int readCells(int fd, const char *file, int *cells) {
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        printf("Mapa %s nao e um arquivo comum\n", file);
        return -1;
    }
    if (st.st_size > MAP_FILE_MAX_BYTES) {
        printf("Mapa %s grande demais: mais de %d bytes\n", file, MAP_FILE_MAX_BYTES);
        return -1;
    }
    CellParser parser(cells);
    char chunk[16384];
    long long total = 0;
    for (;;) {
        ssize_t n = read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            printf("Erro ao ler o mapa %s\n", file);
            return -1;
        }
        CellParser::Status status =
            n == 0 ? parser.finish() : parser.feed(chunk, static_cast<size_t>(n));
        total += n;
        if (total > MAP_FILE_MAX_BYTES) { /* grown while being read */
            printf("Mapa %s grande demais: mais de %d bytes\n", file, MAP_FILE_MAX_BYTES);
            return -1;
        }
        if (status == CellParser::DONE)
            return 0;
        if (status != CellParser::MORE) {
            reportFault(file, status, parser.count());
            return -1;
        }
    }
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
    if (file == nullptr) {
        printf("Erro ao abrir o mapa (null)\n");
        return -1;
    }
    /* Without O_NONBLOCK, opening a FIFO that has no writer would wait for one. */
    int fd = open(file, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        printf("Erro ao abrir o mapa %s\n", file);
        return -1;
    }
    std::unique_ptr<int[]> cells(new (std::nothrow) int[MAP_CELLS]);
    int result = cells == nullptr ? -1 : readCells(fd, file, cells.get());
    close(fd);
    if (cells == nullptr)
        printf("Nao ha memoria suficiente \n");
    if (result != 0)
        return -1;
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
    if (!filled) { /* the cells hold nothing yet: such a file could never be read back */
        printf("Erro ao gravar o mapa %s: nenhum mapa carregado\n", file);
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
