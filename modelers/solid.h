/* Solid: what the last request of a shape built, for programs and people who want the solid
 * itself rather than its scene.
 *
 *   GET /cgi-bin/Solid?shape=NAME&format=json   its measures, or why nothing was built
 *   GET /cgi-bin/Solid?shape=NAME&format=step   an AP214 STEP file (model/step)
 *   GET /cgi-bin/Solid?shape=NAME&format=stl    a binary STL of the scene's mesh (model/stl)
 *
 * NAME is one of the ten shapes the modelers write (paralelepipedo ... cunha, eixo). The program
 * reads the shape's status record (sats/NAME.json) and SAT file under the shape's lock taken
 * shared, so it never mixes the files of two requests, and measures the first body of the SAT
 * file that holds a solid. Lengths are millimetres.
 *
 * Errors: every refusal is one HTTP error answer through modelerFail (modeler_site.h): 405 for a
 * method other than GET, 414 for a query over SOLID_MAX_QUERY bytes, 404 for an unknown or
 * missing shape and for a STEP or STL download when nothing is built, 400 for an unknown or
 * missing format, 503 when a writer holds the shape's lock for all of SOLID_LOCK_WAIT_MS, 500 for
 * files that cannot be read or a solid that cannot be measured or written. Runs as CGI or as a
 * FastCGI worker (modeler_fcgi.h). */
#ifndef ROVAK_SOLID_H
#define ROVAK_SOLID_H

#include <cstddef>
#include <string>

// Longest query string served, in bytes.
constexpr std::size_t SOLID_MAX_QUERY = 4096;
// Longest status record and SAT file read, in bytes.
constexpr std::size_t SOLID_MAX_RECORD = 64 * 1024;
constexpr std::size_t SOLID_MAX_SAT = std::size_t(64) << 20;
// How long a reader waits for the shape's writer, in milliseconds.
enum { SOLID_LOCK_WAIT_MS = 10000 };

// The shape's name as the modelers spell it when text is exactly one of them, else null.
const char *solidShapeName(const char *text);

// What a status record says: known is false for a text that is no status record (then the other
// fields mean nothing); reason is the record's reason as a JSON string literal, quotes included,
// checked to be one (empty when the record has none).
struct SolidStatus {
    bool known = false;
    bool built = false;
    std::string reason;
};

// Reads the one-line JSON object of a status record. Only a flat object of strings, numbers,
// true, false and null is a record; "built" must be true or false.
SolidStatus solidParseStatus(const std::string &text);

// The shortest decimal text that reads back as v (v finite).
std::string solidNumber(double v);

#endif
