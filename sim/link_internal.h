/* Shared pieces of the link layer's source files (not part of its interface). */
#ifndef ROVAK_SIM_LINK_INTERNAL_H
#define ROVAK_SIM_LINK_INTERNAL_H

#include "link.h"

#include <string>

/* Answers one received line of session s (faults included); wall_ms is the wall clock. */
void link_answer(LINK_Session *s, const std::string &line, double wall_ms);

#endif
