/* A stand-in for libXinerama.so.1 that reports the heads it is told, so that one wide Xvfb
 * screen shows as several monitors. The heads are read afresh on every question from the file
 * named by TOVALIN_XINERAMA_HEADS, one head per line: "width height x y" in X root pixels.
 * Without that file it reports no heads, as a server without the extension does. */
#include <stdio.h>
#include <stdlib.h>

typedef struct {
    int screen_number;
    short x_org;
    short y_org;
    short width;
    short height;
} XineramaScreenInfo;

enum { kMaxHeads = 16 };

static int read_heads(XineramaScreenInfo *heads) {
    const char *path = getenv("TOVALIN_XINERAMA_HEADS");
    FILE *file = path ? fopen(path, "r") : NULL;
    int n = 0;
    int w, h, x, y;
    if (!file)
        return 0;
    while (n < kMaxHeads && fscanf(file, "%d %d %d %d", &w, &h, &x, &y) == 4) {
        heads[n].screen_number = n;
        heads[n].x_org = (short)x;
        heads[n].y_org = (short)y;
        heads[n].width = (short)w;
        heads[n].height = (short)h;
        ++n;
    }
    fclose(file);
    return n;
}

int XineramaQueryExtension(void *display, int *event_base, int *error_base) {
    (void)display;
    *event_base = 0;
    *error_base = 0;
    return 1;
}

int XineramaQueryVersion(void *display, int *major, int *minor) {
    (void)display;
    *major = 1;
    *minor = 1;
    return 1;
}

int XineramaIsActive(void *display) {
    XineramaScreenInfo heads[kMaxHeads];
    (void)display;
    return read_heads(heads) > 0;
}

/* The caller frees the list with XFree, which is free(). */
XineramaScreenInfo *XineramaQueryScreens(void *display, int *number) {
    XineramaScreenInfo heads[kMaxHeads];
    XineramaScreenInfo *list;
    int i;
    (void)display;
    *number = read_heads(heads);
    if (*number == 0)
        return NULL;
    list = malloc(sizeof(XineramaScreenInfo) * (size_t)*number);
    if (!list) {
        *number = 0;
        return NULL;
    }
    for (i = 0; i < *number; ++i)
        list[i] = heads[i];
    return list;
}
