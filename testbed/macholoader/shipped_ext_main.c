// ext_main of the shipped macOS plug-in, for a test program that would
// otherwise link the plug-in from source: on the first call it loads the
// x86-64 slice of the bundle executable named by the environment variable
// QUENBRIX_MXO, and from then on calls the slice's own ext_main. A bundle
// the loader refuses ends the program, saying why.
#include "macho_loader.h"

#include <stdio.h>
#include <stdlib.h>

void ext_main(void *r)
{
    static void (*entry)(void *);
    if (!entry) {
        const char *path = getenv("QUENBRIX_MXO");
        char why[512];
        if (!path || !*path) {
            fprintf(stderr, "QUENBRIX_MXO does not name the bundle's executable\n");
            exit(2);
        }
        entry = (void (*)(void *))macho_load(path, "_ext_main", why, sizeof why);
        if (!entry) {
            fprintf(stderr, "macho loader: %s refused: %s\n", path, why);
            exit(2);
        }
    }
    entry(r);
}
