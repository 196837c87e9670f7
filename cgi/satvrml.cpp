/* saveSatFile and satToVrml: the common ending of both modelers. */
#include "satvrml.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>
#include <sys/stat.h>
#include <unistd.h>

#include "vrml_mesh.h"

namespace {

// The temporary files being written, removed when the process gives up (exit() runs no
// destructors).
std::vector<std::string> g_pendingTemps;

void forgetPending(const std::string &temp) {
    auto at = std::find(g_pendingTemps.begin(), g_pendingTemps.end(), temp);
    if (at != g_pendingTemps.end())
        g_pendingTemps.erase(at);
}

void (*g_failureHandler)() = nullptr;

[[noreturn]] void unableToOpen() { satUnableToOpen(); }

// Whether the descriptor is still the file named path (a cleaner did not remove it meanwhile).
bool stillNamed(int fd, const std::string &path) {
    struct stat open, named;
    return fstat(fd, &open) == 0 && stat(path.c_str(), &named) == 0 &&
           open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

// Moves the file temp into place at path. Where the file system can, the two are exchanged and
// the old file (now named temp) removed: renaming over an existing file makes ext4 write the new
// file out at once and, on a disk mounted to discard, wait while the old file's blocks are
// discarded, which costs a request more than its meshing; an old file removed before it was ever
// written out costs nothing. Otherwise, and for a first file, a plain rename.
bool replace(const std::string &temp, const std::string &path) {
    if (renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, path.c_str(), RENAME_EXCHANGE) == 0) {
        unlink(temp.c_str());
        return true;
    }
    return std::rename(temp.c_str(), path.c_str()) == 0;
}

// A temporary file beside path, readable as a normal new file would be, and locked by its
// writer for as long as it is open (see satRemoveStaleTemps). Its name is path + "." + six
// characters.
struct TempFile {
    std::string path;
    std::string temp;
    FILE *file = nullptr;

    TempFile(const TempFile &) = delete;
    TempFile &operator=(const TempFile &) = delete;
    explicit TempFile(const char *target) : path(target) {
        // A cleaner may lock and remove a new file before its writer locks it: then try another.
        for (int attempt = 0; attempt < 8 && !file; ++attempt) {
            temp = path + ".XXXXXX";
            int fd = mkostemp(&temp[0], O_CLOEXEC);
            if (fd < 0)
                return;
            if (flock(fd, LOCK_EX | LOCK_NB) != 0 || !stillNamed(fd, temp)) {
                close(fd); // the cleaner that holds or removed it unlinks it
                continue;
            }
            g_pendingTemps.push_back(temp);
            mode_t mask = umask(0);
            umask(mask);
            fchmod(fd, 0666 & ~mask);
            file = fdopen(fd, "w");
            if (!file) {
                close(fd);
                discard();
            }
        }
    }
    // Flushes what was written; false when any of it failed. The file stays open and locked.
    bool finish() { return std::fflush(file) == 0 && std::ferror(file) == 0; }
    // Moves the file into place and closes it; false (and nothing left behind) on failure.
    bool commit() {
        bool ok = finish() && replace(temp, path);
        ok = std::fclose(file) == 0 && ok;
        file = nullptr;
        if (!ok)
            unlink(temp.c_str());
        forgetPending(temp);
        return ok;
    }
    void discard() {
        if (file)
            std::fclose(file);
        file = nullptr;
        unlink(temp.c_str());
        forgetPending(temp);
    }
    ~TempFile() {
        if (file)
            discard();
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

void satDiscardPending() {
    for (const std::string &temp : g_pendingTemps)
        unlink(temp.c_str());
    g_pendingTemps.clear();
}

void satUnableToOpen() {
    satDiscardPending();
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
        if (!temp)
            continue;
        // Its writer holds the lock while it lives; a lock taken here means the writer is gone.
        std::string full = folder + "/" + name;
        int fd = open(full.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        if (fd < 0)
            continue;
        if (flock(fd, LOCK_EX | LOCK_NB) == 0)
            unlink(full.c_str());
        close(fd);
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

namespace {

// Writes body (null: none) as SAT text to file.
void writeSat(FILE *file, BODY *body) {
    FileInfo info;
    info.set_product_id("QORM");
    info.set_units(10.0);
    outcome result = api_set_file_info(FILEINFO_PRODUCT_ID | FILEINFO_UNITS, info);
    ENTITY_LIST list;
    list.add(body);
    result = api_save_entity_list(file, 1, list);
}

// Restores the bodies of the SAT file at satPath and writes their scene into wrl, which is left
// open; the modeller is started and stopped around it.
void convert(const char *satPath, TempFile &wrl) {
    outcome result = api_start_modeller(0);
    ENTITY_LIST list;
    FILE *sat = std::fopen(satPath, "r");
    if (!sat)
        unableToOpen();
    result = api_restore_entity_list(sat, 1, list);
    std::fclose(sat);
    if (!result.ok())
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

    for (ENTITY *e = (list.init(), list.next()); e; e = list.next())
        result = api_del_entity(e);
    if (refinement)
        result = api_del_entity(refinement);
    result = api_terminate_faceter();
    result = api_stop_modeller();
}

// A scene is written in large pieces: the default buffer would make a system call every few
// points.
constexpr std::size_t kSceneBuffer = std::size_t(1) << 18;

} // namespace

void saveSatFile(const char *path, BODY *body) {
    TempFile out(path);
    if (!out.file)
        unableToOpen();
    writeSat(out.file, body);
    if (!out.commit())
        unableToOpen();
}

void satToVrml(const char *satPath, const char *wrlPath) {
    TempFile wrl(wrlPath);
    if (!wrl.file)
        unableToOpen();
    std::setvbuf(wrl.file, nullptr, _IOFBF, kSceneBuffer);
    convert(satPath, wrl);
    if (!wrl.commit())
        unableToOpen();
}

bool satReplaceFile(const char *path, const std::string &text) {
    TempFile out(path);
    if (!out.file)
        return false;
    if (std::fwrite(text.data(), 1, text.size(), out.file) != text.size()) {
        out.discard();
        return false;
    }
    return out.commit();
}

struct SatOutput::Files {
    TempFile sat, wrl;
    std::unique_ptr<TempFile> note;
};

SatOutput::SatOutput(const char *satPath, const char *wrlPath)
    : files_(new Files{TempFile(satPath), TempFile(wrlPath), nullptr}) {}

SatOutput::~SatOutput() { delete files_; }

void SatOutput::write(BODY *body) {
    Files &f = *files_;
    if (!f.sat.file || !f.wrl.file)
        unableToOpen();
    writeSat(f.sat.file, body);
    if (!f.sat.finish())
        unableToOpen();
    std::setvbuf(f.wrl.file, nullptr, _IOFBF, kSceneBuffer);
    convert(f.sat.temp.c_str(), f.wrl);
    if (!f.wrl.finish())
        unableToOpen();
}

void SatOutput::addNote(const char *path, const std::string &text) {
    std::unique_ptr<TempFile> &note = files_->note;
    note.reset(new TempFile(path));
    if (!note->file || std::fwrite(text.data(), 1, text.size(), note->file) != text.size() ||
        !note->finish())
        unableToOpen();
}

bool SatOutput::publish() {
    Files &f = *files_;
    bool ok = f.sat.commit();
    ok = ok && f.wrl.commit();
    ok = ok && (!f.note || f.note->commit());
    if (!ok) { // what was not moved goes
        f.wrl.discard();
        if (f.note)
            f.note->discard();
    }
    return ok;
}
