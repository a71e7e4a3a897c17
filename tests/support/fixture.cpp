#include "fixture.h"

const std::vector<simhost::Line> &load_console()
{
    static const std::vector<simhost::Line> lines = [] {
        simhost_console_clear();
        simhost_load(ext_main);
        return simhost::console();
    }();
    return lines;
}
