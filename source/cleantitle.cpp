// Turning the title of Live's main window into the name of the Live Set.
#include "liveapp.h"
#include "liveapp_texts.h"

#include <stdint.h>
#include <string.h>

// The name is what stands before the first marker, so after the search
// only that part is worked on, with as few calls of the C library as can
// be (each costs more than the bytes it reads in a short title): a short
// name is done in one pass of plain arithmetic, eight bytes at a time; a
// long one is scanned with the library for backslashes and, when the
// bracket rule may apply, for asterisks. The marker holds no backslash, so
// turning backslashes into slashes after the search finds the same marker
// as turning them before.
#define LIVEAPP_SHORT_NAME 48 // bytes

// A short name's pass reads whole words: the marker, 15 bytes that are
// neither a backslash nor an asterisk, follows the name within the title,
// so the last word read may run into it, but no further than the title. In
// a word XORed with a byte repeated, the bytes that were that byte are
// zero; `liveapp_zeros` sets exactly their high bits.
static uint64_t liveapp_zeros(uint64_t word)
{
    const uint64_t lows = 0x7F7F7F7F7F7F7F7Fu;
    return ~(((word & lows) + lows) | word | lows);
}

// Turns the backslashes of a short name into slashes and returns its first
// asterisk when `seek_asterisk`, or null.
static char *liveapp_short_slashes(char *name, size_t length, bool seek_asterisk)
{
    const uint64_t ones = 0x0101010101010101u;
    char *asterisk = nullptr;
    for (size_t i = 0; i < length; i += 8) {
        uint64_t word;
        memcpy(&word, name + i, 8);
        uint64_t backslashes = liveapp_zeros(word ^ (ones * '\\'));
        if (backslashes) {
            uint64_t mask = (backslashes >> 7) * 0xFF;
            word = (word & ~mask) | ((ones * '/') & mask);
            memcpy(name + i, &word, 8);
        }
        // Found byte by byte within the word: a library scan of bytes just
        // stored would wait for the store.
        if (seek_asterisk && !asterisk && liveapp_zeros(word ^ (ones * '*')))
            for (asterisk = name + i; *asterisk != '*'; ++asterisk) {
            }
    }
    return asterisk;
}

// Removes every asterisk of the name, of which `first` is the first, moving
// the stretches between them with the C library rather than byte by byte.
static void liveapp_drop_asterisks(char *first, char *end)
{
    char *write = first;
    const char *read = first + 1;
    for (;;) {
        const char *star = (const char *)memchr(read, '*', (size_t)(end - read));
        const char *stop = star ? star : end;
        memmove(write, read, (size_t)(stop - read));
        write += stop - read;
        if (!star)
            break;
        read = star + 1;
    }
    *write = '\0';
}

bool liveapp_cleantitle(char *title)
{
    char *marker = strstr(title, LIVEAPP_TITLE_MARKER);
    if (!marker)
        return false;

    // A title that starts with the marker names no set: the name is empty.
    if (marker == title) {
        *marker = '\0';
        return true;
    }

    char before = marker[-1];
    size_t length = (size_t)(marker - title);
    char *first = nullptr; // the first asterisk, for a long name once needed
    if (length <= LIVEAPP_SHORT_NAME)
        first = liveapp_short_slashes(title, length, before == ']');
    else
        for (char *slash = (char *)memchr(title, '\\', length); slash;
             slash = (char *)memchr(slash + 1, '\\', length - (size_t)(slash + 1 - title)))
            *slash = '/';
    // Cut only now: a byte stored just before the words that hold it are
    // read back would hold each read up.
    *marker = '\0';

    if (before == '*') {
        marker[-1] = '\0';
        return true;
    }
    if (before != ']')
        return true;
    // Every asterisk goes when one stands before two blanks and a bracket.
    // None stands before the first, so removing them from there on is
    // removing them all.
    if (length > LIVEAPP_SHORT_NAME)
        first = (char *)memchr(title, '*', length);
    for (char *star = first; star;
         star = (char *)memchr(star + 1, '*', length - (size_t)(star + 1 - title)))
        if (marker - star >= 4 && star[1] == ' ' && star[2] == ' ' && star[3] == '[') {
            liveapp_drop_asterisks(first, marker);
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
