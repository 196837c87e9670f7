/* The Solid program: a shape's measures, its STEP file and its STL file. */
#include "solid.h"

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

#include "cgi_parser.h"
#include "kernel.h"
#include "kernel_export.h"
#include "modeler_fcgi.h"
#include "modeler_lock.h"
#include "modeler_site.h"

namespace {

const char *const kShapes[] = {"paralelepipedo", "cilindro", "cone", "esfera", "torus",
                               "prisma",         "piramide", "cruz", "cunha",  "eixo"};

const char kNothingBuilt[] = "No solid has been built for this shape yet.";
const char kNoReason[] = "The last request for this shape built no solid.";

enum Format { FORMAT_JSON, FORMAT_STEP, FORMAT_STL };

// ---- the status record's JSON ----

std::size_t skipBlanks(const std::string &t, std::size_t i) {
    while (i < t.size() && (t[i] == ' ' || t[i] == '\t' || t[i] == '\n' || t[i] == '\r'))
        ++i;
    return i;
}

bool isHex(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

// Length of the well-formed UTF-8 sequence at t[i] (a lead byte of 0x80 or more), or 0.
std::size_t utf8Length(const std::string &t, std::size_t i) {
    unsigned char c = static_cast<unsigned char>(t[i]);
    std::size_t n = c >= 0xC2 && c <= 0xDF   ? 2
                    : c >= 0xE0 && c <= 0xEF ? 3
                    : c >= 0xF0 && c <= 0xF4 ? 4
                                             : 0;
    if (n == 0 || i + n > t.size())
        return 0;
    unsigned char second = static_cast<unsigned char>(t[i + 1]);
    // Overlong forms, UTF-16 surrogates and code points past U+10FFFF.
    if ((c == 0xE0 && second < 0xA0) || (c == 0xED && second > 0x9F) ||
        (c == 0xF0 && second < 0x90) || (c == 0xF4 && second > 0x8F))
        return 0;
    for (std::size_t k = 1; k < n; ++k)
        if ((static_cast<unsigned char>(t[i + k]) & 0xC0) != 0x80)
            return 0;
    return n;
}

// The index just past the JSON string literal starting at t[i], or npos when there is none.
std::size_t scanString(const std::string &t, std::size_t i) {
    if (i >= t.size() || t[i] != '"')
        return std::string::npos;
    for (++i; i < t.size();) {
        unsigned char c = static_cast<unsigned char>(t[i]);
        if (c == '"')
            return i + 1;
        if (c < 0x20)
            return std::string::npos;
        if (c == '\\') {
            if (i + 1 >= t.size())
                return std::string::npos;
            char e = t[i + 1];
            if (e == 'u') {
                if (i + 6 > t.size() || !isHex(t[i + 2]) || !isHex(t[i + 3]) || !isHex(t[i + 4]) ||
                    !isHex(t[i + 5]))
                    return std::string::npos;
                i += 6;
            } else if (e != '\0' && std::strchr("\"\\/bfnrt", e)) {
                i += 2;
            } else {
                return std::string::npos;
            }
        } else if (c >= 0x80) {
            std::size_t n = utf8Length(t, i);
            if (n == 0)
                return std::string::npos;
            i += n;
        } else {
            ++i;
        }
    }
    return std::string::npos;
}

// The index just past the number, true, false or null at t[i], or npos.
std::size_t scanScalar(const std::string &t, std::size_t i) {
    for (const char *word : {"true", "false", "null"})
        if (t.compare(i, std::strlen(word), word) == 0)
            return i + std::strlen(word);
    std::size_t start = i;
    while (i < t.size() && t[i] != '\0' && std::strchr("+-.0123456789eE", t[i]))
        ++i;
    return i > start ? i : std::string::npos;
}

// Reads one "key": value member at t[i] into status; returns the index past it or npos.
std::size_t scanMember(const std::string &t, std::size_t i, SolidStatus &status, bool &sawBuilt) {
    std::size_t keyEnd = scanString(t, i);
    if (keyEnd == std::string::npos)
        return keyEnd;
    std::string key = t.substr(i, keyEnd - i);
    i = skipBlanks(t, keyEnd);
    if (i >= t.size() || t[i] != ':')
        return std::string::npos;
    i = skipBlanks(t, i + 1);
    bool text = i < t.size() && t[i] == '"';
    std::size_t end = text ? scanString(t, i) : scanScalar(t, i);
    if (end == std::string::npos)
        return end;
    std::string value = t.substr(i, end - i);
    if (key == "\"built\"") {
        if (value != "true" && value != "false")
            return std::string::npos;
        status.built = value == "true";
        sawBuilt = true;
    } else if (key == "\"reason\"" && text) {
        status.reason = value;
    }
    return end;
}

// ---- files ----

enum ReadResult { READ_OK, READ_MISSING, READ_TOO_LONG, READ_FAILED };

// Reads the whole file at path into text, at most limit bytes.
ReadResult readBounded(const std::string &path, std::size_t limit, std::string &text) {
    text.clear();
    std::FILE *f = std::fopen(path.c_str(), "rb");
    if (!f)
        return errno == ENOENT ? READ_MISSING : READ_FAILED;
    char chunk[65536];
    std::size_t n;
    ReadResult result = READ_OK;
    while (result == READ_OK && (n = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
        if (text.size() + n > limit)
            result = READ_TOO_LONG;
        else
            text.append(chunk, n);
    }
    if (result == READ_OK && std::ferror(f))
        result = READ_FAILED;
    std::fclose(f);
    return result;
}

// The shape's status record and SAT file, read together under the shape's lock.
struct ShapeFiles {
    SolidStatus status; // status.known is false without a record
    bool haveSat = false;
    std::string sat;
};

[[noreturn]] void failUnreadable() {
    modelerFail(500, "Internal Server Error", "The shape's files cannot be read.");
}

ShapeFiles readShapeFiles(const char *shape) {
    ShapeFiles files;
    ModelerLock lock(modelerLockPath(shape), SOLID_LOCK_WAIT_MS, ModelerLock::SHARED);
    if (lock.state() == ModelerLock::BUSY)
        modelerFail(503, "Service Unavailable", "The shape is being built by another request.");
    if (lock.state() != ModelerLock::HELD)
        failUnreadable();
    std::string record;
    ReadResult r = readBounded(modelerRecordPath(shape), SOLID_MAX_RECORD, record);
    if (r != READ_OK && r != READ_MISSING)
        failUnreadable();
    // A record that cannot be read as one is treated like a missing one: the SAT file decides.
    if (r == READ_OK)
        files.status = solidParseStatus(record);
    if (files.status.known && !files.status.built)
        return files;
    r = readBounded(modelerSatPath(shape), SOLID_MAX_SAT, files.sat);
    if (r != READ_OK && r != READ_MISSING)
        failUnreadable();
    files.haveSat = r == READ_OK;
    return files;
}

// ---- the kernel ----

// Starts the modeller for one request and stops it again however the request ends.
class ModellerSpan {
  public:
    ModellerSpan() { started_ = api_start_modeller(0).ok(); }
    ~ModellerSpan() {
        if (started_)
            api_stop_modeller();
    }
    ModellerSpan(const ModellerSpan &) = delete;
    ModellerSpan &operator=(const ModellerSpan &) = delete;
    bool started() const { return started_; }

  private:
    bool started_;
};

// The first body of the SAT text that holds a solid, or null when there is none. A text the
// kernel refuses ends the request.
BODY *restoreSolid(const std::string &sat) {
    std::FILE *f = fmemopen(const_cast<char *>(sat.data()), sat.size(), "r");
    if (!f)
        throw std::bad_alloc();
    ENTITY_LIST list;
    outcome restored = api_restore_entity_list(f, 1, list);
    std::fclose(f);
    if (restored.error_number() == KERN_OUT_OF_MEMORY)
        throw std::bad_alloc();
    if (!restored.ok())
        failUnreadable();
    kernel_measures m;
    for (int i = 0; i < list.count(); ++i)
        if (is_BODY(list[i]) && kernel_measure_body(static_cast<BODY *>(list[i]), m).ok())
            return static_cast<BODY *>(list[i]);
    return nullptr;
}

[[noreturn]] void failKernel(const outcome &result, const char *text) {
    if (result.error_number() == KERN_OUT_OF_MEMORY)
        throw std::bad_alloc();
    modelerFail(500, "Internal Server Error", text);
}

// ---- answers ----

void writeAll(std::FILE *out, const std::string &bytes) {
    std::fwrite(bytes.data(), 1, bytes.size(), out);
    std::fflush(out);
}

void answerJson(const std::string &body) {
    std::FILE *out = modelerResponse();
    std::fprintf(out,
                 "Status: 200 OK\nContent-Type: application/json\nCache-Control: no-store\n"
                 "Content-Length: %zu\n\n",
                 body.size());
    writeAll(out, body);
}

void answerNotBuilt(const char *shape, Format format, const std::string &reason) {
    if (format != FORMAT_JSON)
        modelerFail(404, "Not Found", "No solid is built for this shape.");
    answerJson(std::string("{\"shape\":\"") + shape + "\",\"built\":false,\"reason\":" + reason +
               "}");
}

void answerDownload(const char *shape, Format format, const std::string &bytes) {
    bool step = format == FORMAT_STEP;
    std::FILE *out = modelerResponse();
    std::fprintf(out,
                 "Status: 200 OK\nContent-Type: %s\nContent-Disposition: attachment; "
                 "filename=\"%s.%s\"\nCache-Control: no-store\nContent-Length: %zu\n\n",
                 step ? "model/step" : "model/stl", shape, step ? "step" : "stl", bytes.size());
    writeAll(out, bytes);
}

void answerMeasures(const char *shape, BODY *body) {
    kernel_measures m;
    outcome measured = kernel_measure_body(body, m);
    if (!measured.ok())
        failKernel(measured, "The solid cannot be measured.");
    long triangles = 0;
    outcome counted = kernel_count_triangles(body, triangles);
    if (!counted.ok())
        failKernel(counted, "The solid cannot be faceted.");
    const box &b = m.bounds;
    double values[] = {m.volume,    m.area,       b.low().x(),  b.low().y(),
                       b.low().z(), b.high().x(), b.high().y(), b.high().z()};
    for (double v : values)
        if (!std::isfinite(v) || b.empty())
            modelerFail(500, "Internal Server Error", "The solid cannot be measured.");
    std::string json = std::string("{\"shape\":\"") + shape +
                       "\",\"built\":true,\"volume\":" + solidNumber(m.volume) +
                       ",\"area\":" + solidNumber(m.area) + ",\"box\":[";
    for (int i = 2; i < 8; ++i)
        json += solidNumber(values[i]) + (i < 7 ? "," : "]");
    answerJson(json + ",\"triangles\":" + std::to_string(triangles) + "}");
}

// The folder for temporary files: TMPDIR when set, else /tmp.
std::string tempFolder() {
    const char *dir = std::getenv("TMPDIR");
    return dir && *dir ? dir : "/tmp";
}

// An open, nameless temporary file and a path the writer can open it by: a killed request then
// leaves nothing behind. Where the file system has no nameless files, a named one whose name
// is removed as soon as the writer is done. The path is empty when no file can be made.
struct StepFile {
    int fd = -1;
    std::string path;
    bool named = false;
};

StepFile openStepFile() {
    StepFile f;
    std::string folder = tempFolder();
    f.fd = open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (f.fd >= 0) {
        f.path = "/proc/self/fd/" + std::to_string(f.fd);
        if (access(f.path.c_str(), W_OK) == 0)
            return f;
        close(f.fd); // no /proc: fall back to a named file
    }
    f.path = folder + "/rovak-solid-XXXXXX";
    f.fd = mkostemp(&f.path[0], O_CLOEXEC);
    f.named = f.fd >= 0;
    if (f.fd < 0)
        f.path.clear();
    return f;
}

// The STEP text of body, through a temporary file (the writer needs one).
std::string stepBytes(BODY *body, const char *shape) {
    StepFile file = openStepFile();
    if (file.fd < 0)
        modelerFail(500, "Internal Server Error", "No temporary file can be made.");
    int fd = file.fd;
    const std::string &path = file.path;
    outcome written = kernel_write_step(body, shape, path.c_str());
    if (file.named)
        unlink(path.c_str());
    std::string bytes;
    struct stat st;
    bool read = written.ok() && fstat(fd, &st) == 0 && st.st_size >= 0;
    if (read) {
        bytes.resize(static_cast<std::size_t>(st.st_size));
        read = pread(fd, &bytes[0], bytes.size(), 0) == static_cast<ssize_t>(bytes.size());
    }
    close(fd);
    if (!written.ok())
        failKernel(written, "The solid cannot be written as STEP.");
    if (!read)
        modelerFail(500, "Internal Server Error", "The STEP file cannot be read back.");
    return bytes;
}

std::string stlBytes(BODY *body, const char *shape) {
    std::string bytes;
    long triangles = 0;
    std::string header = std::string("Rovak ") + shape + ", millimetres";
    outcome written = kernel_write_stl(body, header.c_str(), bytes, triangles);
    if (!written.ok())
        failKernel(written, "The solid cannot be written as STL.");
    return bytes;
}

// ---- the request ----

// Whether the query holds an encoded NUL byte: the form's values end there, so "cilindro%00.sat"
// would read as "cilindro".
bool queryHoldsNul() {
    const char *query = modelerEnv("QUERY_STRING");
    for (const char *c = query ? std::strchr(query, '%') : nullptr; c; c = std::strchr(c + 1, '%'))
        if (c[1] == '0' && c[2] == '0')
            return true;
    return false;
}

const char *requestedShape() {
    if (queryHoldsNul())
        return nullptr;
    return solidShapeName(CgiParser::instance().value("shape"));
}

Format requestedFormat() {
    const char *text = CgiParser::instance().value("format");
    if (text && std::strcmp(text, "json") == 0)
        return FORMAT_JSON;
    if (text && std::strcmp(text, "step") == 0)
        return FORMAT_STEP;
    if (text && std::strcmp(text, "stl") == 0)
        return FORMAT_STL;
    modelerFail(400, "Bad Request", "The format must be json, step or stl.");
}

void checkRequest() {
    const char *method = modelerEnv("REQUEST_METHOD");
    if (!method || std::strcmp(method, "GET") != 0)
        modelerFail(405, "Method Not Allowed", "Only GET is served here.");
    const char *query = modelerEnv("QUERY_STRING");
    if (query && std::strlen(query) > SOLID_MAX_QUERY)
        modelerFail(414, "Request-URI Too Long", "The query is longer than this site accepts.");
    modelerCheckRequest();
}

void serve() {
    checkRequest();
    const char *shape = requestedShape();
    if (!shape)
        modelerFail(404, "Not Found", "There is no such shape.");
    Format format = requestedFormat();
    ShapeFiles files = readShapeFiles(shape);
    if (files.status.known && !files.status.built)
        return answerNotBuilt(shape, format,
                              files.status.reason.empty() ? std::string("\"") + kNoReason + "\""
                                                          : files.status.reason);
    if (!files.haveSat)
        return answerNotBuilt(shape, format, std::string("\"") + kNothingBuilt + "\"");
    ModellerSpan span;
    if (!span.started())
        throw std::bad_alloc();
    BODY *body = restoreSolid(files.sat);
    if (kernel_ran_out_of_memory())
        throw std::bad_alloc();
    if (!body)
        return answerNotBuilt(shape, format, std::string("\"") + kNothingBuilt + "\"");
    if (format == FORMAT_JSON)
        return answerMeasures(shape, body);
    answerDownload(shape, format,
                   format == FORMAT_STEP ? stepBytes(body, shape) : stlBytes(body, shape));
}

} // namespace

const char *solidShapeName(const char *text) {
    if (!text)
        return nullptr;
    for (const char *name : kShapes)
        if (std::strcmp(text, name) == 0)
            return name;
    return nullptr;
}

SolidStatus solidParseStatus(const std::string &text) {
    SolidStatus status;
    bool sawBuilt = false;
    std::size_t i = skipBlanks(text, 0);
    if (i >= text.size() || text[i] != '{')
        return SolidStatus();
    i = skipBlanks(text, i + 1);
    bool first = true;
    while (i < text.size() && text[i] != '}') {
        if (!first) {
            if (text[i] != ',')
                return SolidStatus();
            i = skipBlanks(text, i + 1);
        }
        i = scanMember(text, i, status, sawBuilt);
        if (i == std::string::npos)
            return SolidStatus();
        i = skipBlanks(text, i);
        first = false;
    }
    if (i >= text.size() || skipBlanks(text, i + 1) != text.size() || !sawBuilt)
        return SolidStatus();
    status.known = true;
    return status;
}

std::string solidNumber(double v) {
    char text[64];
    std::to_chars_result r = std::to_chars(text, text + sizeof text, v);
    return std::string(text, r.ptr);
}

int main() { return modelerMain(serve); }
