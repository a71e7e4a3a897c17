// The byte order of the target, as Apple's MacTypes.h (through
// ConditionalMacros.h) gives it to the host maker's SDK headers. Without it
// the SDK's ext_byteorder.h takes the target for big-endian, without a word.
// Both slices, x86-64 and arm64, are little-endian.
#ifndef QUENBRIX_SDK_MACTYPES_H
#define QUENBRIX_SDK_MACTYPES_H

#define TARGET_RT_LITTLE_ENDIAN 1
#define TARGET_RT_BIG_ENDIAN 0

#endif
