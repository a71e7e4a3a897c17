// The stand-in process calls use the very declarations that the macOS
// build compiles against.
#include "../../macos-sdk/usr/include/libproc.h"
