#include "cgi_console.h"

#include <climits>
#include <cstdlib>

#include "cgi_decode.h"

namespace {

std::string shown(const char *name) { return name ? name : "(null)"; }

// First piece of the by-name prompt of each text question.
const char *byNamePrompt(CgiQuestion question) {
    switch (question) {
    case CgiQuestion::Value:
        return "Please specify the value for field '";
    case CgiQuestion::Filepath:
        return "Please specify the filepath for field '";
    case CgiQuestion::Filename:
        return "Please specify the filename for field '";
    case CgiQuestion::ContentType:
        return "Please specify the content-type for field '";
    case CgiQuestion::DataSource:
        return "Enter the datasource of the value for fieldname '";
    }
    return "";
}

// First piece of the by-position prompt of each text question.
const char *byPositionPrompt(CgiQuestion question) {
    switch (question) {
    case CgiQuestion::Value:
        return "Please specify the value for field at index'";
    case CgiQuestion::Filepath:
        return "Please specify the filepath at position ";
    case CgiQuestion::Filename:
        return "Please specify the filename for field at position ";
    case CgiQuestion::ContentType:
        return "Please specify the content-type for field at position ";
    case CgiQuestion::DataSource:
        return "Enter the datasource of the value (cookie, path, form) for fieldname at position ";
    }
    return "";
}

} // namespace

bool cgiReadLine(std::FILE *in, std::string &line) {
    line.clear();
    int c = EOF;
    while ((c = std::getc(in)) != EOF && c != '\n')
        line += static_cast<char>(c);
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return c != EOF || !line.empty();
}

std::unique_ptr<CgiSource> cgiRunTestMode(std::FILE *in, std::FILE *out) {
    std::fputs("Enter querystring or type 'i' for interactive mode'\n", out);
    std::fflush(out);
    std::string line;
    try {
        cgiReadLine(in, line);
        if (!line.empty() && line[0] == 'i')
            return std::make_unique<CgiInteractiveResponder>(in, out);
        auto store = std::make_unique<CgiFieldStore>();
        cgiParsePairs(*store, line, "&\n", '=', CgiTextKind::Form);
        return std::make_unique<CgiStoreSource>(std::move(store));
    } catch (...) {
        return nullptr;
    }
}

void CgiInteractiveResponder::print(const std::string &text) {
    std::fputs(text.c_str(), out_);
    std::fflush(out_);
}

const char *CgiInteractiveResponder::readText() {
    try {
        std::string line;
        if (!cgiReadLine(in_, line) || line == "NULL")
            return nullptr;
        answers_.push_back(std::move(line));
        return answers_.back().c_str();
    } catch (...) {
        return nullptr;
    }
}

long CgiInteractiveResponder::readNumber() {
    const char *text = readText();
    if (text == nullptr)
        return 0;
    // Read like atoi, but an out-of-range number is clamped instead of being undefined.
    long n = std::strtol(text, nullptr, 10);
    if (n > INT_MAX)
        return INT_MAX;
    return n < INT_MIN ? INT_MIN : n;
}

int CgiInteractiveResponder::count() {
    print("Enter the number of data objects that exist:");
    return static_cast<int>(readNumber());
}

const char *CgiInteractiveResponder::fieldName(int position) {
    print("Please specify the fieldname at position " + std::to_string(position) + " (from 0)\n");
    return readText();
}

bool CgiInteractiveResponder::exists(const char *name) {
    print("Does the field '" + shown(name) + "' exist? (y|n)");
    const char *answer = readText();
    bool yes = answer != nullptr && std::string(answer) == "y";
    print(yes ? "Returning true\n" : "Returning false\n");
    return yes;
}

int CgiInteractiveResponder::numValues(const char *name) {
    if (name == nullptr) {
        print("The program asked the number of values for a NULL fieldname\n");
        return 0;
    }
    print("Enter the number of values that exist for fieldname '" + std::string(name) + "'\n");
    return static_cast<int>(readNumber());
}

const char *CgiInteractiveResponder::ask(CgiQuestion question, const char *name, int index) {
    std::string prompt = byNamePrompt(question) + shown(name) + "'  at position " +
                         std::to_string(index) + " (from 0)\n";
    if (question == CgiQuestion::Value)
        prompt += "OR enter NULL for none";
    print(prompt);
    return readText();
}

const char *CgiInteractiveResponder::ask(CgiQuestion question, int position) {
    std::string prompt = byPositionPrompt(question) + std::to_string(position);
    prompt += question == CgiQuestion::Value ? "'\nOR enter NULL for none" : " (from 0)\n";
    print(prompt);
    return readText();
}

std::size_t CgiInteractiveResponder::length(const char *name, int index) {
    if (name == nullptr) {
        print("The program asked the length of a field's value for a NULL field\n");
        return 0;
    }
    print("Enter the length of the value for fieldname '" + std::string(name) + " at position " +
          std::to_string(index) + " (from 0)'\n");
    long n = readNumber();
    return n > 0 ? static_cast<std::size_t>(n) : 0;
}

std::size_t CgiInteractiveResponder::length(int position) {
    print("Enter the length of the value for fieldname at position " + std::to_string(position) +
          " (from 0)\n");
    long n = readNumber();
    return n > 0 ? static_cast<std::size_t>(n) : 0;
}

void CgiInteractiveResponder::setCaseSensitive(bool on) {
    print(std::string("Case sensitivity has been turned ") + (on ? "on\n" : "off\n"));
}
