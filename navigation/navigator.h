/* The navigator: connects to the robot, keeps the grid map fresh with three worker threads,
 * plans routes over it and drives the robot along them while watching bumpers and ranges.
 *
 * Error convention: start, stop, finish and Speak return 0 for success and -1 for failure;
 * move returns 1 when the goal was reached and 0 otherwise. Operator messages go to standard
 * output, in Portuguese. Nothing here throws on purpose; only the standard library's own
 * exceptions (out of memory) can leave an operation, and start releases what it made first.
 *
 * Threads: every operation may be called from any thread. start and finish exclude each other
 * and every other operation; moves run one at a time; stop and Speak may run beside a move
 * (they wait for the robot semaphore, so for the end of its motion). The battery and position
 * arrays are atomic floats; the getters copy them without waiting. */
#ifndef ROVAK_NAVIGATOR_H
#define ROVAK_NAVIGATOR_H

#include "coord.h"
#include "robot_state.h"

#include <atomic>
#include <list>
#include <mutex>
#include <shared_mutex>
#include <vector>

class MakeMap;
class TRefreshMap;
class TGetBattery;
class TGetPosition;
class Rovak;
class Cinematic;
class PathPlanner;
class gxThread_t;
class gxMutex;

#define NAV_MAX_REPLANS 20 /* consecutive replans before a move gives up */
#define NAV_NEAR_MM 300    /* readings below this stop the motion and replan */
#define NAV_DANGER_MM 200  /* readings below this stop the move */

class Navigator {
  public:
    Navigator();
    ~Navigator();
    Navigator(const Navigator &) = delete;
    Navigator &operator=(const Navigator &) = delete;

    /* Creates the semaphore set, connects, zeroes the odometry, loads mapFile (empty: a new
     * map) and starts the position, refresh and battery threads 500 ms apart. (x0, y0) is the
     * robot's start position in the map frame, millimetres. -1 with a message on failure, and
     * when the navigator is already started. A failed start leaves nothing behind: threads it
     * started are ended, the connection is closed and a semaphore set it created is removed. */
    int start(int x0, int y0, const char *mapFile);
    /* Drives the robot to cell (goalX, goalY), replanning around obstacles met on the way (at
     * most NAV_MAX_REPLANS times in a row). 1 on arrival; 0 for a goal or a robot off the map,
     * no route, a collision, an obstacle too close, a lost connection, too many replans, or a
     * navigator not started. When a motion ran, the position array holds its end on return. */
    int move(int goalX, int goalY);
    /* Stops the robot, waiting for the semaphore (so for a running motion to end). 0; -1 when
     * the navigator is not started. */
    int stop();
    /* Has the robot say text. 0 when the robot said it and the semaphore was given back; -1
     * with a message when the robot refused, the navigator is not started, or the give-back
     * failed. */
    int Speak(const char *text);
    /* Ends the three threads (refresh, battery, position), closes the robot connection and
     * removes the semaphore set. 0; when the navigator is not started there is nothing to end,
     * and a message says so. */
    int finish();

    /* The map (owned by the navigator). */
    MakeMap *getMakeMap() { return map; }
    /* Copies the 4 battery values / the 3 position values (x mm, y mm, heading). */
    void getBatteryStatus(float *out) const;
    void getPosition(float *out) const;
    /* The route of the last move's latest plan, in grid cells: the cell the robot set out from,
     * then the end of each straight motion, the goal last. Empty until a move after the latest
     * start plans one, and when the last move planned no route. Does not wait for a running move.
     */
    std::vector<Coord> lastRoute() const;
    /* True between a successful start and finish. */
    bool isStarted() const { return started; }

  private:
    enum Outcome { MOVE_FAILED = 0, MOVE_ARRIVED = 1, MOVE_REPLAN = 2 };
    int startLocked(int x0, int y0, const char *mapFile, bool *madeSet);
    int startThreads();
    void endThreads();
    void abandonStart(bool madeSet);
    int moveLocked(int goalX, int goalY);
    void recordPosition(Q_RobotState *rs);
    Outcome planAndFollow(int goalX, int goalY);
    void planRoute(const Coord &from, const Coord &to);
    void forgetRoute();
    void publishRoute(int sx, int sy);
    Outcome followRoute(int sx, int sy);
    Outcome watchMotion(Q_RobotState *&rs, const bool ahead[]);

    MakeMap *map;
    gxThread_t *refreshHandle;
    TRefreshMap *refresh;
    gxThread_t *batteryHandle;
    TGetBattery *battery;
    gxThread_t *positionHandle;
    TGetPosition *position;
    Rovak *robot;
    Cinematic *cinematic;
    Q_RobotState *state;
    std::list<Coord> trajectory;
    PathPlanner *planner;
    int offsetX;
    int offsetY;
    gxMutex *mutex;
    std::atomic<float> *batteryStatus;
    std::atomic<float> *positionValues;
    std::atomic<bool> started;
    std::shared_mutex lifecycle; /* start and finish hold it alone, other operations shared */
    std::mutex moving;           /* one move at a time: trajectory and planner are its own */
    std::vector<Coord> route;    /* lastRoute's copy of the latest plan, under routeLock */
    mutable std::mutex routeLock;
};

#endif
