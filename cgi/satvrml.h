/* Saving a body as a SAT file and turning a SAT file into a VRML 2.0 scene.
 *
 * Both write to a temporary file in the target's folder (the target's name, a dot and six
 * characters) and rename it into place, so a reader never sees a half-written file. When a file
 * cannot be opened, read or written, when the SAT file holds a damaged body, or when a body
 * cannot be faceted into a closed mesh, they remove their temporary file, print
 * "Unable to open file!\n" on standard output and end the process with exit code 1. A process
 * killed meanwhile leaves its temporary file: the next writer of the same target, holding the
 * shape's lock, removes it (satRemoveStaleTemps).
 *
 * A program that serves many requests in one process (a FastCGI worker) sets a failure handler
 * instead: the temporary file is removed as before, then the handler runs in place of the message
 * and the exit. The handler must not return (it throws to the request loop). */
#ifndef ROVAK_SATVRML_H
#define ROVAK_SATVRML_H

#include "kernel.h"

// Sets the handler that replaces the "Unable to open file!" message and exit; null restores them.
void satSetFailureHandler(void (*handler)());

// Gives up the file being written: removes its temporary file, then runs the failure handler, or
// prints "Unable to open file!\n" on standard output and ends the process with exit code 1.
[[noreturn]] void satUnableToOpen();

// Writes body to path as SAT text with product id "QORM" and units 10.0. A null body gives a
// file without bodies. The modeller must be started.
void saveSatFile(const char *path, BODY *body);

// Restores the bodies of the SAT file at satPath, fits them into the cube (0, 0, 0)-(100, 100,
// 100) centred on (50, 50, 50), facets each one and writes the scene to wrlPath. Starts and stops
// the modeller once more around its own work and deletes what it restored.
void satToVrml(const char *satPath, const char *wrlPath);

// Removes the temporary files that writers of target killed before they finished left beside
// it. Only for a caller that holds the target's lock: no other writer may be at work.
void satRemoveStaleTemps(const char *target);

// The scale that fits a model with box b into the 100-unit cube: 100 over the largest extent,
// each extent truncated to an integer first. When every extent truncates to 0 (a model under one
// unit), 100 over the largest extent as it is; 1 for an empty box or one of no size.
double satVrmlScale(const box &b);

#endif
