#include "fixture.h"

const std::vector<maxhost::Line> &load_console()
{
    static const std::vector<maxhost::Line> lines = [] {
        maxhost_console_clear();
        maxhost_load(ext_main);
        return maxhost::console();
    }();
    return lines;
}
