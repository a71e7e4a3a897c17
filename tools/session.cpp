// A short scripted session in the stand-in host: load the plug-in, create a
// quenbrix object, send it each message a patch can send, and print what
// reached the console and the outlets.
#include "liveapp.h"
#include "appkit.h"
#include "maxhost.hpp"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

int main()
{
    char folder[] = "/tmp/quenbrix-session-XXXXXX";
    if (!mkdtemp(folder))
        return 1;
    std::ofstream(std::string(folder) + "/My Set.als") << "a Live Set";
    maxhost_add_search_folder(folder);

    // The stand-in AppKit: Live's process with one main window, not in front.
    appkit::set_process_name("Live");
    appkit::add_window("My Set", true);

    maxhost_console_echo(1);
    std::printf("> load\n");
    maxhost_load(ext_main);
    std::printf("> new quenbrix\n");
    void *x = maxhost_new_object("quenbrix", 0, nullptr);
    if (!x)
        return 1;

    auto say = [&](const char *message, std::vector<t_atom> args = {}) {
        std::printf("> %s", message);
        for (const t_atom &a : args)
            std::printf(" %s", a.a_type == A_SYM ? a.a_w.w_sym->s_name : "<number>");
        std::printf("\n");
        maxhost::send(x, message, args);
        int sent = maxhost_sent_count();
        maxhost_run_queue();
        if (std::string(message) == "addfile")
            maxhost_run_until_sent(sent + 1, 12000);
    };
    say("bang");
    say("getname");
    say("front");
    say("savefocus");
    say("recallfocus");
    say("addfile");
    say("addfile", {maxhost::sym("Missing Set.als")});
    say("addfile", {maxhost::sym("My Set.als")});
    std::printf("> assist\n");
    for (long i = 0; i < 2; ++i)
        std::printf("assist   %s\n", maxhost::assist(x, ASSIST_OUTLET, i).c_str());
    std::printf("> dblclick\n");
    maxhost_dblclick(x);
    std::printf("> free\n");
    maxhost_free_object(x);
    std::printf("host allocations still live: %ld\n", maxhost_live_allocations());
    return maxhost_live_allocations() == 0 ? 0 : 1;
}
