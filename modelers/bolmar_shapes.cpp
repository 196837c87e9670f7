/* Bolmar's builders: the nine primitives, each saved, converted and announced by the redirect. */
#include <cmath>

#include "bolmar.h"
#include "kernel.h"
#include "modeler_limits.h"
#include "modeler_site.h"

namespace {

const double kHalfPi = 1.5707963267948966;
const double kPi = 3.141592653589793;

// The common ending of every builder.
void finish(int tipo, BODY *body) { modelerPublish(bolmarName(tipo), body); }

// The ending of a builder whose sizes break the proportion rule: nothing is built.
void refuse(int tipo) { modelerPublish(bolmarName(tipo), nullptr, MODELER_REASON_PROPORTIONS); }

BODY *simplePrimitive(const BolmarForm &f) {
    BODY *body = nullptr;
    outcome result;
    switch (f.tipo) {
    case BOLMAR_BOX:
        result = api_make_cuboid(f.width, f.length, f.height, body);
        break;
    case BOLMAR_CYLINDER:
        result = api_make_frustum(f.height, f.radius, f.radius, f.radius, body);
        break;
    case BOLMAR_CONE:
        result = api_make_frustum(f.height, f.majorRadius, f.majorRadius, f.minorRadius, body);
        break;
    case BOLMAR_SPHERE:
        result = api_make_sphere(f.radius, body);
        break;
    case BOLMAR_TORUS:
        result = api_make_torus(f.majorRadius, f.minorRadius, body);
        break;
    case BOLMAR_PRISM:
        result = api_make_prism(f.height, f.rmai, f.rmen, f.sides, body);
        break;
    case BOLMAR_PYRAMID:
        result = api_make_pyramid(f.height, f.rmai, f.rmen, f.rtop, f.sides, body);
        break;
    }
    modelerNote(result);
    return body;
}

// Two cylinders along z, the first turned to lie along y, united into the second.
void buildCross(const BolmarForm &f) {
    outcome result = api_initialize_booleans();
    BODY *a = nullptr;
    BODY *b = nullptr;
    if (!bolmarProportionsServed(f)) {
        refuse(BOLMAR_CROSS);
        result = api_terminate_booleans();
        return;
    }
    result = api_make_frustum(f.ccin1, f.dcin1 / 2, f.dcin1 / 2, f.dcin1 / 2, a);
    modelerNote(result);
    result = api_make_frustum(f.ccin2, f.dcin2 / 2, f.dcin2 / 2, f.dcin2 / 2, b);
    modelerNote(result);
    result = api_apply_transf(a, rotate_transf(kHalfPi, vector(1, 0, 0)));
    result = api_unite(a, b);
    finish(BOLMAR_CROSS, b);
    result = api_terminate_booleans();
}

// A box cut along the diagonal plane of its x-z faces by a disc that reaches past it everywhere.
void buildWedge(const BolmarForm &f) {
    outcome result = api_initialize_covering();
    BODY *block = nullptr;
    if (!bolmarProportionsServed(f)) {
        refuse(BOLMAR_WEDGE);
        result = api_terminate_covering();
        return;
    }
    result = api_make_cuboid(f.width, f.length, f.height, block);
    modelerNote(result);
    box bounds = get_body_box(block);
    double d = (bounds.high() - bounds.low()).len();
    EDGE *edge = nullptr;
    BODY *disc = nullptr;
    ENTITY_LIST faces;
    result = api_mk_ed_ellipse(position(0, 0, 0), vector(0, 0, 1), vector(0.6 * d, 0, 0), 1.0, 0.0,
                               0.0, edge);
    result = api_make_ewire(1, edge, disc);
    result = api_cover_wires(disc, nullptr, faces);
    double angle = std::atan(f.height / f.width) + kPi;
    result = api_apply_transf(disc, rotate_transf(angle, vector(0, 1, 0)));
    result = api_boolean(disc, block, 2);
    finish(BOLMAR_WEDGE, block);
    result = api_terminate_covering();
}

} // namespace

bool bolmarProportionsServed(const BolmarForm &f) {
    switch (f.tipo) {
    case BOLMAR_BOX:
    case BOLMAR_WEDGE:
        return modelerProportionsServed({f.width, f.length, f.height});
    case BOLMAR_CYLINDER:
        return modelerProportionsServed({2 * f.radius, f.height});
    case BOLMAR_CONE:
        return modelerProportionsServed({2 * f.majorRadius, 2 * f.minorRadius, f.height});
    case BOLMAR_TORUS:
        return modelerProportionsServed({f.majorRadius, f.minorRadius});
    case BOLMAR_PRISM:
        return modelerProportionsServed({f.height, f.rmai, f.rmen});
    case BOLMAR_PYRAMID:
        return modelerProportionsServed({f.height, f.rmai, f.rmen, f.rtop});
    case BOLMAR_CROSS:
        return modelerProportionsServed({f.dcin1, f.ccin1, f.dcin2, f.ccin2});
    default:
        return true; // a sphere has one size
    }
}

bool bolmarBuild(const BolmarForm &form) {
    switch (form.tipo) {
    case BOLMAR_CROSS:
        buildCross(form);
        return true;
    case BOLMAR_WEDGE:
        buildWedge(form);
        return true;
    default:
        if (!bolmarName(form.tipo))
            return false;
        if (!bolmarProportionsServed(form))
            refuse(form.tipo);
        else
            finish(form.tipo, simplePrimitive(form));
        return true;
    }
}
