// The host's object API as the host maker's SDK (max-sdk-base) declares it.
// A build with QUENBRIX_MAX_SDK finds this file in place of host/max_api.h;
// the SDK's own folders come in as system folders (-isystem), since GCC warns
// about a few things inside them.
#ifndef QUENBRIX_MAX_API_H
#define QUENBRIX_MAX_API_H

#include "ext.h"
#include "ext_obex.h"

#include "../max_api_layout.h"

#endif
