// The stand-in runtime uses the very declarations that the macOS build
// compiles against.
#include "../../../macos-sdk/usr/include/objc/message.h"
