// Lets mingw-w64's Windows headers serve clang compiling for an MSVC target,
// for the syntax check of the plug-in's sources (msvc_syntax.cmake). Those
// headers know GCC and cl, not clang in between: without __GNUC__ they erase
// every __attribute__ (breaking clang's own intrinsic headers) and put cl's
// __declspec forms after declarators, where clang does not take them. Here
// they get the attribute spellings that clang takes in that place.
#include <_mingw.h>

#undef __attribute__
#undef __MINGW_NOTHROW
#define __MINGW_NOTHROW __attribute__((__nothrow__))
#undef __MINGW_ATTRIB_NORETURN
#define __MINGW_ATTRIB_NORETURN __attribute__((__noreturn__))
#undef __MINGW_ATTRIB_MALLOC
#define __MINGW_ATTRIB_MALLOC __attribute__((__malloc__))
#undef __MINGW_ATTRIB_DEPRECATED
#define __MINGW_ATTRIB_DEPRECATED __attribute__((__deprecated__))
