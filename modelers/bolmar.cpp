/* Bolmar's main sequence and its form. */
#include "bolmar.h"

#include <cmath>

#include "kernel.h"
#include "modeler_fcgi.h"
#include "modeler_site.h"

namespace {

// tipo is read as a number and truncated toward zero; a value no int can hold (or NaN) is no
// primitive code at all rather than an undefined conversion.
int primitiveCode(double tipo) {
    if (!std::isfinite(tipo) || tipo <= -2147483648.0 || tipo >= 2147483648.0)
        return -1;
    return static_cast<int>(tipo);
}

} // namespace

BolmarForm bolmarReadForm() {
    BolmarForm f;
    f.radius = modelerNumber("diam_s") / 2;
    f.length = modelerNumber("comp_s");
    f.width = modelerNumber("larg_s");
    f.height = modelerNumber("altu_s");
    f.majorRadius = modelerNumber("dmai_s") / 2;
    f.minorRadius = modelerNumber("dmen_s") / 2;
    f.sides = modelerInteger("nlados_s");
    f.rmai = modelerNumber("rmai_s");
    f.rmen = modelerNumber("rmen_s");
    f.rtop = modelerNumber("rtop_s");
    f.dcin1 = modelerNumber("dcin1_s");
    f.dcin2 = modelerNumber("dcin2_s");
    f.ccin1 = modelerNumber("ccin1_s");
    f.ccin2 = modelerNumber("ccin2_s");
    f.tipo = primitiveCode(modelerNumber("tipo"));
    return f;
}

const char *bolmarName(int tipo) {
    static const char *const names[BOLMAR_CODES] = {"paralelepipedo", "cilindro", "cone",
                                                    "esfera",         "torus",    "prisma",
                                                    "piramide",       "cruz",     "cunha"};
    return tipo >= 0 && tipo < BOLMAR_CODES ? names[tipo] : nullptr;
}

namespace {

void serve() {
    modelerCheckRequest();
    BolmarForm form = bolmarReadForm();
    outcome result = api_start_modeller(0);
    result = api_initialize_constructors();
    bolmarBuild(form);
    result = api_terminate_constructors();
    result = api_stop_modeller();
}

} // namespace

int main() { return modelerMain(serve); }
