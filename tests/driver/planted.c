/* A harmless library that must never be loaded: the credential tests hand
 * its path to every injection they try. Loading it (dlopen, or SQLite's
 * load_extension) runs the constructor, which appends a line to the file that
 * QVT_PLANTED_MARKER names. */
#include <stdio.h>
#include <stdlib.h>

__attribute__((constructor)) static void qvt_planted_mark(void) {
    const char* path = getenv("QVT_PLANTED_MARKER");
    FILE* f = fopen(path && *path ? path : "/tmp/qvt-planted-marker", "a");
    if (!f) return;
    fputs("planted library loaded\n", f);
    fclose(f);
}
