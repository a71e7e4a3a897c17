// The stand-in runtime's objc_msgSend, over appkit_lookup (runtime.cpp).
#define OBJC_MSGSEND_LOOKUP appkit_lookup
#include "../objc_msgsend_x86_64.S"
