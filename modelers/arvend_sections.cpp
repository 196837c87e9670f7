/* The shaft's sections: coaxial frustums along z, each united with the ones before it. */
#include "arvend.h"
#include "kernel.h"
#include "modeler_site.h"

BODY *arvendSections(const ArvendForm &form, double &length) {
    BODY *shaft = nullptr;
    double z = 0;
    outcome result;
    for (int i = 0; i < form.sections; ++i) {
        BODY *section = nullptr;
        double r0 = form.startRadius.value[i];
        double r1 = form.endRadius.value[i];
        result =
            api_solid_cylinder_cone(position(0, 0, z), position(0, 0, z + form.length.value[i]), r0,
                                    r0, r1, nullptr, section);
        modelerNote(result);
        z += form.length.value[i];
        // The union lands in the new section; a section the kernel refused (a zero length, say)
        // must not drop what was built before it.
        if (!section)
            continue;
        if (shaft)
            result = api_unite(shaft, section);
        shaft = section;
    }
    length = z;
    return shaft;
}
