// Fuzz target of the SAT reader.
//
// The first input byte picks the form: the rest as a whole SAT file, or the rest as the text of
// one body inside a header and an end line the harness writes (so that mutations reach the body
// reader past the length checks). Every read either fails and adds nothing, or adds bodies that
// can be measured and deleted; nothing may crash or hang.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "kernel.h"

namespace {

std::string wrapped(const std::string &payload) {
    return "ROVAK SAT 1\nproduct 4 QORM\nunits 10\nbodies 1\nbody " +
           std::to_string(payload.size()) + "\n" + payload + "\nend\n";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *bytes, std::size_t size) {
    static bool started = api_start_modeller(0).ok();
    if (!started || size < 1)
        return 0;
    std::string rest(reinterpret_cast<const char *>(bytes) + 1, size - 1);
    std::string text = bytes[0] % 2 ? wrapped(rest) : rest;
    FILE *file = fmemopen(text.empty() ? nullptr : &text[0], text.size(), "r");
    if (file == nullptr)
        file = std::tmpfile();
    if (file == nullptr)
        return 0;
    ENTITY_LIST list;
    outcome r = api_restore_entity_list(file, 1, list);
    std::fclose(file);
    if (!r.ok() && list.count() != 0)
        std::abort(); // a failed read must add nothing
    for (int i = 0; i < list.count(); ++i) {
        BODY *body = static_cast<BODY *>(list[i]);
        if (!is_BODY(body))
            std::abort();
        volatile double measure = kernel_body_volume(body);
        (void)measure;
        if (!api_del_entity(body).ok())
            std::abort();
    }
    return 0;
}
