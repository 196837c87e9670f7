/* Fault injection decisions and unsolicited lines (see fault.h). */
#include "fault.h"

#include "link.h"
#include "protocol.h"
#include "sim.h"
#include "socket.h"

const char *const FAULT_MalformedLines[] = {
    "SetSonar 1 0 200 5",          /* a sonar index beyond the set */
    "SetLaser 1 0 p c 65535 1 2",  /* more items announced than sent */
    "SetAxes",                     /* words missing */
    "SetBattery x y",              /* not numbers */
    "\"SetSonar 1 0 unterminated", /* an open quote */
    "SetBumper 1 1",               /* a group cut short */
    "SetTimer 99999999999999999999 -5",
    nullptr};

static const OPT_Faults &faults() { return SIM_Get()->opt.faults; }

bool FAULT_Drop(long requests) { return faults().drop_after > 0 && requests > faults().drop_after; }

bool FAULT_Fail(const char *word, int *code) {
    for (const OPT_FailWord &f : faults().fail) {
        if (f.word == word) {
            *code = f.code;
            return true;
        }
    }
    return false;
}

bool FAULT_Silent(long requests) {
    return faults().silent_after >= 0 && requests > faults().silent_after;
}

long FAULT_SplitAcksMs(void) { return faults().split_acks_ms; }

bool FAULT_FloodAfter(const char *word) {
    return faults().flood && std::string(word) == "GetConstMembers";
}

/* One chunk: the robot's current state lines, repeated up to the chunk size. */
static std::string flood_chunk(ROBOT_Robot *r) {
    std::string block = PROTO_StateLines(r);
    std::string chunk;
    chunk.reserve(FAULT_FLOOD_CHUNK + block.size());
    while (chunk.size() < FAULT_FLOOD_CHUNK)
        chunk += block;
    return chunk;
}

void FAULT_Flood(void) {
    if (!faults().flood)
        return;
    for (LINK_Session *s : LINK_Sessions()) {
        ROBOT_Robot *r = SIM_Robot(s->robot);
        if (!r || !s->flooding || s->closing || !s->held.empty())
            continue;
        /* Only an empty socket queue takes more: the peer's pace bounds our memory. */
        const struct socket *sp = SOCK_Find(s->fd);
        if (sp && !sp->first_out)
            LINK_Send(s, flood_chunk(r));
    }
}

std::string FAULT_Extra(const ROBOT_Robot *r, long answer) {
    std::string extra;
    long every = faults().malformed_every;
    if (every > 0 && answer % every == 0) {
        long count = 0;
        while (FAULT_MalformedLines[count])
            count++;
        extra += FAULT_MalformedLines[(answer / every - 1) % count];
        extra += "\n";
    }
    if (faults().long_line > 0) {
        /* The true battery line padded with words the client does not read. */
        std::string line = PROTO_BatteryLine(r);
        line.pop_back();
        while ((long)line.size() + 2 < faults().long_line)
            line += " 0";
        line.resize((size_t)faults().long_line - 1, '0');
        extra += line + "\n";
    }
    return extra;
}

long FAULT_DelayMs(void) { return faults().delay_ms; }

static double next_push = -1;

double FAULT_NextPush(double wall_ms) {
    if (faults().unsolicited_ms <= 0)
        return -1;
    if (next_push < 0)
        next_push = wall_ms + (double)faults().unsolicited_ms;
    return next_push;
}

void FAULT_Push(double wall_ms) {
    if (faults().unsolicited_ms <= 0 || FAULT_NextPush(wall_ms) > wall_ms)
        return;
    next_push = wall_ms + (double)faults().unsolicited_ms;
    for (LINK_Session *s : LINK_Sessions()) {
        ROBOT_Robot *r = SIM_Robot(s->robot);
        if (r && !s->flooding) /* a flooded connection gets state lines anyway */
            LINK_Send(s, PROTO_BatteryLine(r) + PROTO_OdometryLine(r, false));
    }
}
