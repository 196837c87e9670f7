// Child-process runner of the modelers for their integration tests.
#include "modeler_run.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace modelertest {

namespace {

const int kTimeoutSeconds = 120;

void removeTree(const std::string &path) {
    DIR *d = opendir(path.c_str());
    if (d) {
        while (dirent *e = readdir(d)) {
            std::string name = e->d_name;
            if (name == "." || name == "..")
                continue;
            std::string child = path + "/" + name;
            struct stat st;
            if (lstat(child.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
                removeTree(child);
            else
                unlink(child.c_str());
        }
        closedir(d);
    }
    rmdir(path.c_str());
}

std::vector<std::string> listDir(const std::string &path) {
    std::vector<std::string> names;
    if (DIR *d = opendir(path.c_str())) {
        while (dirent *e = readdir(d))
            if (e->d_name[0] != '.')
                names.push_back(e->d_name);
        closedir(d);
    }
    return names;
}

// The parts of the test's own environment that the child needs: where to find programs and how
// the sanitizers should behave.
void addInherited(std::vector<std::string> &env) {
    for (const char *name : {"PATH", "ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"})
        if (const char *v = std::getenv(name))
            env.push_back(std::string(name) + "=" + v);
}

} // namespace

RunDir::RunDir() {
    const char *tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/modelers.XXXXXX";
    if (!mkdtemp(&pattern[0]))
        throw std::runtime_error("mkdtemp failed");
    root_ = pattern;
    for (const char *sub :
         {"/cgi-bin", "/htdocs", "/htdocs/acis1", "/htdocs/acis1/sats", "/htdocs/acis1/wrls"})
        mkdir((root_ + sub).c_str(), 0755);
}

RunDir::~RunDir() { removeTree(root_); }

std::string RunDir::satPath(const std::string &name) const {
    return root_ + "/htdocs/acis1/sats/" + name + ".sat";
}

std::string RunDir::wrlPath(const std::string &name) const {
    return root_ + "/htdocs/acis1/wrls/" + name + ".wrl";
}

std::string RunDir::recordPath(const std::string &name) const {
    return root_ + "/htdocs/acis1/sats/" + name + ".json";
}

std::vector<std::string> RunDir::outputFiles() const {
    std::vector<std::string> names;
    auto endsWith = [](const std::string &n, const char *tail) {
        std::size_t t = std::char_traits<char>::length(tail);
        return n.size() >= t && n.compare(n.size() - t, t, tail) == 0;
    };
    for (const char *folder : {"/htdocs/acis1/sats", "/htdocs/acis1/wrls"})
        for (const std::string &n : listDir(root_ + folder))
            if (!endsWith(n, ".lock") && !endsWith(n, ".json"))
                names.push_back(n);
    return names;
}

pid_t RunDir::start(const std::string &program, const std::vector<std::string> &env,
                    const std::string &body, const std::string &tag, long addressSpace) const {
    std::string in = root_ + "/stdin" + tag, out = root_ + "/stdout" + tag,
                err = root_ + "/stderr" + tag;
    std::ofstream(in, std::ios::binary) << body;
    std::vector<std::string> entries = env;
    addInherited(entries);
    std::vector<char *> envp;
    for (std::string &e : entries)
        envp.push_back(&e[0]);
    envp.push_back(nullptr);
    std::string cgiBin = root_ + "/cgi-bin";

    pid_t pid = fork();
    if (pid == 0) {
        int fi = open(in.c_str(), O_RDONLY);
        int fo = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int fe = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fi < 0 || fo < 0 || fe < 0 || chdir(cgiBin.c_str()) != 0)
            _exit(126);
        dup2(fi, 0), dup2(fo, 1), dup2(fe, 2);
        if (addressSpace > 0) {
            rlimit limit{rlim_t(addressSpace), rlim_t(addressSpace)};
            setrlimit(RLIMIT_AS, &limit);
        }
        char *argv[] = {const_cast<char *>(program.c_str()), nullptr};
        execve(program.c_str(), argv, envp.data());
        _exit(127);
    }
    return pid;
}

Result RunDir::finish(pid_t pid, const std::string &tag) const {
    Result r;
    int status = 0;
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(kTimeoutSeconds);
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > until) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            status = -1;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    r.status = status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = readFile(root_ + "/stdout" + tag);
    r.err = readFile(root_ + "/stderr" + tag);
    return r;
}

Result RunDir::run(const std::string &program, const std::vector<std::string> &env,
                   const std::string &body, long addressSpace) const {
    return finish(start(program, env, body, "", addressSpace), "");
}

std::vector<std::string> getRequest(const std::string &query) {
    return {"GATEWAY_INTERFACE=CGI/1.1", "REQUEST_METHOD=GET", "QUERY_STRING=" + query};
}

std::vector<std::string> postRequest(const std::string &contentType, const std::string &body) {
    return {"GATEWAY_INTERFACE=CGI/1.1", "REQUEST_METHOD=POST", "CONTENT_TYPE=" + contentType,
            "CONTENT_LENGTH=" + std::to_string(body.size())};
}

std::string multipartBody(const std::vector<std::pair<std::string, std::string>> &fields,
                          const std::string &boundary) {
    std::string body;
    for (const auto &f : fields)
        body += "--" + boundary + "\r\nContent-Disposition: form-data; name=\"" + f.first +
                "\"\r\n\r\n" + f.second + "\r\n";
    return body + "--" + boundary + "--\r\n";
}

std::string readFile(const std::string &path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

namespace {

// Reads a JSON string at text[at] (its quotes included) into out, undoing its escapes; false when
// it is not one (a raw control character, an unknown escape, no closing quote).
bool jsonString(const std::string &text, std::size_t &at, std::string &out) {
    if (at >= text.size() || text[at] != '"')
        return false;
    out.clear();
    for (++at; at < text.size(); ++at) {
        char c = text[at];
        if (c == '"') {
            ++at;
            return true;
        }
        if (static_cast<unsigned char>(c) < 0x20)
            return false;
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++at >= text.size())
            return false;
        static const std::string simple = "\"\\/bfnrt", meant = "\"\\/\b\f\n\r\t";
        std::size_t k = simple.find(text[at]);
        if (k != std::string::npos) {
            out += meant[k];
        } else if (text[at] == 'u' && at + 4 < text.size() &&
                   text.find_first_not_of("0123456789abcdefABCDEF", at + 1) >= at + 5) {
            out += static_cast<char>(std::stoi(text.substr(at + 1, 4), nullptr, 16));
            at += 4;
        } else {
            return false;
        }
    }
    return false;
}

// Takes the literal word at text[at].
bool literal(const std::string &text, std::size_t &at, const std::string &word) {
    if (text.compare(at, word.size(), word) != 0)
        return false;
    at += word.size();
    return true;
}

} // namespace

Record readRecord(const std::string &path) {
    Record r;
    std::ifstream in(path, std::ios::binary);
    r.present = static_cast<bool>(in);
    if (!r.present)
        return r;
    r.text = readFile(path);
    // Exactly {"shape":S,"built":B,"reason":S,"time":S,"request":S} and a line feed.
    const std::string &t = r.text;
    std::size_t at = 0;
    bool ok = literal(t, at, "{\"shape\":") && jsonString(t, at, r.shape) &&
              literal(t, at, ",\"built\":");
    if (ok && literal(t, at, "true"))
        r.built = true;
    else
        ok = ok && literal(t, at, "false");
    ok = ok && literal(t, at, ",\"reason\":") && jsonString(t, at, r.reason) &&
         literal(t, at, ",\"time\":") && jsonString(t, at, r.time) &&
         literal(t, at, ",\"request\":") && jsonString(t, at, r.request) && literal(t, at, "}\n") &&
         at == t.size();
    r.wellFormed = ok;
    return r;
}

long long recordTimeMs(const std::string &time) {
    std::tm t = {};
    int ms = -1;
    char z = 0;
    if (std::sscanf(time.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d.%3d%c", &t.tm_year, &t.tm_mon,
                    &t.tm_mday, &t.tm_hour, &t.tm_min, &t.tm_sec, &ms, &z) != 8 ||
        z != 'Z' || time.size() != 24)
        return -1;
    t.tm_year -= 1900;
    t.tm_mon -= 1;
    return static_cast<long long>(timegm(&t)) * 1000 + ms;
}

long long nowMs() {
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

} // namespace modelertest
