/* Shared pieces of the scene's source files (not part of its interface). */
#ifndef ROVAK_SIM_SCENE_INTERNAL_H
#define ROVAK_SIM_SCENE_INTERNAL_H

#include "scene.h"

#include <string>

/* The world's JSON text for SCENE_WorldJson. */
std::string scene_world_json(const SIM_Sim *sim);

#endif
