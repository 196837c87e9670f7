// The sensor map views on a real terminal: a tmux pane runs a program that draws them, and the
// pane's text must show what was drawn (curses must not wipe it).
#include "net_peer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string output_of(const std::string &command) {
    std::string text;
    FILE *p = popen(command.c_str(), "r");
    if (p == nullptr)
        return text;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        text.append(buf, n);
    pclose(p);
    return text;
}

// A tmux server of its own (socket in a temporary directory) with one 120 x 40 pane.
class Terminal {
  public:
    explicit Terminal(const std::string &command) {
        tmux_ = "env -u TMUX tmux -S '" + dir_.file("tmux.sock") + "' ";
        started_ =
            std::system(
                (tmux_ + "new-session -d -x 120 -y 40 -s view '" + command + "'").c_str()) == 0;
    }
    ~Terminal() { std::system((tmux_ + "kill-server 2>/dev/null").c_str()); }
    bool started() const { return started_; }
    // The pane's text once ready(text) holds, or the last text seen after 30 s.
    std::string screen_when(bool (*ready)(const std::string &)) {
        auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        std::string text;
        do {
            text = output_of(tmux_ + "capture-pane -p -t view");
            if (ready(text))
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        } while (std::chrono::steady_clock::now() < until);
        return text;
    }

  private:
    netpeer::TempDir dir_;
    std::string tmux_;
    bool started_ = false;
};

bool has_tmux() { return std::system("tmux -V >/dev/null 2>&1") == 0; }

std::vector<std::string> lines_of(const std::string &text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// A sonar view line as it shows on the screen: the value, blanks (the tab), then the bar.
std::string bar_line(int value, int dashes) {
    std::string v = std::to_string(value);
    return v + std::string(8 - v.size(), ' ') + std::string(dashes, '-');
}

bool shows_bars(const std::string &text) { return text.rfind(bar_line(10000, 60), 0) == 0; }

TEST(SensorViewTerminal, SonarBarsStayOnTheScreen) {
    ASSERT_TRUE(has_tmux()) << "tmux is needed (scripts/bootstrap installs it)";
    Terminal t(std::string(SENSORVIEW_SHOW_BIN) + " sonar");
    ASSERT_TRUE(t.started());
    std::vector<std::string> lines = lines_of(t.screen_when(shows_bars));
    ASSERT_GE(lines.size(), 24u);
    // Sector 0 reads 15000 (capped: 10000, 60 dashes), sector 1 reads 334 (3), sector 6 reads
    // 700 (5); the rest are far.
    for (int k = 0; k < 24; k++)
        EXPECT_EQ(lines[k], k == 1   ? bar_line(334, 3)
                            : k == 6 ? bar_line(700, 5)
                                     : bar_line(10000, 60))
            << "sector " << k;
}

bool shows_robot(const std::string &text) { return text.find("OO") != std::string::npos; }

TEST(SensorViewTerminal, EvidenceGridReplacesTheBars) {
    ASSERT_TRUE(has_tmux()) << "tmux is needed (scripts/bootstrap installs it)";
    Terminal t(std::string(SENSORVIEW_SHOW_BIN) + " evidence");
    ASSERT_TRUE(t.started());
    std::string screen = t.screen_when(shows_robot);
    // The echo at 90 degrees, 700 mm away: cell [9][12], two rows above the robot's [10][10].
    const std::string dots(40, '.');
    std::string echo_row = dots, robot_row = dots;
    echo_row.replace(18, 2, "++");
    robot_row.replace(20, 2, "OO");
    EXPECT_EQ(screen.find(echo_row + "\n" + dots + "\n" + robot_row + "\n"), 7u * 41u) << screen;
    EXPECT_EQ(screen.find("10000"), std::string::npos) << "the bars were cleared";
}

} // namespace
