// Feeds arbitrary network text to the word splitter and the dispatcher.
#include "argcv.h"
#include "command.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

int words_seen = 0;

char *count_words(int, long, int argc, char **argv) {
    for (int i = 0; i < argc; i++)
        words_seen += (int)strlen(argv[i]) > 0;
    return nullptr;
}

char *answer(int, long, int argc, char **) {
    return argc > 2 ? const_cast<char *>("Reply") : nullptr;
}

void setup() {
    CMD_Initialize();
    for (const char *name : {"GetSonar", "Done", "Error", "SetSonar", "Speak"})
        CMD_Register(name, count_words);
    CMD_Register("SetSonar", answer);
    CMD_Register("*", count_words);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static bool ready = (setup(), true);
    (void)ready;
    std::string text(reinterpret_cast<const char *>(data), size); // stops at a zero byte below

    int argc;
    char **argv;
    ARGCV_Create(text.c_str(), &argc, &argv);
    if (argc > 0) {
        // Every word ends inside the one block of the text's length plus one.
        const char *end = argv[0] + strlen(text.c_str()) + 1;
        for (int i = 0; i < argc; i++)
            if (argv[i] < argv[0] || argv[i] + strlen(argv[i]) >= end)
                abort();
        ARGCV_Free(argc, argv);
    }

    char *reply = CMD_ExecuteRaw(3, text.c_str());
    if (reply != nullptr) {
        size_t n = strlen(reply);
        if (n == 0 || reply[n - 1] != '\n')
            abort(); // every reply is whole lines
        // Every line is a handler's text or an acknowledgement: a command name can never
        // break an acknowledgement into several lines.
        for (const char *line = reply; *line != '\0'; line = strchr(line, '\n') + 1)
            if (strncmp(line, "Reply\n", 6) != 0 && strncmp(line, "Done ", 5) != 0 &&
                strncmp(line, "Error ", 6) != 0)
                abort();
        free(reply);
    }
    return 0;
}
