// Server message handlers on the sample lines, and protocol violations that must neither read
// past the line nor write past an array. The lines are dispatched in-process on a connection
// record that carries a state block, as the connection manager would for a line it received.
#include "client.h"
#include "command.h"
#include "connect.h"
#include "kavrel.h"

#include "comma_locale.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

constexpr int kFd = 900; // a descriptor number no socket of the test uses

class Handlers : public ::testing::Test {
  protected:
    void SetUp() override {
        CONN_Initialize();
        CMD_Initialize();
        static bool registered = (HCLNT_Initialize(), true);
        (void)registered;
        ci = CONN_AllocConnInfo(1, kFd);
        ASSERT_NE(ci, nullptr);
        ud = HCLNT_AllocUserData();
        ci->user_data = ud;
        ci->user_free = HCLNT_FreeUserData;
        rs = &ud->rs;
        x = &ud->rs_ext;
    }
    void TearDown() override { CONN_FreeConnInfo(ci); }

    // Dispatches one received line and checks the acknowledgement.
    void line(const std::string &text) {
        char *reply = CMD_ExecuteRaw(kFd, (text + "\n").c_str());
        ASSERT_NE(reply, nullptr);
        std::string word = text.substr(0, text.find(' '));
        EXPECT_EQ(std::string(reply), "Done " + word + "\n");
        free(reply);
    }

    CONN_ConnInfo *ci = nullptr;
    HCLNT_UserData *ud = nullptr;
    Q_RobotState *rs = nullptr;
    Q_RobotStateExt *x = nullptr;
};

void expect_matrix(const MATRIX *m, std::initializer_list<double> v) {
    ASSERT_NE(m, nullptr);
    int i = 0;
    for (double e : v)
        EXPECT_DOUBLE_EQ((*m)[i++], e) << "element " << i - 1;
}

TEST_F(Handlers, SonarDescription) {
    line("SetSonarDescription 1 2 0.5 0.1 0.3 2 3 300 S0 base 0 1 100 0 S1 base 1 0 0 100");
    EXPECT_EQ(rs->SonarController.SonarSetCount, 1u);
    EXPECT_EQ(rs->SonarController.SonarSet[0].SonarCount, 2u);
    const Q_XSonarSet &s = x->SonarController.SonarSet[0];
    EXPECT_EQ(s.MainLobe, 0.5);
    EXPECT_EQ(s.BlindLobe, 0.1);
    EXPECT_EQ(s.SideLobe, 0.3);
    EXPECT_EQ(s.BlindLobeAttenuation, 2);
    EXPECT_EQ(s.SideLobeAttenuation, 3);
    EXPECT_EQ(s.Range, 300);
    expect_matrix(s.Sonar[0].Configuration, {1, -0.0, 100, 0, 1, 0, 0, 0, 1});
    expect_matrix(s.Sonar[1].Configuration, {0, -1, 0, 1, 0, 100, 0, 0, 1});
    EXPECT_STREQ(s.Sonar[0].ID, "S0");
    EXPECT_STREQ(s.Sonar[1].ID, "S1");
    EXPECT_STREQ(s.Sonar[0].Reference, "base");
    EXPECT_TRUE(std::signbit((*s.Sonar[0].Configuration)[1])); // -sine of 0 is -0

    // A second description reuses the pose matrix and replaces the strings.
    MATRIX *before = s.Sonar[0].Configuration;
    line("SetSonarDescription 1 1 1 1 1 1 1 1 T0 frame 0.7071 1 5 6");
    EXPECT_EQ(s.Sonar[0].Configuration, before);
    EXPECT_STREQ(s.Sonar[0].ID, "T0");
    expect_matrix(before, {1, -0.0, 5, 0, 1, 6, 0, 0, 1}); // 0.7071 reads as the integer 0
}

TEST_F(Handlers, OtherDescriptions) {
    line("SetRobotType Holonomic");
    EXPECT_EQ(rs->RobotType, 'H');
    line("SetAxesDescription 3");
    line("SetLiftDescription 1");
    line("SetLaserDescription 2");
    line("SetBatteryDescription 4");
    EXPECT_EQ(rs->AxisSet.AxisCount, 3u);
    EXPECT_EQ(rs->LiftController.AxisCount, 1u);
    EXPECT_EQ(rs->LaserSet.LaserCount, 2u);
    EXPECT_EQ(rs->BatterySet.BatteryCount, 4u);
    line("SetInfraredDescription 2 1 10 400 I0 base 0 1 1 2 0 20 500");
    EXPECT_EQ(rs->InfraredController.InfraredSetCount, 2u);
    EXPECT_EQ(rs->InfraredController.InfraredSet[1].InfraredCount, 0u);
    EXPECT_EQ(x->InfraredController.InfraredSet[1].Range, 500);
    EXPECT_STREQ(x->InfraredController.InfraredSet[0].Infrared[0].ID, "I0");
    line("SetBumperDescription 1 2 B0 base 0 1 0 0 B1 base 1 0 0 0");
    EXPECT_EQ(rs->BumperController.BumperSet[0].BumperCount, 2u);
    EXPECT_STREQ(x->BumperController.BumperSet[0].Bumper[1].ID, "B1");
    line("SetK770Description 1 361 K0 base 0 1 0 0");
    EXPECT_EQ(rs->K770Set.K770[0].TotalPoints, 361u);
    EXPECT_EQ(rs->K770Set.K770[0].RequestedPoints, 361u);
}

TEST_F(Handlers, CountsAboveCapacityAreRefused) {
    const struct {
        const char *line;
    } cases[] = {{"SetAxesDescription 5"},         {"SetLiftDescription 3"},
                 {"SetLaserDescription 3"},        {"SetBatteryDescription 5"},
                 {"SetSonarDescription 7"},        {"SetSonarDescription 1 17"},
                 {"SetInfraredDescription 1 17"},  {"SetBumperDescription 1 13"},
                 {"SetK770Description 3"},         {"SetAxesDescription -1"},
                 {"SetSonarDescription 1 2 1 1 1"}};
    for (const auto &c : cases)
        line(c.line);
    EXPECT_EQ(rs->AxisSet.AxisCount, 0u);
    EXPECT_EQ(rs->LiftController.AxisCount, 0u);
    EXPECT_EQ(rs->LaserSet.LaserCount, 0u);
    EXPECT_EQ(rs->BatterySet.BatteryCount, 0u);
    EXPECT_LE(rs->SonarController.SonarSetCount, 1u);
    EXPECT_LE(rs->SonarController.SonarSet[0].SonarCount, 16u);
    EXPECT_LE(rs->InfraredController.InfraredSet[0].InfraredCount, 16u);
    EXPECT_LE(rs->BumperController.BumperSet[0].BumperCount, 12u);
    EXPECT_EQ(rs->K770Set.K770Count, 0u);
}

TEST_F(Handlers, SonarReadings) {
    line("SetSonarDescription 1 4 1 1 1 1 1 1 a r 0 1 0 0 b r 0 1 0 0 c r 0 1 0 0 d r 0 1 0 0");
    for (int k = 0; k < 4; k++)
        rs->SonarController.SonarSet[0].Sonar[k].Reading = -1;
    line("SetSonar 1 0 2 550 0 120 255");
    const Q_SonarSet &s = rs->SonarController.SonarSet[0];
    EXPECT_EQ(s.Sonar[2].Reading, 550);
    EXPECT_EQ(s.Sonar[0].Reading, 120);
    EXPECT_EQ(s.Sonar[1].Reading, -1);
    EXPECT_EQ(s.Sonar[3].Reading, -1);
    line("SetSonar 1 1 0 10 77 1 11 78 2 12 79 3 13 80");
    for (int k = 0; k < 4; k++) {
        EXPECT_EQ(s.Sonar[k].Reading, 10 + k);
        EXPECT_EQ(s.Sonar[k].TimeStamp, 77u + k);
    }
    line("SetSonar 0"); // data flag off: nothing changes
    EXPECT_EQ(s.Sonar[0].Reading, 10);
    line("SetSonar 1 0 4 999"); // index not below the count: a violation, nothing written
    line("SetSonar 1 0 -1 999");
    line("SetSonar 1 0 1"); // reading missing
    for (int k = 0; k < 4; k++)
        EXPECT_EQ(s.Sonar[k].Reading, 10 + k);
    EXPECT_EQ(rs->SonarController.SonarSet[1].Sonar[0].Reading, 0); // never touched
}

TEST_F(Handlers, InfraredAndBumpers) {
    line("SetInfraredDescription 1 3 1 1 a r 0 1 0 0 b r 0 1 0 0 c r 0 1 0 0");
    line("SetInfrared 1 1 10 1 20 2 30 3");
    EXPECT_EQ(rs->InfraredController.InfraredSet[0].Infrared[2].Reading, 30);
    EXPECT_EQ(rs->InfraredController.InfraredSet[0].Infrared[2].TimeStamp, 3u);
    line("SetBumperDescription 2 2 a r 0 1 0 0 b r 0 1 0 0 2 c r 0 1 0 0 d r 0 1 0 0");
    line("SetBumper 0 1 0 1 0");
    EXPECT_EQ(rs->BumperController.BumperSet[1].Bumper[0].Reading, 1);
    EXPECT_EQ(rs->BumperController.BumperSet[1].Bumper[1].Reading, 0);
    line("SetBumper 1 0 257"); // low 8 bits; the second reading is missing
    EXPECT_EQ(rs->BumperController.BumperSet[0].Bumper[0].Reading, 1);
}

TEST_F(Handlers, AxesLiftPoseCompassTimerBattery) {
    line("SetAxesDescription 2");
    line("SetAxes 1 258 0 1 1 5 100 200 300 400 500 600 700 1");
    EXPECT_EQ(rs->AxisSet.Global, 1);
    EXPECT_EQ(rs->AxisSet.Status, 2);
    const Q_Axis &a = rs->AxisSet.Axis[1];
    EXPECT_EQ(a.TimeStamp, 5u);
    EXPECT_EQ(a.DesiredPosition, 100);
    EXPECT_EQ(a.ActualVelocity, 700);
    EXPECT_EQ(a.InProgress, 1);

    line("SetLiftDescription 1");
    line("SetLift 1 0 1 0 2 0 100 50 7 9 95 48");
    const Q_LiftAxis &l = rs->LiftController.Axis[0];
    EXPECT_EQ(rs->LiftController.Deployed, 1);
    EXPECT_EQ(rs->LiftController.InProgress, 0);
    EXPECT_EQ(l.Mode, 2);
    EXPECT_EQ(l.Status, 0);
    EXPECT_EQ(l.DesiredPosition, 100);
    EXPECT_EQ(l.DesiredVelocity, 50);
    EXPECT_EQ(l.Acceleration, 7);
    EXPECT_EQ(l.MaxMotor, 9);
    EXPECT_EQ(l.Position, 95);
    EXPECT_EQ(l.Velocity, 48);

    rs->Integrator.TimeStamp = 42;
    line("SetIntegratedConfiguration 0 12.9 -3.7 45 90");
    EXPECT_EQ(rs->Integrator.x, 12);
    EXPECT_EQ(rs->Integrator.y, -3);
    EXPECT_EQ(rs->Integrator.Steering, 45);
    EXPECT_EQ(rs->Integrator.Rotation, 90);
    EXPECT_EQ(rs->Integrator.TimeStamp, 42u);
    line("SetIntegratedConfiguration 1 7 1e300 nan -1e300 0");
    EXPECT_EQ(rs->Integrator.TimeStamp, 7u);
    EXPECT_EQ(rs->Integrator.x, 2147483647);
    EXPECT_EQ(rs->Integrator.y, 0);
    EXPECT_EQ(rs->Integrator.Steering, -2147483647 - 1);

    line("SetCompass 1 9 -17.9");
    EXPECT_EQ(rs->Compass.Reading, -17);
    EXPECT_EQ(rs->Compass.TimeStamp, 9u);
    line("SetTimer 5 123456");
    EXPECT_EQ(rs->Timer.Timeout, 5);
    EXPECT_EQ(rs->Timer.Time, 123456u);
    line("SetBatteryDescription 4");
    line("SetBattery 1200 1210 1220 1230 9999");
    EXPECT_EQ(rs->BatterySet.Battery[3].Voltage, 1230);
}

TEST_F(Handlers, SonarConfigurationFiringOrder) {
    line("SetSonarDescription 1 4 1 1 1 1 1 1 a r 0 1 0 0 b r 0 1 0 0 c r 0 1 0 0 d r 0 1 0 0");
    line("SetSonarConfiguration 1 10.5 20 0 2 255 7 7");
    const Q_SonarSet &s = rs->SonarController.SonarSet[0];
    EXPECT_EQ(rs->SonarController.SonarPaused, 1);
    EXPECT_EQ(s.FiringDelay, 10);
    EXPECT_EQ(s.BlankingInterval, 20);
    EXPECT_EQ(s.FiringOrder[0], 0u);
    EXPECT_EQ(s.FiringOrder[1], 2u);
    EXPECT_EQ(s.FiringOrder[2], 255u);
    EXPECT_EQ(s.FiringOrder[3], 0u);
    // Without an end mark at most SonarCount + 1 values are stored.
    line("SetSonarConfiguration 0 1 2 3 2 1 0 9 8");
    EXPECT_EQ(s.FiringOrder[4], 9u);
    EXPECT_EQ(s.FiringOrder[5], 0u);
}

TEST_F(Handlers, LaserConfigurationAndScans) {
    line("SetLaserDescription 1");
    line("SetLaserConfiguration 1 0 1 1 0.5 300 7 3 1.25 4 0.1");
    const Q_Laser &l = rs->LaserSet.Laser[0];
    EXPECT_EQ(l.Power, 1);
    EXPECT_EQ(l.DataType, 0);
    EXPECT_EQ(l.PointType, 1);
    EXPECT_EQ(l.IntegrityChecking, 1);
    EXPECT_EQ(l.Threshold, 0.5);
    EXPECT_EQ(l.Width, 300);
    EXPECT_EQ(l.MinPoint, 4);
    EXPECT_EQ(l.Gap, 0.1);

    line("SetLaser 1 1 p c 2 1 2 3 4 77");
    EXPECT_EQ(l.Data[3], 4);
    EXPECT_EQ(l.DataCount, 2);
    EXPECT_EQ(l.TimeStamp, 77u);
    line("SetLaser 1 0 p x 3 5 6 7");
    EXPECT_EQ(l.Data[2], 7);
    EXPECT_EQ(l.DataCount, 3);
    // Four values per item at a stride of two: n items write Data[0] through Data[2n+1].
    rs->LaserSet.Laser[0].Data[6] = -1;
    line("SetLaser 1 0 r c 2 10 11 12 13 20 21 22 23");
    EXPECT_EQ(l.Data[0], 10);
    EXPECT_EQ(l.Data[1], 11);
    EXPECT_EQ(l.Data[2], 20);
    EXPECT_EQ(l.Data[5], 23);
    EXPECT_EQ(l.Data[6], -1);

    // Item counts that would write past Data[1927] are refused before anything is stored.
    std::string big = "SetLaser 1 0 p c 965";
    for (int i = 0; i < 2 * 965; i++)
        big += " 9";
    line(big);
    EXPECT_EQ(l.Data[0], 10);
    line("SetLaser 1 0 r c 964");
    line("SetLaser 1 0 p p 1929");
    EXPECT_EQ(l.DataCount, 2);
}

TEST_F(Handlers, K770Scan) {
    line("SetK770Description 1 361 K0 base 0 1 0 0");
    line("SetK770 1 1 88 3 100 200 300");
    EXPECT_EQ(rs->K770Set.K770[0].TimeStamp, 88u);
    EXPECT_EQ(rs->K770Set.K770[0].Readings[2], 300u);
    line("SetK770 1 0 362 1"); // more points than the array holds
    EXPECT_EQ(rs->K770Set.K770[0].Readings[0], 100u);
}

TEST_F(Handlers, LinesWithoutStateBlockAreIgnored) {
    CONN_ConnInfo *sched = CONN_AllocConnInfo(0, kFd + 1);
    char *reply = CMD_ExecuteRaw(kFd + 1, "SetSonarDescription 1 1 1 1 1 1 1 1 a b 0 1 0 0\n");
    EXPECT_STREQ(reply, "Done SetSonarDescription\n");
    free(reply);
    reply = CMD_ExecuteRaw(kFd + 2, "SetBattery 1\n"); // no connection at all
    free(reply);
    CONN_FreeConnInfo(sched);
    EXPECT_EQ(rs->SonarController.SonarSetCount, 0u);
}

// The words of one line laid out so that the first byte past the line is unmapped: the argument
// vector ends at the end of a page, and so does the text of its last word, each followed by a
// page without access. A handler that reads argv[argc], or past the last word's terminator,
// faults in any build, with or without a sanitizer.
class GuardedLine {
  public:
    explicit GuardedLine(const std::vector<std::string> &words) {
        size_t text = 0;
        for (const std::string &w : words)
            text += w.size() + 1;
        char *chars = guarded(text);
        char **vec = reinterpret_cast<char **>(guarded(words.size() * sizeof(char *)));
        for (size_t i = 0; i < words.size(); i++) {
            vec[i] = chars;
            memcpy(chars, words[i].c_str(), words[i].size() + 1);
            chars += words[i].size() + 1;
        }
        argv_ = vec;
    }
    ~GuardedLine() {
        for (const auto &m : maps_)
            munmap(m.first, m.second);
    }
    GuardedLine(const GuardedLine &) = delete;
    GuardedLine &operator=(const GuardedLine &) = delete;
    char **argv() const { return argv_; }

  private:
    // size bytes that end where a page without access begins.
    char *guarded(size_t size) {
        size_t page = (size_t)sysconf(_SC_PAGESIZE);
        size_t data = (size + page - 1) / page * page;
        void *base =
            mmap(nullptr, data + page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (base == MAP_FAILED)
            abort();
        maps_.emplace_back(base, data + page);
        char *guard = static_cast<char *>(base) + data;
        mprotect(guard, page, PROT_NONE);
        return guard - size;
    }
    std::vector<std::pair<void *, size_t>> maps_;
    char **argv_ = nullptr;
};

// Every handler, by its message word.
const std::pair<const char *, CMD_callback> kHandlers[] = {
    {"SetRobotType", HCLNT_SetRobotTypeCbk},
    {"SetAxesDescription", HCLNT_SetAxesDescriptionCbk},
    {"SetLiftDescription", HCLNT_SetLiftDescriptionCbk},
    {"SetSonarDescription", HCLNT_SetSonarDescriptionCbk},
    {"SetInfraredDescription", HCLNT_SetInfraredDescriptionCbk},
    {"SetBumperDescription", HCLNT_SetBumperDescriptionCbk},
    {"SetLaserDescription", HCLNT_SetLaserDescriptionCbk},
    {"SetK770Description", HCLNT_SetK770DescriptionCbk},
    {"SetBatteryDescription", HCLNT_SetBatteryDescriptionCbk},
    {"SetAxes", HCLNT_SetAxesCbk},
    {"SetLift", HCLNT_SetLiftCbk},
    {"SetIntegratedConfiguration", HCLNT_SetIntegratedConfigurationCbk},
    {"SetSonar", HCLNT_SetSonarCbk},
    {"SetSonarConfiguration", HCLNT_SetSonarConfigurationCbk},
    {"SetInfrared", HCLNT_SetInfraredCbk},
    {"SetBumper", HCLNT_SetBumperCbk},
    {"SetCompass", HCLNT_SetCompassCbk},
    {"SetLaser", HCLNT_SetLaserCbk},
    {"SetLaserConfiguration", HCLNT_SetLaserConfigurationCbk},
    {"SetK770", HCLNT_SetK770Cbk},
    {"SetTimer", HCLNT_SetTimerCbk},
    {"SetBattery", HCLNT_SetBatteryCbk},
};

// Every prefix of long lines (of ones, and of laser items and firing orders that would go on),
// each handed to its handler in a guarded layout, on a robot described with every unit. The
// handlers run in a child process, which notes each line in shared memory before running it: a
// fault names the line it happened on.
TEST_F(Handlers, TruncatedLinesNeverReadPastTheEnd) {
    line("SetSonarDescription 2 2 1 1 1 1 1 1 a r 0 1 0 0 b r 0 1 0 0 2 1 1 1 1 1 1 c r 0 1 0 0 "
         "d r 0 1 0 0");
    line("SetInfraredDescription 1 2 1 1 a r 0 1 0 0 b r 0 1 0 0");
    line("SetBumperDescription 1 2 a r 0 1 0 0 b r 0 1 0 0");
    line("SetAxesDescription 4");
    line("SetLiftDescription 2");
    line("SetBatteryDescription 4");
    line("SetLaserDescription 2");
    line("SetK770Description 2 10 K0 r 0 1 0 0 10 K1 r 0 1 0 0");
    std::vector<std::vector<std::string>> lines;
    for (const auto &h : kHandlers)
        for (const char *fill : {"1", "p", "0"}) {
            std::vector<std::string> words{h.first};
            for (int n = 0; n < 48; n++) {
                lines.push_back(words);
                words.push_back(fill);
            }
        }
    for (const char *tail : {"1 1 p c 3 1 2 3 4 5 6", "1 1 x y 2 1 2 3 4 5 6", "1 0 p p 3 1 2 3"}) {
        std::vector<std::string> words{"SetLaser"};
        for (const char *at = tail; *at != '\0';) {
            size_t n = strcspn(at, " ");
            words.emplace_back(at, n);
            at += n + (at[n] == ' ');
            lines.push_back(words);
        }
    }

    const size_t note_size = 4096;
    char *note = static_cast<char *>(
        mmap(nullptr, note_size, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(note, MAP_FAILED);
    note[0] = '\0';
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        const Q_RobotState described = *rs; // description lines below would change the counts
        for (const auto &words : lines) {
            *rs = described;
            std::string text;
            for (const std::string &w : words)
                text += (text.empty() ? "" : " ") + w;
            snprintf(note, note_size, "%s", text.c_str());
            GuardedLine g(words);
            for (const auto &h : kHandlers)
                if (words[0] == h.first && h.second(kFd, 0, (int)words.size(), g.argv()) != nullptr)
                    _exit(2); // no handler replies
        }
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    std::string last = note;
    munmap(note, note_size);
    bool exited = WIFEXITED(status);
    ASSERT_TRUE(exited) << "a handler read past the end of its line (signal "
                        << (WIFSIGNALED(status) ? WTERMSIG(status) : 0) << ") on: " << last;
    EXPECT_EQ(WEXITSTATUS(status), 0) << "a handler returned a reply on: " << last;
}

// A byte range of the state record that a handler may write.
struct Span {
    const void *at;
    size_t size;
};
template <typename T> Span span(const T &member) { return Span{&member, sizeof member}; }

// The first byte offset of the record that differs between before and after and lies in none
// of the spans, or -1.
long written_outside(const Q_RobotState *rs, const std::vector<unsigned char> &before,
                     const std::vector<Span> &allowed) {
    const unsigned char *now = reinterpret_cast<const unsigned char *>(rs);
    for (size_t i = 0; i < before.size(); i++) {
        if (now[i] == before[i])
            continue;
        bool inside = false;
        for (const Span &s : allowed) {
            size_t from = (size_t)(static_cast<const unsigned char *>(s.at) - now);
            inside = inside || (i >= from && i < from + s.size);
        }
        if (!inside)
            return (long)i;
    }
    return -1;
}

std::string repeat(const std::string &group, int n) {
    std::string text;
    for (int i = 0; i < n; i++)
        text += group;
    return text;
}

// Every count of the record overwritten with 0xffffffff (the whole record is filled with 0xff
// bytes) and a line with more data than any array holds: each handler writes only into the
// arrays and fields of its own unit, never into a neighbour.
TEST_F(Handlers, OverwrittenCountsNeverLeadPastAnArray) {
    std::string sonar_groups, infrared_groups, bumper_groups;
    for (int set = 0; set < 8; set++) {
        sonar_groups += " 1 1";
        for (int k = 0; k < 18; k++)
            sonar_groups += " " + std::to_string(k) + " 5 6";
        infrared_groups += " 1 1" + repeat(" 5 6", 18);
        bumper_groups += " 1 1" + repeat(" 1 6", 14);
    }
    Q_RobotState &r = *rs;
    auto sets = [&](auto member) {
        std::vector<Span> v;
        for (int i = 0; i < 6; i++)
            v.push_back(member(i));
        return v;
    };
    std::vector<Span> firing =
        sets([&](int i) { return span(r.SonarController.SonarSet[i].FiringOrder); });
    for (int i = 0; i < 6; i++) {
        firing.push_back(span(r.SonarController.SonarSet[i].FiringDelay));
        firing.push_back(span(r.SonarController.SonarSet[i].BlankingInterval));
    }
    firing.push_back(span(r.SonarController.SonarPaused));
    const struct {
        std::string line;
        std::vector<Span> allowed;
    } cases[] = {
        {"SetAxes 1 2" + repeat(" 1 1 5 1 2 3 4 5 6 7 1", 8),
         {span(r.AxisSet.Global), span(r.AxisSet.Status), span(r.AxisSet.Axis)}},
        {"SetLift 1 0" + repeat(" 1 1 5 1 2 3 4 5 6 7 8", 5),
         {span(r.LiftController.Deployed), span(r.LiftController.InProgress),
          span(r.LiftController.Axis)}},
        {"SetBattery" + repeat(" 7", 10), {span(r.BatterySet.Battery)}},
        {"SetSonarConfiguration 1" + repeat(" 3 4" + repeat(" 7", 20), 8), firing},
        {"SetSonar" + sonar_groups,
         sets([&](int i) { return span(r.SonarController.SonarSet[i].Sonar); })},
        {"SetInfrared" + infrared_groups,
         sets([&](int i) { return span(r.InfraredController.InfraredSet[i].Infrared); })},
        {"SetBumper" + bumper_groups,
         sets([&](int i) { return span(r.BumperController.BumperSet[i].Bumper); })},
        {"SetLaserConfiguration" + repeat(" 1 0 1 1 0.5 300 7 3 1.25 4 0.1", 4),
         {span(r.LaserSet.Laser)}},
        {"SetLaser" + repeat(" 1 1 p p 3 1 2 3 9", 4), {span(r.LaserSet.Laser)}},
        {"SetK770" + repeat(" 1 1 9 3 1 2 3", 4), {span(r.K770Set.K770)}},
    };
    for (const auto &c : cases) {
        memset(rs, 0xff, sizeof *rs);
        const unsigned char *bytes = reinterpret_cast<const unsigned char *>(rs);
        std::vector<unsigned char> before(bytes, bytes + sizeof *rs);
        line(c.line);
        EXPECT_EQ(written_outside(rs, before, c.allowed), -1) << c.line.substr(0, 40);
    }
}

TEST_F(Handlers, NumbersReadTheSameUnderACommaLocale) {
    char dir_template[] = "/tmp/rovak-locale-XXXXXX";
    ASSERT_NE(mkdtemp(dir_template), nullptr);
    std::string dir = dir_template;
    bool have = use_comma_locale(dir);
    if (have) {
        EXPECT_EQ(strtod("12.9", nullptr), 12.0); // the locale would mislead a plain strtod
        line("SetSonarDescription 1 1 0.5 0.25 1.5 2.5 3.5 12.9 S0 base 0 1 100 0");
        line("SetIntegratedConfiguration 0 12.9e1 -3.75e2 0.5e1 90");
        line("SetLaserDescription 1");
        line("SetLaserConfiguration 1 0 1 1 0.5 300 7 3 1.25 4 0.1");
    }
    drop_comma_locale();
    std::filesystem::remove_all(dir);
    if (!have)
        GTEST_SKIP() << "no locale with a decimal comma (localedef and de_DE sources missing)";
    const Q_XSonarSet &s = x->SonarController.SonarSet[0];
    EXPECT_EQ(s.MainLobe, 0.5);
    EXPECT_EQ(s.BlindLobe, 0.25);
    EXPECT_EQ(s.Range, 12.9);
    EXPECT_EQ(rs->Integrator.x, 129);
    EXPECT_EQ(rs->Integrator.y, -375);
    EXPECT_EQ(rs->Integrator.Steering, 5);
    EXPECT_EQ(rs->LaserSet.Laser[0].Threshold, 0.5);
    EXPECT_EQ(rs->LaserSet.Laser[0].Fitting, 1.25);
    EXPECT_EQ(rs->LaserSet.Laser[0].Gap, 0.1);
}

} // namespace
