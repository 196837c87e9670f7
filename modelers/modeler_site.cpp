/* Form fields, output files and the redirect of the two modelers. */
#include "modeler_site.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "cgi_parser.h"
#include "satvrml.h"

namespace {

// True for a non-empty text made only of what a host name, an IP literal and a port may hold.
bool hostLike(const char *text) {
    if (!text || !*text)
        return false;
    for (const char *c = text; *c; ++c) {
        unsigned char u = static_cast<unsigned char>(*c);
        if (!std::isalnum(u) && u != '.' && u != '-' && u != '_' && u != ':' && u != '[' &&
            u != ']')
            return false;
    }
    return true;
}

bool digitsOnly(const char *text) {
    if (!text || !*text)
        return false;
    for (const char *c = text; *c; ++c)
        if (!std::isdigit(static_cast<unsigned char>(*c)))
            return false;
    return true;
}

} // namespace

const char *modelerField(const char *name) {
    const char *value = CgiParser::instance().value(name);
    return value ? value : "";
}

double modelerNumber(const char *name) { return std::atof(modelerField(name)); }

int modelerInteger(const char *name) { return std::atoi(modelerField(name)); }

std::string modelerSatPath(const char *name) {
    return std::string("../htdocs/acis1/sats/") + name + ".sat";
}

std::string modelerWrlPath(const char *name) {
    return std::string("../htdocs/acis1/wrls/") + name + ".wrl";
}

std::string modelerHost() {
    const char *host = std::getenv("HTTP_HOST");
    if (hostLike(host))
        return host;
    const char *server = std::getenv("SERVER_NAME");
    if (hostLike(server)) {
        const char *port = std::getenv("SERVER_PORT");
        std::string result = server;
        if (digitsOnly(port) && std::string(port) != "80")
            result += std::string(":") + port;
        return result;
    }
    return "localhost";
}

void modelerWriteFiles(const char *name, BODY *body) {
    std::string sat = modelerSatPath(name);
    saveSatFile(sat.c_str(), body);
    satToVrml(sat.c_str(), modelerWrlPath(name).c_str());
}

void modelerRedirect(const char *name) {
    std::printf("Location: http://%s/acis1/shtml/desenha%s.shtml\n\n", modelerHost().c_str(), name);
    std::fflush(stdout);
}
