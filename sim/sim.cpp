/* The process-wide context and the event log (see sim.h). */
#include "sim.h"

#include <cmath>
#include <cstdarg>

SIM_Sim *SIM_Get(void) {
    static SIM_Sim sim;
    return &sim;
}

ROBOT_Robot *SIM_Robot(long id) {
    SIM_Sim *s = SIM_Get();
    if (id < 1 || (size_t)id > s->robots.size())
        return nullptr;
    return &s->robots[(size_t)id - 1];
}

void SIM_Log(const char *fmt, ...) {
    FILE *f = SIM_Get()->log ? SIM_Get()->log : stderr;
    va_list ap;
    va_start(ap, fmt);
    fprintf(f, "[%10.3f] ", SIM_Get()->now_ms / 1000.0);
    vfprintf(f, fmt, ap);
    va_end(ap);
    fputc('\n', f);
    fflush(f);
}

uint32_t SIM_Stamp(void) { return (uint32_t)(uint64_t)std::floor(SIM_Get()->now_ms); }
