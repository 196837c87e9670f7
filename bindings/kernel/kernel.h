/* The modelling kernel: the one header its users include. */
#ifndef ROVAK_KERNEL_H
#define ROVAK_KERNEL_H

#include "kernel_types.h"
#include "kernel_entity.h"
#include "kernel_api.h"
#include "kernel_mesh.h"

#endif
