// A locale whose decimal point is a comma, for tests that protocol numbers do not follow the
// program's locale.
#ifndef ROVAK_TESTS_COMMA_LOCALE_H
#define ROVAK_TESTS_COMMA_LOCALE_H

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <string>

// Finds or builds a locale whose decimal point is a comma and makes it the program's locale;
// false when none can be had. The built one lives in dir (through LOCPATH).
inline bool use_comma_locale(const std::string &dir) {
    auto comma = [] { return std::strcmp(localeconv()->decimal_point, ",") == 0; };
    for (const char *name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "pt_BR.UTF-8"})
        if (setlocale(LC_ALL, name) != nullptr && comma())
            return true;
    std::string cmd = "localedef -i de_DE -f UTF-8 '" + dir + "/de_DE.UTF-8' >/dev/null 2>&1";
    if (std::system(cmd.c_str()) != 0)
        return false;
    setenv("LOCPATH", dir.c_str(), 1);
    return setlocale(LC_ALL, "de_DE.UTF-8") != nullptr && comma();
}

// Back to the "C" locale, as every test starts.
inline void drop_comma_locale() {
    setlocale(LC_ALL, "C");
    unsetenv("LOCPATH");
}

#endif
