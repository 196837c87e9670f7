/* saveSatFile and satToVrml: the common ending of both modelers. */
#include "satvrml.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <dirent.h>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "vrml_mesh.h"

namespace {

// The temporary file being written, removed when the process gives up (exit() runs no
// destructors).
std::string g_pendingTemp;

void (*g_failureHandler)() = nullptr;

[[noreturn]] void unableToOpen() { satUnableToOpen(); }

// A temporary file beside path, readable as a normal new file would be. A process killed while
// writing leaves it behind; its name is path + "." + six characters (satTempSuffixes), for the
// next writer of path to clean.
struct TempFile {
    std::string path;
    std::string temp;
    FILE *file = nullptr;

    explicit TempFile(const char *target) : path(target), temp(path + ".XXXXXX") {
        int fd = mkstemp(&temp[0]);
        if (fd < 0)
            return;
        g_pendingTemp = temp;
        mode_t mask = umask(0);
        umask(mask);
        fchmod(fd, 0666 & ~mask);
        file = fdopen(fd, "w");
        if (!file) {
            close(fd);
            unlink(temp.c_str());
            g_pendingTemp.clear();
        }
    }
    // Closes the file and moves it into place; false (and nothing left behind) on failure.
    bool commit() {
        bool ok = std::ferror(file) == 0;
        ok = std::fclose(file) == 0 && ok;
        file = nullptr;
        ok = ok && std::rename(temp.c_str(), path.c_str()) == 0;
        if (!ok)
            unlink(temp.c_str());
        g_pendingTemp.clear();
        return ok;
    }
    ~TempFile() {
        if (!file)
            return;
        std::fclose(file);
        unlink(temp.c_str());
        g_pendingTemp.clear();
    }
};

int truncatedExtent(double low, double high) {
    double e = std::fabs(high - low);
    if (!std::isfinite(e) || e >= 2e9)
        return 0;
    return static_cast<int>(e);
}

} // namespace

void satSetFailureHandler(void (*handler)()) { g_failureHandler = handler; }

void satUnableToOpen() {
    if (!g_pendingTemp.empty())
        unlink(g_pendingTemp.c_str());
    g_pendingTemp.clear();
    if (g_failureHandler) {
        g_failureHandler();
        std::abort(); // a handler that returns breaks its contract
    }
    std::printf("Unable to open file!\n");
    std::exit(1);
}

void satRemoveStaleTemps(const char *target) {
    std::string path(target);
    std::size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
    std::string prefix = (slash == std::string::npos ? path : path.substr(slash + 1)) + ".";
    DIR *dir = opendir(folder.c_str());
    if (!dir)
        return;
    while (dirent *e = readdir(dir)) {
        std::string name = e->d_name;
        // mkstemp's names: the prefix and six letters or digits.
        if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0)
            continue;
        bool temp = true;
        for (std::size_t i = prefix.size(); i < name.size(); ++i)
            temp = temp && std::isalnum(static_cast<unsigned char>(name[i]));
        if (temp)
            unlink((folder + "/" + name).c_str());
    }
    closedir(dir);
}

double satVrmlScale(const box &b) {
    int largest = 0;
    double exact = 0;
    for (int i = 0; i < 3; ++i) {
        double low = b.low().coordinate(i), high = b.high().coordinate(i);
        largest = std::max(largest, truncatedExtent(low, high));
        if (std::isfinite(high - low))
            exact = std::max(exact, std::fabs(high - low));
    }
    if (largest > 0)
        return 100.0 / largest;
    // A model under one unit in every direction is fitted by its own largest extent, so that it
    // fills the view like any other instead of shrinking to a dot at its middle.
    return exact >= kernel_min_size() && !b.empty() ? 100.0 / exact : 1.0;
}

void saveSatFile(const char *path, BODY *body) {
    FileInfo info;
    info.set_product_id("QORM");
    info.set_units(10.0);
    outcome result = api_set_file_info(FILEINFO_PRODUCT_ID | FILEINFO_UNITS, info);
    TempFile out(path);
    if (!out.file)
        unableToOpen();
    ENTITY_LIST list;
    list.add(body);
    result = api_save_entity_list(out.file, 1, list);
    if (!out.commit())
        unableToOpen();
}

void satToVrml(const char *satPath, const char *wrlPath) {
    outcome result = api_start_modeller(0);
    ENTITY_LIST list;
    FILE *sat = std::fopen(satPath, "r");
    if (!sat)
        unableToOpen();
    result = api_restore_entity_list(sat, 1, list);
    std::fclose(sat);
    if (!result.ok())
        unableToOpen();

    TempFile wrl(wrlPath);
    if (!wrl.file)
        unableToOpen();
    result = api_initialize_faceter();
    // Owned here so that a failure handler that throws does not leak it; the kernel's pointer to
    // it goes with the modeller's outermost stop.
    std::unique_ptr<VrmlMeshManager> manager(new VrmlMeshManager());
    result = api_set_mesh_manager(manager.get());
    REFINEMENT *refinement = nullptr;
    result = api_get_default_refinement(&refinement, 0);
    result = api_set_default_refinement(refinement);
    manager->setOutput(wrl.file);
    manager->writeSceneHead();

    box all;
    for (ENTITY *e = (list.init(), list.next()); e; e = list.next()) {
        if (is_REFINEMENT(e) || !is_BODY(e))
            continue;
        result = api_change_body_trans(static_cast<BODY *>(e), nullptr, 0);
        all |= get_body_box(static_cast<BODY *>(e));
    }
    double scale = satVrmlScale(all);
    SPAtransf a = scale_transf(scale);
    SPAtransf b = translate_transf(position(50, 50, 50) - all.mid() * scale);
    for (ENTITY *e = (list.init(), list.next()); e; e = list.next()) {
        if (is_REFINEMENT(e) || !is_BODY(e))
            continue;
        BODY *body = static_cast<BODY *>(e);
        result = api_apply_transf(body, a);
        result = api_change_body_trans(body, nullptr, 0);
        result = api_apply_transf(body, b);
        result = api_change_body_trans(body, nullptr, 0);
        result = api_facet_entity(body);
        // A body that cannot be faceted into a closed mesh would show as nothing or with holes.
        if (!result.ok())
            unableToOpen();
    }
    manager->writeSceneTail();
    result = api_set_mesh_manager(nullptr);
    manager.reset();
    bool written = wrl.commit();

    for (ENTITY *e = (list.init(), list.next()); e; e = list.next())
        result = api_del_entity(e);
    if (refinement)
        result = api_del_entity(refinement);
    result = api_terminate_faceter();
    result = api_stop_modeller();
    if (!written)
        unableToOpen();
}
