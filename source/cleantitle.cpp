// Turning the title of Live's main window into the name of the Live Set.
#include "liveapp.h"
#include "liveapp_texts.h"

#include <string.h>

// The name is what stands before the first marker, so only that part is
// worked on, and each step is one of the C library's fast scans: the
// marker is found from its hyphen, the one character of it that titles
// seldom hold, then the name alone is scanned for backslashes and, when
// the bracket rule may apply, for asterisks. The marker holds no
// backslash, so turning backslashes into slashes after the search finds
// the same marker as turning them before.
static char *liveapp_find_marker(char *title)
{
    static const char marker[] = LIVEAPP_TITLE_MARKER; // " - Ableton Live"
    for (char *hyphen = strchr(title, '-'); hyphen; hyphen = strchr(hyphen + 1, '-')) {
        if (hyphen == title)
            continue;
        // Compared up to the first difference: the title's end is one.
        const char *at = hyphen - 1;
        size_t same = 0;
        while (same < sizeof marker - 1 && at[same] == marker[same])
            ++same;
        if (same == sizeof marker - 1)
            return hyphen - 1;
    }
    return nullptr;
}

bool liveapp_cleantitle(char *title)
{
    char *marker = liveapp_find_marker(title);
    if (!marker)
        return false;

    // A title that starts with the marker names no set: the name is empty.
    if (marker == title) {
        *marker = '\0';
        return true;
    }

    char before = marker[-1];
    size_t length = (size_t)(marker - title);
    *marker = '\0';
    for (char *slash = (char *)memchr(title, '\\', length); slash;
         slash = (char *)memchr(slash + 1, '\\', length - (size_t)(slash + 1 - title)))
        *slash = '/';

    if (before == '*') {
        marker[-1] = '\0';
        return true;
    }
    if (before != ']')
        return true;
    // Every asterisk goes when one stands before two blanks and a bracket.
    // None stands before the first, so removing them from there on is
    // removing them all.
    char *first = (char *)memchr(title, '*', length);
    for (char *star = first; star;
         star = (char *)memchr(star + 1, '*', length - (size_t)(star + 1 - title)))
        if (length - (size_t)(star - title) >= 4 && memcmp(star, "*  [", 4) == 0) {
            liveapp_removeAsterix(first);
            break;
        }
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
