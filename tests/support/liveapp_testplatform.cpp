// TEST ONLY, never shipped: a platform for the native test build that
// exercises the shared code without any window system. Each function does
// the least that lets a test observe the shared code's behaviour.
#include "liveapp.h"
#include "liveapp_texts.h"
#include "testplatform.h"

const char *testplatform_process_name = "Live";
int testplatform_getname_calls = 0;

void liveapp_checkprocess(t_liveapp *x)
{
    if (!testplatform_process_name) {
        object_error((t_object *)x, "test platform: no process name");
        x->process_state = -1;
        return;
    }
    liveapp_checkprocess_name(x, testplatform_process_name);
}

void liveapp_do_getname(t_liveapp *x)
{
    ++testplatform_getname_calls;
    char name[32];
    snprintf(name, sizeof name, "set%d", testplatform_getname_calls);
    outlet_anything(x->name_outlet, gensym(name), 0, nullptr);
}

void liveapp_do_front(t_liveapp *x)
{
    object_error((t_object *)x, LIVEAPP_TEXT_NO_WINDOW);
}

void liveapp_savefocus(t_liveapp *x)
{
    x->saved_window = x;
}

void liveapp_do_recallfocus(t_liveapp *x)
{
    if (!x->saved_window)
        object_error((t_object *)x, LIVEAPP_TEXT_NOTHING_SAVED);
}

void liveapp_handoff(t_liveapp *x, t_symbol *file)
{
    t_symbol *absolute = nullptr;
    if (path_absolutepath(&absolute, file, nullptr, 0) != 0) {
        liveapp_addfile_failed(x, file);
        return;
    }
    clock_delay(x->clock, 1);
}

void liveapp_bang(t_liveapp *) {}

void liveapp_release(t_liveapp *) {}
