// SAT read-back through the kernel's own restore.
#include "sat_solid.h"

#include <cstdio>

namespace modelertest {

Solid readSolid(const std::string &path, const std::vector<position> &probes) {
    Solid s;
    FILE *f = std::fopen(path.c_str(), "r");
    if (!f)
        return s;
    outcome o = api_start_modeller(0);
    ENTITY_LIST list;
    s.read = api_restore_entity_list(f, 1, list).ok();
    std::fclose(f);
    s.vertexAt.assign(probes.size(), false);
    for (int i = 0; i < list.count(); ++i) {
        BODY *body = static_cast<BODY *>(list[i]);
        if (!is_BODY(body))
            continue;
        ++s.bodies;
        s.bounds |= get_body_box(body);
        s.volume += kernel_body_volume(body);
        for (std::size_t p = 0; p < probes.size(); ++p) {
            VERTEX *v = nullptr;
            if (api_find_vertex(body, probes[p], v).ok())
                s.vertexAt[p] = true;
        }
    }
    o = api_stop_modeller();
    return s;
}

} // namespace modelertest
