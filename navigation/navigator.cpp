/* The navigator: start-up, the move loop, stop, speech and finish. */
#include "navigator.h"

#include "clearance.h"
#include "gxthread.h"
#include "makemap.h"
#include "pathplanner.h"
#include "sema.h"
#include "tgetbattery.h"
#include "tgetposition.h"
#include "trefreshmap.h"
#include "vx9200.h"

#include <memory>
#include <stdio.h>
#include <vector>

namespace {

const int kStartPauseMs = 500; /* between starting two worker threads */
const Coord kMotionSpeed = {300, 300, 300};
const Coord kMotionAccel = {600, 600, 300};
const int kRelativeMove = 2;

int smaller(int a, int b) { return a < b ? a : b; }

/* Ends one worker: clears its flag, joins it, destroys handle and object, prints message. */
template <class T> void endThread(T *&worker, gxThread_t *&handle, const char *message) {
    if (worker == nullptr)
        return;
    worker->setContinua(false);
    if (handle != nullptr) {
        worker->JoinThread(handle);
        delete handle;
        handle = nullptr;
    }
    delete worker;
    worker = nullptr;
    printf("%s", message);
    fflush(stdout);
}

} // namespace

Navigator::Navigator()
    : map(new MakeMap), refreshHandle(nullptr), refresh(nullptr), batteryHandle(nullptr),
      battery(nullptr), positionHandle(nullptr), position(nullptr), robot(new Rovak),
      cinematic(new Cinematic), state(nullptr), planner(nullptr), offsetX(0), offsetY(0),
      mutex(new gxMutex(gxPROCESS_PRIVATE)), batteryStatus(new std::atomic<float>[4]),
      positionValues(new std::atomic<float>[3]), started(false) {
    for (int i = 0; i < 4; i++)
        batteryStatus[i] = 0.0f;
    for (int i = 0; i < 3; i++)
        positionValues[i] = 0.0f;
}

Navigator::~Navigator() {
    finish();
    delete planner;
    delete robot;
    delete cinematic;
    delete map;
    delete mutex;
    delete[] batteryStatus;
    delete[] positionValues;
    printf("Navigator destruido sem problemas\n");
}

int Navigator::start(int x0, int y0, const char *mapFile) {
    if (started) {
        printf("Navegador ja iniciado: chame finishRovak antes\n");
        return -1;
    }
    sem_create_set();
    printf("Conectando com o ROBO\n");
    if (robot->Connect() != 0) {
        printf("Erro ao conectar com o Rovak\n");
        return -1;
    }
    robot->Speak("Conectado!");
    state = robot->GetRobotState();
    cinematic->ZeroRobot(state);
    int result = (mapFile == nullptr || mapFile[0] == '\0') ? map->newMap() : map->openMap(mapFile);
    if (result != 0) {
        printf("An error occurs when create map\n");
        return -1;
    }
    offsetX = x0;
    offsetY = y0;
    return startThreads();
}

int Navigator::startThreads() {
    refresh = new TRefreshMap;
    battery = new TGetBattery(batteryStatus);
    position = new TGetPosition(positionValues);
    refresh->setMakemap(map, offsetX, offsetY);
    position->setPosition(offsetX, offsetY);
    positionHandle = position->CreateThread(gxTHREAD_TYPE_JOINABLE, 0);
    gxThread::mSleep(kStartPauseMs);
    refreshHandle = refresh->CreateThread(gxTHREAD_TYPE_JOINABLE, 0);
    gxThread::mSleep(kStartPauseMs);
    batteryHandle = battery->CreateThread(gxTHREAD_TYPE_JOINABLE, 0);
    gxThread::mSleep(kStartPauseMs);
    started = true;
    return 0;
}

int Navigator::move(int goalX, int goalY) {
    for (int replans = 0;; replans++) {
        Outcome outcome = planAndFollow(goalX, goalY);
        if (outcome != MOVE_REPLAN)
            return outcome == MOVE_ARRIVED ? 1 : 0;
        if (replans == NAV_MAX_REPLANS) {
            printf("Objetivo (%d, %d) inalcancavel: %d replanejamentos seguidos\n", goalX, goalY,
                   NAV_MAX_REPLANS);
            return 0;
        }
        printf("---> Calculando nova trajetoria\n");
    }
}

/* One plan from the robot's present cell and the motion along it. */
Navigator::Outcome Navigator::planAndFollow(int goalX, int goalY) {
    int id = sem_open_set();
    p_sem(id);
    state = robot->GetRobotState();
    Coord pose = cinematic->GetOdometry(state);
    int sx = (offsetX + pose.x) / MAP_CELL_MM, sy = (offsetY + pose.y) / MAP_CELL_MM;
    int heading = cinematic->GetOdometry(state).th;
    bool connected = state != nullptr;
    v_sem(id);
    if (!connected) {
        printf("Erro: Rovak desconectado\n");
        return MOVE_FAILED;
    }
    printf("Start (%d, %d)\n", sx, sy);
    printf("Goal  (%d, %d)\n", goalX, goalY);
    planRoute(Coord{sx, sy, heading}, Coord{goalX, goalY, 0});
    if (trajectory.empty()) {
        printf("trajectory is empty\n");
        return MOVE_FAILED;
    }
    Outcome outcome = followRoute(sx, sy);
    if (outcome == MOVE_ARRIVED)
        printf("Cheguei no objetivo\n");
    return outcome;
}

/* Sets trajectory and planner for a move from one cell to another. The planner sees the robot
 * as a point, so a route over the map as it stands may brush past the obstacles it holds; a
 * second search over a copy with a margin around every obstacle keeps the body clear, and is
 * taken when it finds a way. Where none keeps the margin (a goal or a gap near an obstacle)
 * the plain route is followed. The margin only removes cells, so a goal without a plain route
 * has none at all, and that search gives the operator its message. */
void Navigator::planRoute(const Coord &from, const Coord &to) {
    /* The planners read a copy, so the refresh thread may go on painting meanwhile. */
    std::vector<int> grid(MAP_CELLS);
    map->copyGrid(grid.data());
    delete planner;
    planner = new PathPlanner(grid.data());
    auto route = planner->getTrajectory(from, to);
    if (!route.empty()) {
        clear_inflate(grid.data(), CLEAR_RADIUS_CELLS);
        std::unique_ptr<PathPlanner> clear(new PathPlanner(grid.data(), false));
        auto wide = clear->getTrajectory(from, to);
        if (!wide.empty()) {
            route.swap(wide);
            delete planner;
            planner = clear.release();
        }
    }
    trajectory.assign(route.begin(), route.end());
}

/* Drives along the route, the semaphore held throughout. The first point (the start corner)
 * is skipped. */
Navigator::Outcome Navigator::followRoute(int sx, int sy) {
    int id = sem_open_set();
    p_sem(id);
    int cx = sx, cy = sy;
    Outcome outcome = MOVE_ARRIVED;
    auto p = trajectory.begin();
    for (++p; p != trajectory.end() && outcome == MOVE_ARRIVED; ++p) {
        Coord d = {(p->x - cx) * MAP_CELL_MM, (p->y - cy) * MAP_CELL_MM, 0};
        state = robot->GetRobotState();
        bool ahead[VX_DIRECTIONS];
        clear_ahead(d, cinematic->GetOdometry(state).th, ahead);
        cinematic->SetPosition(state, d, kMotionSpeed, kMotionAccel, kRelativeMove);
        outcome = watchMotion(state, ahead);
        cx = p->x;
        cy = p->y;
    }
    v_sem(id);
    return outcome;
}

/* Watches one motion until it ends: bumpers, the 24 ranges, and the map painted on the way.
 * A reading below NAV_DANGER_MM in any direction ends the move; one below NAV_NEAR_MM asks for
 * a new route only where ahead[] marks the direction as lying in the way. Counting every
 * direction would stop each new motion at once beside the obstacle that caused the replan,
 * so the robot could never leave it. */
Navigator::Outcome Navigator::watchMotion(Q_RobotState *&rs, const bool ahead[]) {
    SenSonar sonar;
    SenIr ir;
    SenBumper bumper;
    bool moving = cinematic->Moving(rs);
    while (moving) {
        moving = cinematic->Moving(rs);
        Q_GetSonar(VX_ROBOT_ID);
        Q_GetInfrared(VX_ROBOT_ID);
        Q_GetBumper(VX_ROBOT_ID);
        rs = robot->GetRobotState();
        if (rs == nullptr) {
            printf("Erro: conexao com o Rovak perdida\n");
            return MOVE_FAILED;
        }
        if (bumper.Read(rs).pressed >= 0) {
            printf("Colisao com o rovak\n");
            cinematic->Stop(rs);
            return MOVE_FAILED;
        }
        for (int i = 0; i < VX_DIRECTIONS; i++) {
            int r = smaller(ir.Read(rs, i), sonar.Read(rs, i));
            if (r >= NAV_NEAR_MM || (r >= NAV_DANGER_MM && !ahead[i]))
                continue;
            if (r >= NAV_DANGER_MM) {
                printf("Encontrei obstaculo\n");
                cinematic->Stop(rs);
                map->refreshMap2(offsetX, offsetY); /* the new plan must see the obstacle */
                return MOVE_REPLAN;
            }
            printf("Obstaculo muito proximo do Rovak\n  Perigo ao movimentar o Rovak\n");
            cinematic->Stop(rs);
            return MOVE_FAILED;
        }
        map->refreshMap2(offsetX, offsetY);
    }
    return MOVE_ARRIVED;
}

int Navigator::stop() {
    int id = sem_open_set();
    p_sem(id);
    state = robot->GetRobotState();
    cinematic->Stop(state);
    v_sem(id);
    return 0;
}

int Navigator::Speak(const char *text) {
    int id = sem_open_set();
    p_sem(id);
    robot->Speak(text);
    return v_sem(id);
}

int Navigator::finish() {
    if (!started && refresh == nullptr && battery == nullptr && position == nullptr)
        return 0;
    endThread(refresh, refreshHandle, "Fim da thread AtualizaMapa\n");
    endThread(battery, batteryHandle, "Fim da thread GetBaterias\n");
    endThread(position, positionHandle, "Fim da thread GetPosition\n");
    sem_remove_set();
    started = false;
    return 0;
}

void Navigator::getBatteryStatus(float *out) const {
    for (int i = 0; i < 4; i++)
        out[i] = batteryStatus[i];
}

void Navigator::getPosition(float *out) const {
    for (int i = 0; i < 3; i++)
        out[i] = positionValues[i];
}
