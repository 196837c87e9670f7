// Test driver: parses its own CGI request through CgiParser::instance() and answers the lookups
// named on its command line, one line each, on standard output.
//
//   dump                     every field by position
//   count | version | refusal (the CgiRefusal as a number) | reset (parse again, then count)
//   case on|off
//   <lookup> NAME            value, length, filename, filepath, type, source, exists, num
//   <lookup>i NAME INDEX     the index-th field of that name
//   <lookup>p POSITION       the field at that position (also: name P)
// NAME "(null)" passes a null name. Null answers print as (null); bytes outside printable ASCII
// print as \xHH.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cgi_parser.h"

namespace {

std::string shown(const char *text, std::size_t length) {
    if (text == nullptr)
        return "(null)";
    std::string out;
    for (std::size_t i = 0; i < length; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c < 0x7f && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        }
    }
    return out;
}

std::string shown(const char *text) { return shown(text, text ? std::strlen(text) : 0); }

const char *nameArg(const char *arg) { return std::strcmp(arg, "(null)") == 0 ? nullptr : arg; }

void dump(const CgiParser &cgi) {
    for (int p = 0; p < cgi.count(); ++p)
        std::printf("[%d] name=%s value=%s length=%zu filename=%s filepath=%s type=%s source=%s\n",
                    p, shown(cgi.fieldName(p)).c_str(), shown(cgi.value(p), cgi.length(p)).c_str(),
                    cgi.length(p), shown(cgi.filename(p)).c_str(), shown(cgi.filepath(p)).c_str(),
                    shown(cgi.contentType(p)).c_str(), shown(cgi.dataSource(p)).c_str());
}

// Runs one text lookup in the form its suffix names; returns how many arguments it used.
int textLookup(const CgiParser &cgi, const std::string &cmd, char **args, int left,
               std::string &result) {
    using ByName = const char *(CgiParser::*)(const char *, int) const;
    using ByPosition = const char *(CgiParser::*)(int) const;
    struct Entry {
        const char *word;
        ByName byName;
        ByPosition byPosition;
    };
    static const Entry entries[] = {
        {"value", &CgiParser::value, &CgiParser::value},
        {"filename", &CgiParser::filename, &CgiParser::filename},
        {"filepath", &CgiParser::filepath, &CgiParser::filepath},
        {"type", &CgiParser::contentType, &CgiParser::contentType},
        {"source", &CgiParser::dataSource, &CgiParser::dataSource},
    };
    for (const Entry &e : entries) {
        std::string word = e.word;
        if (cmd == word && left >= 1) {
            result = shown((cgi.*e.byName)(nameArg(args[0]), 0));
            return 1;
        }
        if (cmd == word + "i" && left >= 2) {
            result = shown((cgi.*e.byName)(nameArg(args[0]), std::atoi(args[1])));
            return 2;
        }
        if (cmd == word + "p" && left >= 1) {
            result = shown((cgi.*e.byPosition)(std::atoi(args[0])));
            return 1;
        }
    }
    return -1;
}

// Runs the command at argv[i]; returns the index of the next one.
int run(CgiParser &cgi, char **argv, int i, int argc) {
    std::string cmd = argv[i++];
    int left = argc - i;
    std::string result;
    if (cmd == "dump") {
        dump(cgi);
        return i;
    }
    if (cmd == "count") {
        result = std::to_string(cgi.count());
    } else if (cmd == "version") {
        result = CgiParser::version();
    } else if (cmd == "refusal") {
        result = std::to_string(static_cast<int>(cgi.refusal()));
    } else if (cmd == "reset") {
        CgiParser::reset();
        result = std::to_string(CgiParser::instance().count()); // parsed again
    } else if (cmd == "case" && left >= 1) {
        cgi.setCaseSensitive(std::strcmp(argv[i++], "on") == 0);
        return i;
    } else if (cmd == "name" && left >= 1) {
        result = shown(cgi.fieldName(std::atoi(argv[i++])));
    } else if (cmd == "exists" && left >= 1) {
        result = cgi.exists(nameArg(argv[i++])) ? "true" : "false";
    } else if (cmd == "num" && left >= 1) {
        result = std::to_string(cgi.numValues(nameArg(argv[i++])));
    } else if (cmd == "length" && left >= 1) {
        result = std::to_string(cgi.length(nameArg(argv[i++])));
    } else if (cmd == "lengthi" && left >= 2) {
        result = std::to_string(cgi.length(nameArg(argv[i]), std::atoi(argv[i + 1])));
        i += 2;
    } else if (cmd == "lengthp" && left >= 1) {
        result = std::to_string(cgi.length(std::atoi(argv[i++])));
    } else {
        int used = textLookup(cgi, cmd, argv + i, left, result);
        if (used < 0) {
            std::printf("bad command %s\n", cmd.c_str());
            std::exit(2);
        }
        i += used;
    }
    std::printf("%s=%s\n", cmd.c_str(), result.c_str());
    return i;
}

} // namespace

int main(int argc, char **argv) {
    CgiParser &cgi = CgiParser::instance();
    for (int i = 1; i < argc;)
        i = run(cgi, argv, i, argc);
    std::fflush(stdout);
    return 0;
}
