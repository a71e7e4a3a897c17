// Controls of the test-only platform (liveapp_testplatform.cpp).
#pragma once
#include <cstdio>

extern const char *testplatform_process_name; // null: name unavailable
extern int testplatform_getname_calls;
