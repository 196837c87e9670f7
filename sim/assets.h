/* The view's page and script, built into the program from sim/www (the source file of this
 * module is generated at build time by sim/www/embed.cmake), so the installed simulator serves
 * them without looking for files. */
#ifndef ROVAK_SIM_ASSETS_H
#define ROVAK_SIM_ASSETS_H

#include <cstddef>

struct ASSET_File {
    const char *path; /* "/index.html", "/view.js" */
    const char *type; /* its media type */
    const char *data;
    size_t size;
};

/* The file served at path, or null. */
const ASSET_File *ASSET_Find(const char *path);

#endif
