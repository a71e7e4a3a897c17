// objc_msgSend for GNUstep on gcc's Objective-C runtime, which has none:
// its callers look a method up with objc_msg_lookup and call it themselves.
#define OBJC_MSGSEND_LOOKUP objc_msg_lookup
#include "../objc_msgsend_x86_64.S"
