/* Saving a body as a SAT file and turning a SAT file into a VRML 2.0 scene.
 *
 * Both write to a temporary file in the target's folder (the target's name, a dot and six
 * characters) and rename it into place, so a reader never sees a half-written file. When a file
 * cannot be opened, read or written, when the SAT file holds a damaged body, or when a body
 * cannot be faceted into a closed mesh, they remove their temporary file, print
 * "Unable to open file!\n" on standard output and end the process with exit code 1.
 *
 * A temporary file is held under flock(2) by its writer from its creation until it is renamed
 * or removed. A process killed meanwhile leaves its temporary file unlocked, and the next writer
 * of the same target removes it (satRemoveStaleTemps); files still being written by a live
 * process, of this one or another, stay. So many requests may write their own temporary files at
 * once, and only moving them into place needs the shape's lock (SatOutput).
 *
 * A program that serves many requests in one process (a FastCGI worker) sets a failure handler
 * instead: the temporary file is removed as before, then the handler runs in place of the message
 * and the exit. The handler must not return (it throws to the request loop). */
#ifndef ROVAK_SATVRML_H
#define ROVAK_SATVRML_H

#include <string>

#include "kernel.h"

// Sets the handler that replaces the "Unable to open file!" message and exit; null restores them.
void satSetFailureHandler(void (*handler)());

// Removes every temporary file this process is writing, for a process about to end without
// running destructors.
void satDiscardPending();

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
// it; those of writers still at work are kept.
void satRemoveStaleTemps(const char *target);

// Replaces the file at path with text through a temporary file and a rename. False, with nothing
// left behind, when it cannot be written.
bool satReplaceFile(const char *path, const std::string &text);

// One request's SAT file and scene, written to temporary files beside their targets and moved
// into place together by publish(), which is all that needs the shape's lock. What is not
// published is removed when the object goes, or by satUnableToOpen when the process gives up.
class SatOutput {
  public:
    SatOutput(const char *satPath, const char *wrlPath);
    ~SatOutput();
    SatOutput(const SatOutput &) = delete;
    SatOutput &operator=(const SatOutput &) = delete;

    // Saves body (null: a file without bodies) as saveSatFile does, then converts that file into
    // the scene as satToVrml does; both stay under their temporary names. Failures as theirs.
    void write(BODY *body);
    // Writes text as a third file, published after the other two (a note on them, such as a
    // status record), under a temporary name too. Failures as saveSatFile's.
    void addNote(const char *path, const std::string &text);
    // Moves the SAT file, the scene and the note into place, in that order. False when a rename
    // failed (what was not moved is removed). Only after write().
    bool publish();

  private:
    struct Files;
    Files *files_;
};

// The scale that fits a model with box b into the 100-unit cube: 100 over the largest extent,
// each extent truncated to an integer first. When every extent truncates to 0 (a model under one
// unit), 100 over the largest extent as it is; 1 for an empty box or one of no size.
double satVrmlScale(const box &b);

#endif
