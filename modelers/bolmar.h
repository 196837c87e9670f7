/* Bolmar: the solid-primitives modeler. One request builds one of nine primitives from the form,
 * saves it as SAT and VRML under the site and redirects to the page that shows it.
 *
 * Errors: a kernel call that fails leaves whatever body there is to be written, and a body whose
 * proportions the mesher cannot serve (modeler_limits.h) is not built: both write a SAT file
 * without a body and redirect. A code outside 0 to 8 builds nothing, writes nothing and prints
 * nothing. A request the program cannot serve gets an HTTP error answer (modeler_site.h). Every
 * request that redirects leaves the shape's status record, saying why when nothing was built. */
#ifndef ROVAK_BOLMAR_H
#define ROVAK_BOLMAR_H

// The fifteen fields of the form, converted; radii read from diameters are already halved.
struct BolmarForm {
    double radius;      // diam_s / 2
    double length;      // comp_s
    double width;       // larg_s
    double height;      // altu_s
    double majorRadius; // dmai_s / 2
    double minorRadius; // dmen_s / 2
    int sides;          // nlados_s
    double rmai;        // rmai_s
    double rmen;        // rmen_s
    double rtop;        // rtop_s
    double dcin1;       // dcin1_s
    double dcin2;       // dcin2_s
    double ccin1;       // ccin1_s
    double ccin2;       // ccin2_s
    int tipo;           // tipo, truncated toward zero; -1 when it is no number an int can hold
};

// Primitive codes.
enum {
    BOLMAR_BOX,
    BOLMAR_CYLINDER,
    BOLMAR_CONE,
    BOLMAR_SPHERE,
    BOLMAR_TORUS,
    BOLMAR_PRISM,
    BOLMAR_PYRAMID,
    BOLMAR_CROSS,
    BOLMAR_WEDGE,
    BOLMAR_CODES
};

// Reads and converts the fields, all of them and in the form's order.
BolmarForm bolmarReadForm();

// The output name of a primitive code ("paralelepipedo" ... "cunha"), or null outside 0 to 8.
const char *bolmarName(int tipo);

// Whether the sizes of the primitive of form.tipo have proportions the mesher can serve.
bool bolmarProportionsServed(const BolmarForm &form);

// Builds the primitive of form.tipo, writes its files and prints the redirect. The modeller and
// the constructors must be started. Returns false, having done nothing, for an unknown code.
bool bolmarBuild(const BolmarForm &form);

#endif
