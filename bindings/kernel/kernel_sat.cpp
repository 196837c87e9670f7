/* SAT text files: a short header (format, product id, units, body count) and each body as OCCT's
 * own text form, preceded by its length so a reader never runs past a body. */
#include "kernel_internal.h"

#include <cmath>
#include <csignal>
#include <cstring>
#include <ctime>
#include <sstream>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <BRepBndLib.hxx>
#include <BRepCheck_Analyzer.hxx>
#include <BRepTools.hxx>
#include <BRep_Builder.hxx>
#include <Bnd_Box.hxx>
#include <TopExp_Explorer.hxx>

using namespace kernel_detail;

namespace {

const char kMagic[] = "ROVAK SAT 1";
constexpr std::size_t kMaxFile = std::size_t(256) << 20; // refuse to read more than 256 MiB
constexpr std::size_t kMaxProductId = 1000;

std::string body_text(const TopoDS_Shape &shape) {
    if (shape.IsNull())
        return std::string();
    std::ostringstream out;
    BRepTools::Write(shape, out, Standard_False, Standard_False, TopTools_FormatVersion_CURRENT);
    return out.str();
}

// Reads the rest of file, or false when it fails or is too long.
bool slurp(FILE *file, std::string &text) {
    char chunk[65536];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        text.append(chunk, n);
        if (text.size() > kMaxFile)
            return false;
    }
    return !std::ferror(file);
}

// A cursor over the SAT text.
struct Reader {
    const std::string &text;
    std::size_t at = 0;

    bool line(std::string &out) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos)
            return false;
        out = text.substr(at, end - at);
        at = end + 1;
        return true;
    }
    // A line of the form "<word> <unsigned number>".
    bool counted(const char *word, std::size_t &n) {
        std::string l;
        if (!line(l))
            return false;
        std::size_t w = std::strlen(word);
        if (l.compare(0, w, word) != 0 || l.size() <= w + 1 || l[w] != ' ')
            return false;
        const char *digits = l.c_str() + w + 1;
        if (*digits < '0' || *digits > '9')
            return false;
        char *end = nullptr;
        unsigned long long v = std::strtoull(digits, &end, 10);
        if (*end != '\0' && *end != ' ')
            return false;
        n = static_cast<std::size_t>(v);
        if (*end == ' ')
            at -= std::strlen(end) + 1; // leave the rest of the line unread
        return v <= kMaxFile;
    }
    bool take(std::size_t n, std::string &out) {
        if (n > text.size() - at)
            return false;
        out = text.substr(at, n);
        at += n;
        return true;
    }
};

// The start of every body text BRepTools::Write makes.
const char kShapeHead[] = "\nCASCADE Topology V";
// A body whose reading takes longer than this (seconds of wall time or of processor time) is
// refused: our own bodies read in milliseconds.
constexpr int kReadSeconds = 3;
// Address space a reading child may grow to (not applied under the address sanitizer, which
// reserves far more than this up front).
constexpr rlim_t kReadMemory = rlim_t(2) << 30;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif

bool read_shape(const std::string &payload, TopoDS_Shape &shape) {
    std::istringstream in(payload);
    BRepTools::Read(shape, in, BRep_Builder());
    return !shape.IsNull();
}

// Whether a restored shape is sound: topologically valid (a solid also of positive volume) and
// within a box a body of the kernel's sizes could occupy.
bool sound_shape(const TopoDS_Shape &shape) {
    if (TopExp_Explorer(shape, TopAbs_SOLID).More()) {
        if (!valid_solid(shape))
            return false;
    } else if (!BRepCheck_Analyzer(shape).IsValid()) {
        return false;
    }
    Bnd_Box b;
    BRepBndLib::Add(shape, b);
    if (b.IsVoid())
        return false;
    double reach = kernel_max_reach();
    gp_Pnt lo = b.CornerMin(), hi = b.CornerMax();
    for (double c : {lo.X(), lo.Y(), lo.Z(), hi.X(), hi.Y(), hi.Z()})
        if (!is_finite(c) || std::fabs(c) > reach)
            return false;
    return true;
}

// Runs in the child: reads and checks every body, then ends with 0 when all are sound.
[[noreturn]] void check_in_child(const std::vector<std::string> &payloads) {
    // Nothing the reader prints may reach the parent's standard output (a CGI response), and its
    // complaints about a damaged body tell no more than the refusal does.
    int quiet = open("/dev/null", O_WRONLY);
    if (quiet >= 0) {
        dup2(quiet, STDOUT_FILENO);
        dup2(quiet, STDERR_FILENO);
    } else {
        dup2(STDERR_FILENO, STDOUT_FILENO);
    }
    for (int sig : {SIGSEGV, SIGBUS, SIGABRT, SIGFPE, SIGILL})
        std::signal(sig, SIG_DFL);
    rlimit cpu{kReadSeconds, kReadSeconds + 1};
    setrlimit(RLIMIT_CPU, &cpu);
    if (!kAddressSanitizer) {
        rlimit mem;
        if (getrlimit(RLIMIT_AS, &mem) == 0 &&
            (mem.rlim_cur == RLIM_INFINITY || mem.rlim_cur > kReadMemory)) {
            mem.rlim_cur = kReadMemory;
            setrlimit(RLIMIT_AS, &mem);
        }
    }
    try {
        for (const std::string &p : payloads) {
            TopoDS_Shape shape;
            if (!p.empty() && (!read_shape(p, shape) || !sound_shape(shape)))
                _exit(1);
        }
    } catch (...) {
        _exit(1);
    }
    _exit(0);
}

// Whether the body texts read as sound shapes, tried first in a child process: OCCT's reader
// trusts its input, and a damaged body can make it crash, run away or loop. The child is given
// kReadSeconds and kReadMemory; anything but a clean "all sound" from it refuses the file. The
// reader is deterministic, so the parent's own reading afterwards goes the same way.
// Whether every section of a body text announces no more items than the text has bytes: each
// item takes at least one, and a count beyond that would only send the reader looping.
bool counts_plausible(const std::string &payload) {
    static const char *const kSections[] = {
        "Locations ", "Curve2ds ",       "Curves ", "Polygon3D ", "PolygonOnTriangulations ",
        "Surfaces ",  "Triangulations ", "TShapes "};
    for (const char *section : kSections) {
        std::size_t at = payload.find(std::string("\n") + section);
        if (at == std::string::npos)
            continue;
        const char *digits = payload.c_str() + at + 1 + std::strlen(section);
        char *end = nullptr;
        unsigned long long n = std::strtoull(digits, &end, 10);
        if (end == digits || n > payload.size())
            return false;
    }
    return true;
}

bool payloads_safe(const std::vector<std::string> &payloads) {
    for (const std::string &p : payloads)
        if (!p.empty() &&
            (p.compare(0, sizeof kShapeHead - 1, kShapeHead) != 0 || !counts_plausible(p)))
            return false;
    std::fflush(nullptr); // the child must not inherit half-written output to flush twice
    pid_t child = fork();
    if (child < 0)
        return false;
    if (child == 0)
        check_in_child(payloads);
    timespec start;
    clock_gettime(CLOCK_MONOTONIC, &start);
    int status = 0;
    for (;;) {
        pid_t done = waitpid(child, &status, WNOHANG);
        if (done == child)
            break;
        timespec now;
        clock_gettime(CLOCK_MONOTONIC, &now);
        if (done < 0 || now.tv_sec - start.tv_sec > kReadSeconds) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            return false;
        }
        timespec pause{0, 1000000};
        nanosleep(&pause, nullptr);
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool parse_header(Reader &r, FileInfo &info, std::size_t &bodies) {
    std::string l;
    if (!r.line(l) || l != kMagic)
        return false;
    std::size_t len;
    if (!r.counted("product", len) || len > kMaxProductId)
        return false;
    std::string id;
    if (!r.take(1, l) || l != " " || !r.take(len, id) || !r.line(l) || !l.empty())
        return false;
    if (!r.line(l) || l.compare(0, 6, "units ") != 0)
        return false;
    char *end = nullptr;
    double units = std::strtod(l.c_str() + 6, &end);
    if (*end != '\0' || !is_finite(units))
        return false;
    info.set_product_id(id.c_str());
    info.set_units(units);
    return r.counted("bodies", bodies);
}

} // namespace

outcome api_set_file_info(unsigned mask, const FileInfo &info) {
    return guarded("api_set_file_info", [&] {
        if (mask & FILEINFO_PRODUCT_ID) {
            if (std::strlen(info.product_id()) > kMaxProductId)
                return fail(KERN_BAD_ARGUMENT, "api_set_file_info: product id too long");
            state().file_info.set_product_id(info.product_id());
        }
        if (mask & FILEINFO_UNITS) {
            if (!is_finite(info.units()) || info.units() <= 0)
                return fail(KERN_BAD_ARGUMENT, "api_set_file_info: bad units");
            state().file_info.set_units(info.units());
        }
        return outcome();
    });
}

const FileInfo &kernel_file_info() { return state().file_info; }

outcome api_save_entity_list(FILE *file, logical text, const ENTITY_LIST &list) {
    return guarded("api_save_entity_list", [&] {
        if (!file)
            return fail(KERN_FILE_ERROR, "api_save_entity_list: no file");
        if (text != 1)
            return fail(KERN_BAD_ARGUMENT, "api_save_entity_list: only text mode");
        std::vector<std::string> bodies;
        for (int i = 0; i < list.count(); ++i) {
            ENTITY *e = list[i];
            if (is_REFINEMENT(e))
                continue;
            if (!live_body(e))
                return fail(KERN_WRONG_TYPE, "api_save_entity_list: not a body");
            bodies.push_back(body_text(shape_of(e)));
        }
        const FileInfo &info = state().file_info;
        std::string out = std::string(kMagic) + "\nproduct " +
                          std::to_string(std::strlen(info.product_id())) + " " + info.product_id() +
                          "\n";
        char units[64];
        std::snprintf(units, sizeof units, "units %.17g\n", info.units());
        out += units;
        out += "bodies " + std::to_string(bodies.size()) + "\n";
        for (const std::string &b : bodies)
            out += "body " + std::to_string(b.size()) + "\n" + b + "\n";
        out += "end\n";
        state().saved_bodies.clear();
        if (std::fwrite(out.data(), 1, out.size(), file) != out.size() || std::fflush(file) != 0)
            return fail(KERN_FILE_ERROR, "api_save_entity_list: write failed");
        state().saved_bodies = std::move(bodies);
        return outcome();
    });
}

outcome api_restore_entity_list(FILE *file, logical text, ENTITY_LIST &list) {
    return guarded("api_restore_entity_list", [&] {
        if (!file)
            return fail(KERN_FILE_ERROR, "api_restore_entity_list: no file");
        if (text != 1)
            return fail(KERN_BAD_ARGUMENT, "api_restore_entity_list: only text mode");
        std::string content;
        if (!slurp(file, content))
            return fail(KERN_FILE_ERROR, "api_restore_entity_list: read failed");
        Reader r{content};
        FileInfo info;
        std::size_t count = 0;
        if (!parse_header(r, info, count) || count > content.size())
            return fail(KERN_BAD_FORMAT, "api_restore_entity_list: not a SAT file of ours");
        std::vector<std::string> payloads;
        for (std::size_t i = 0; i < count; ++i) {
            std::size_t n;
            std::string payload, rest;
            if (!r.counted("body", n) || !r.take(n, payload) || !r.line(rest) || !rest.empty())
                return fail(KERN_BAD_FORMAT, "api_restore_entity_list: truncated body");
            payloads.push_back(std::move(payload));
        }
        std::string l;
        if (!r.line(l) || l != "end")
            return fail(KERN_BAD_FORMAT, "api_restore_entity_list: no end");
        // A file holding exactly what this process last wrote is read without the child's check:
        // its bodies were sound shapes in memory, and the writer's text reads back the same.
        bool own = payloads == state().saved_bodies;
        if (!own && !payloads_safe(payloads))
            return fail(KERN_BAD_FORMAT, "api_restore_entity_list: damaged body");
        std::vector<TopoDS_Shape> shapes;
        for (const std::string &p : payloads) {
            TopoDS_Shape shape;
            if (!p.empty() && !read_shape(p, shape))
                return fail(KERN_BAD_FORMAT, "api_restore_entity_list: bad body");
            shapes.push_back(shape);
        }
        for (const TopoDS_Shape &s : shapes)
            list.add(new_body(s));
        return outcome();
    });
}
