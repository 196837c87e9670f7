/* Helpers of the scene tests: capturing a manager's text and the reference scene head. */
#ifndef ROVAK_VRML_TEST_UTIL_H
#define ROVAK_VRML_TEST_UTIL_H

#include <cstdio>
#include <cstdlib>
#include <string>

// A stream whose text can be taken after use.
class Capture {
  public:
    Capture() : file_(open_memstream(&buf_, &len_)) {}
    ~Capture() {
        if (file_)
            std::fclose(file_);
        std::free(buf_);
    }
    FILE *file() { return file_; }
    std::string text() {
        std::fflush(file_);
        return std::string(buf_, len_);
    }

  private:
    char *buf_ = nullptr;
    std::size_t len_ = 0;
    FILE *file_;
};

inline std::string readFile(const std::string &path) {
    std::string out;
    FILE *f = std::fopen(path.c_str(), "r");
    if (!f)
        return out;
    int c;
    while ((c = std::fgetc(f)) != EOF)
        out += char(c);
    std::fclose(f);
    return out;
}

inline int countOf(const std::string &text, const std::string &what) {
    int n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// The default scene head: header, world info, eight viewpoints, navigation, root transform.
extern const char *const kDefaultHead;
extern const char *const kTail;
extern const char *const kPlainAppearance;

#endif
