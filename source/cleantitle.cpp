// Turning the title of Live's main window into the name of the Live Set.
#include "liveapp.h"
#include "liveapp_texts.h"

#include <string.h>

bool liveapp_cleantitle(char *title)
{
    for (char *p = title; *p; ++p)
        if (*p == '\\')
            *p = '/';

    char *marker = strstr(title, LIVEAPP_TITLE_MARKER);
    if (!marker)
        return false;

    // A title that starts with the marker names no set: the name is empty.
    if (marker == title) {
        *marker = '\0';
        return true;
    }

    char before = marker[-1];
    if (before == '*') {
        marker[-1] = '\0';
        return true;
    }
    *marker = '\0';
    if (before == ']' && strstr(title, "*  ["))
        liveapp_removeAsterix(title);
    return true;
}

void liveapp_removeAsterix(char *text)
{
    char *write = text;
    for (const char *read = text; *read; ++read)
        if (*read != '*')
            *write++ = *read;
    *write = '\0';
}
