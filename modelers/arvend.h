/* Arvend: the shaft-section modeler. One request builds a stepped shaft of coaxial cylinder and
 * cone sections along z, with chamfered or filleted section ends, an optional axial hole and an
 * optional cut-away, saves it as SAT and VRML under the site and redirects to the page that
 * shows it.
 *
 * Errors: a kernel call that fails leaves the shaft as it was and the program goes on; a shaft
 * whose proportions the mesher cannot serve (modeler_limits.h) is not built, and a SAT file
 * without a body is written. A shaft of no sections writes only the status record. The redirect
 * is printed unless a file cannot be written or the request cannot be served (modeler_site.h),
 * and every request that redirects leaves the shape's status record. */
#ifndef ROVAK_ARVEND_H
#define ROVAK_ARVEND_H

class BODY;

enum { ARVEND_SLOTS = 20 }; // room for this many sections

// Hole codes and cut-away codes.
enum { ARVEND_HOLE_END = 2, ARVEND_HOLE_START = 3, ARVEND_HOLE_THROUGH = 4 };
enum { ARVEND_ONE_CUT = 2, ARVEND_TWO_CUTS = 3 };
// Edge treatment codes of the blend lists.
enum { ARVEND_CHAMFER = 1, ARVEND_FILLET = 2 };

// One list field: its values in order (slots past count are 0).
struct ArvendList {
    double value[ARVEND_SLOTS];
    int count;
};

// The form, decoded.
struct ArvendForm {
    ArvendList length;      // comp: section lengths
    ArvendList startRadius; // diam_e / 2
    ArvendList endRadius;   // diam_d / 2
    ArvendList startBlend;  // blend_e: ARVEND_CHAMFER, ARVEND_FILLET or anything else for none
    ArvendList startSize;   // vblend_e
    ArvendList endBlend;    // blend_d
    ArvendList endSize;     // vblend_d
    int numsol;             // as sent
    int sections;           // numsol limited to 0..ARVEND_SLOTS and to the sections the lists give
    int holeCode;           // codfuros
    int cutCode;            // seccao
    double holeDiameter;    // dfuro, read only for a hole code
    double holeDepth;       // profuro, read only for a hole at one end
};

// Decodes a list text: every '-' ends one value, read with atof from the characters since the
// previous '-'; text after the last '-' is ignored and values past ARVEND_SLOTS are dropped.
ArvendList arvendParseList(const char *text);

// Whether the sections, their treatments, the total length and the hole have proportions the
// mesher can serve.
bool arvendProportionsServed(const ArvendForm &form);

// Reads the form fields in their order and decodes them.
ArvendForm arvendReadForm();

// Builds and unites the sections; sets length to the shaft's total length. Null when there is no
// section. A section that cannot be built leaves the shaft built so far in place.
BODY *arvendSections(const ArvendForm &form, double &length);

// Records the chamfers and fillets of every section end and builds them in one fix.
void arvendBlends(const ArvendForm &form, BODY *shaft);

// Cuts the axial hole of the hole code (none for other codes).
void arvendHole(const ArvendForm &form, BODY *shaft, double length);

// Cuts the shaft away when the cut-away code asks for it: one cut keeps half of it, two cuts
// keep one quarter.
void arvendCuts(const ArvendForm &form, BODY *shaft, double length);

#endif
