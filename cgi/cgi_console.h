// Console test mode: a modeler started by hand (no REQUEST_METHOD) asks the operator for its
// fields on a terminal.
//
// The operator either types a query string, parsed into an ordinary store, or picks the
// interactive responder, which answers every lookup by printing a prompt and reading one line.
// The end of input counts as the answer "NULL" (no value, 0, no). No operation throws.
#ifndef ROVAK_CGI_CONSOLE_H
#define ROVAK_CGI_CONSOLE_H

#include <cstdio>
#include <list>
#include <memory>
#include <string>

#include "cgi_source.h"

// Reads one line from in without its line end; false at the end of input with nothing read.
bool cgiReadLine(std::FILE *in, std::string &line);

// Prints the test-mode prompt on out, reads one line from in and returns what answers the
// lookups: the interactive responder for a line starting with 'i', else a store holding that
// line parsed as a query string.
std::unique_ptr<CgiSource> cgiRunTestMode(std::FILE *in, std::FILE *out);

// Answers each lookup with the operator's line: "NULL" is no value, numbers are read as
// decimal integers, exists() is true only for "y". Every answer text stays valid until the
// responder is destroyed.
class CgiInteractiveResponder : public CgiSource {
  public:
    CgiInteractiveResponder(std::FILE *in, std::FILE *out) : in_(in), out_(out) {}
    int count() override;
    const char *fieldName(int position) override;
    bool exists(const char *name) override;
    int numValues(const char *name) override;
    const char *ask(CgiQuestion question, const char *name, int index) override;
    const char *ask(CgiQuestion question, int position) override;
    std::size_t length(const char *name, int index) override;
    std::size_t length(int position) override;
    void setCaseSensitive(bool on) override;

  private:
    void print(const std::string &text);
    // Reads the answer line; null for "NULL" or the end of input.
    const char *readText();
    long readNumber();

    std::FILE *in_;
    std::FILE *out_;
    std::list<std::string> answers_; // a list, so earlier answers never move
};

#endif
