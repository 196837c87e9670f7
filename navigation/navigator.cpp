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

#include <iterator>
#include <memory>
#include <stdio.h>
#include <vector>

namespace {

const int kStartPauseMs = 500; /* between starting two worker threads */
const Coord kMotionSpeed = {300, 300, 300};
const Coord kMotionAccel = {600, 600, 300};
const int kRelativeMove = 2;

int smaller(int a, int b) { return a < b ? a : b; }

bool onMap(int cx, int cy) { return cx >= 0 && cx < MAP_SIZE && cy >= 0 && cy < MAP_SIZE; }

/* The map-frame cell of an odometry coordinate, summed in 64 bits: a peer may report any value,
 * and the cell of any sum fits an int. */
int cellOf(int offset, int32_t odometry) {
    return static_cast<int>((static_cast<long long>(offset) + odometry) / MAP_CELL_MM);
}

/* Ends one worker: clears its flag, joins it, destroys handle and object, and prints message
 * when there was a thread to end. */
template <class T> void endThread(T *&worker, gxThread_t *&handle, const char *message) {
    if (worker == nullptr)
        return;
    worker->setContinua(false);
    bool ran = handle != nullptr;
    if (ran) {
        worker->JoinThread(handle);
        delete handle;
        handle = nullptr;
    }
    delete worker;
    worker = nullptr;
    if (ran) {
        printf("%s", message);
        fflush(stdout);
    }
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
    if (started)
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
    std::unique_lock<std::shared_mutex> alone(lifecycle);
    if (started) {
        printf("Navegador ja iniciado: chame finishRovak antes\n");
        return -1;
    }
    forgetRoute(); /* the last route belongs to the map of an earlier start */
    bool madeSet = false;
    try {
        if (startLocked(x0, y0, mapFile, &madeSet) == 0)
            return 0;
    } catch (...) {
        abandonStart(madeSet);
        throw;
    }
    abandonStart(madeSet);
    return -1;
}

/* The steps of start; on -1 the caller releases what was made. */
int Navigator::startLocked(int x0, int y0, const char *mapFile, bool *madeSet) {
    if (sem_create_set(madeSet) < 0) {
        printf("Erro ao criar o semaforo do Rovak\n");
        return -1;
    }
    printf("Conectando com o ROBO\n");
    if (robot->Connect() != 0) {
        printf("Erro ao conectar com o Rovak\n");
        return -1;
    }
    robot->Speak("Conectado!");
    state = robot->GetRobotState();
    if (state == nullptr) { /* lost again right after connecting */
        printf("Erro ao conectar com o Rovak\n");
        return -1;
    }
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

/* Undoes a start that failed part way: no thread, connection or set of this start remains, so
 * a later start begins from nothing and a finish has nothing to do. A set that existed before
 * belongs to somebody else and stays. */
void Navigator::abandonStart(bool madeSet) {
    endThreads();
    robot->Disconnect();
    if (madeSet)
        sem_remove_set();
    state = nullptr;
    started = false;
    fflush(stdout);
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
    if (positionHandle == nullptr || refreshHandle == nullptr || batteryHandle == nullptr) {
        printf("Erro ao criar as threads do Rovak\n");
        return -1;
    }
    started = true;
    return 0;
}

void Navigator::endThreads() {
    endThread(refresh, refreshHandle, "Fim da thread AtualizaMapa\n");
    endThread(battery, batteryHandle, "Fim da thread GetBaterias\n");
    endThread(position, positionHandle, "Fim da thread GetPosition\n");
}

int Navigator::move(int goalX, int goalY) {
    std::shared_lock<std::shared_mutex> life(lifecycle);
    std::lock_guard<std::mutex> one(moving);
    if (!started) {
        printf("Rovak nao iniciado: chame startRovak antes de moveRovak\n");
        return 0;
    }
    forgetRoute(); /* until this move plans, it has no route */
    if (!onMap(goalX, goalY)) {
        printf("Objetivo (%d, %d) fora do mapa: as celulas vao de 0 a %d\n", goalX, goalY,
               MAP_SIZE - 1);
        return 0;
    }
    return moveLocked(goalX, goalY);
}

int Navigator::moveLocked(int goalX, int goalY) {
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
    int sx, sy, heading;
    bool connected;
    {
        SemHold hold(sem_open_set());
        state = robot->GetRobotState();
        Coord pose = cinematic->GetOdometry(state);
        sx = cellOf(offsetX, pose.x);
        sy = cellOf(offsetY, pose.y);
        heading = cinematic->GetOdometry(state).th;
        connected = state != nullptr;
    }
    if (!connected) {
        printf("Erro: Rovak desconectado\n");
        return MOVE_FAILED;
    }
    printf("Start (%d, %d)\n", sx, sy);
    printf("Goal  (%d, %d)\n", goalX, goalY);
    if (!onMap(sx, sy)) { /* no route can start there */
        printf("Rovak fora do mapa: as celulas vao de 0 a %d\n", MAP_SIZE - 1);
        return MOVE_FAILED;
    }
    planRoute(Coord{sx, sy, heading}, Coord{goalX, goalY, 0});
    publishRoute(sx, sy);
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
    planner = nullptr;
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

void Navigator::forgetRoute() {
    trajectory.clear();
    std::lock_guard<std::mutex> hold(routeLock);
    route.clear();
}

/* Copies the trajectory for lastRoute as it will be driven: from (sx, sy), the start corner
 * skipped. An empty trajectory (no route) leaves the copy empty. */
void Navigator::publishRoute(int sx, int sy) {
    std::vector<Coord> driven;
    if (!trajectory.empty()) {
        driven.push_back(Coord{sx, sy, 0});
        driven.insert(driven.end(), std::next(trajectory.begin()), trajectory.end());
    }
    std::lock_guard<std::mutex> hold(routeLock);
    route.swap(driven);
}

std::vector<Coord> Navigator::lastRoute() const {
    std::lock_guard<std::mutex> hold(routeLock);
    return route;
}

/* Drives along the route, the semaphore held throughout. The first point (the start corner)
 * is skipped. Before the semaphore is given back the position array gets the pose where the
 * motion ended, so a reader after the move never sees the pose from before it. */
Navigator::Outcome Navigator::followRoute(int sx, int sy) {
    SemHold hold(sem_open_set());
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
    recordPosition(robot->GetRobotState());
    return outcome;
}

/* Writes the odometry pose into the position array, as the position thread does; a pose that
 * cannot be read leaves the array alone. Called with the semaphore held. */
void Navigator::recordPosition(Q_RobotState *rs) {
    Coord pose;
    if (cinematic->ReadOdometry(rs, &pose) != 0)
        return;
    positionValues[0] = static_cast<float>(static_cast<long long>(offsetX) + pose.x);
    positionValues[1] = static_cast<float>(static_cast<long long>(offsetY) + pose.y);
    positionValues[2] = static_cast<float>(pose.th);
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
    std::shared_lock<std::shared_mutex> life(lifecycle);
    if (!started) {
        printf("Rovak nao iniciado: chame startRovak antes de stopRovak\n");
        return -1;
    }
    SemHold hold(sem_open_set());
    state = robot->GetRobotState();
    cinematic->Stop(state);
    return 0;
}

int Navigator::Speak(const char *text) {
    std::shared_lock<std::shared_mutex> life(lifecycle);
    if (!started) {
        printf("Rovak nao iniciado: chame startRovak antes de textToSpeech\n");
        return -1;
    }
    int id = sem_open_set();
    p_sem(id);
    int said = robot->Speak(text);
    int given = v_sem(id);
    if (said != 0) {
        printf("O Rovak nao conseguiu falar: erro %d\n", said);
        return -1;
    }
    return given;
}

int Navigator::finish() {
    std::unique_lock<std::shared_mutex> alone(lifecycle);
    if (!started) { /* a failed start has already released what it made */
        printf("Rovak nao iniciado: finishRovak nao tem nada a terminar\n");
        fflush(stdout);
        return 0;
    }
    endThreads();
    robot->Disconnect();
    sem_remove_set();
    state = nullptr;
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
