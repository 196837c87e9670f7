/* Arvend's main sequence and its form. */
#include "arvend.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "kernel.h"
#include "modeler_limits.h"
#include "modeler_fcgi.h"
#include "modeler_site.h"

namespace {

const char kShape[] = "eixo";

ArvendList halved(ArvendList list) {
    for (double &v : list.value)
        v /= 2;
    return list;
}

// numsol limited to the room there is and to the sections the geometry lists describe; the
// blend lists may be shorter, their missing slots meaning no treatment.
int sectionCount(const ArvendForm &f) {
    int n = std::min(f.numsol, static_cast<int>(ARVEND_SLOTS));
    n = std::min({n, f.length.count, f.startRadius.count, f.endRadius.count});
    return std::max(n, 0);
}

} // namespace

ArvendList arvendParseList(const char *text) {
    ArvendList list = {};
    std::string item;
    for (const char *c = text; *c; ++c) {
        if (*c != '-') {
            item += *c;
            continue;
        }
        if (list.count < ARVEND_SLOTS)
            list.value[list.count++] = std::atof(item.c_str());
        item.clear();
    }
    return list;
}

ArvendForm arvendReadForm() {
    ArvendForm f = {};
    f.length = arvendParseList(modelerField("comp"));
    f.startRadius = halved(arvendParseList(modelerField("diam_e")));
    f.endRadius = halved(arvendParseList(modelerField("diam_d")));
    f.startBlend = arvendParseList(modelerField("blend_e"));
    f.startSize = arvendParseList(modelerField("vblend_e"));
    f.endBlend = arvendParseList(modelerField("blend_d"));
    f.endSize = arvendParseList(modelerField("vblend_d"));
    f.numsol = modelerInteger("numsol");
    f.holeCode = modelerInteger("codfuros");
    f.cutCode = modelerInteger("seccao");
    if (f.holeCode >= ARVEND_HOLE_END && f.holeCode <= ARVEND_HOLE_THROUGH)
        f.holeDiameter = modelerNumber("dfuro");
    if (f.holeCode == ARVEND_HOLE_END || f.holeCode == ARVEND_HOLE_START)
        f.holeDepth = modelerNumber("profuro");
    f.sections = sectionCount(f);
    return f;
}

namespace {

bool treated(double code) { return code == ARVEND_CHAMFER || code == ARVEND_FILLET; }

// Whether section i makes a solid at all: the kernel refuses one of no length or no radius.
bool sectionBuilt(const ArvendForm &f, int i) {
    return f.length.value[i] > 0 && (f.startRadius.value[i] > 0 || f.endRadius.value[i] > 0);
}

} // namespace

bool arvendProportionsServed(const ArvendForm &f) {
    std::vector<double> sizes;
    double z = 0, first = -1, last = 0;
    for (int i = 0; i < f.sections; ++i) {
        double start = z;
        z += f.length.value[i];
        if (!sectionBuilt(f, i))
            continue;
        if (first < 0)
            first = start;
        last = z;
        sizes.push_back(f.length.value[i]);
        sizes.push_back(2 * f.startRadius.value[i]);
        sizes.push_back(2 * f.endRadius.value[i]);
        if (treated(f.startBlend.value[i]) && f.startRadius.value[i] > 0)
            sizes.push_back(f.startSize.value[i]);
        if (treated(f.endBlend.value[i]) && f.endRadius.value[i] > 0)
            sizes.push_back(f.endSize.value[i]);
    }
    if (first >= 0)
        sizes.push_back(last - first); // the shaft's own length, built sections only
    if (f.holeCode >= ARVEND_HOLE_END && f.holeCode <= ARVEND_HOLE_THROUGH)
        sizes.push_back(f.holeDiameter);
    if (f.holeCode == ARVEND_HOLE_END || f.holeCode == ARVEND_HOLE_START)
        sizes.push_back(f.holeDepth);
    return modelerProportionsServed(sizes);
}

namespace {

void serve() {
    modelerCheckRequest();
    ArvendForm form = arvendReadForm();
    outcome result = api_start_modeller(0);
    result = api_initialize_booleans();
    if (form.sections > 0 && !arvendProportionsServed(form)) {
        // nothing built, as for sizes the kernel refuses
        modelerPublish(kShape, nullptr, MODELER_REASON_PROPORTIONS);
    } else if (form.sections > 0) {
        double length = 0;
        BODY *shaft = arvendSections(form, length);
        arvendBlends(form, shaft);
        arvendHole(form, shaft, length);
        arvendCuts(form, shaft, length);
        modelerPublish(kShape, shaft);
    } else {
        modelerPublishNothing(kShape, MODELER_REASON_NO_SECTIONS); // the files stay as they are
    }
    result = api_terminate_booleans();
    result = api_stop_modeller();
}

} // namespace

int main() { return modelerMain(serve); }
