// skinpacker built without Qt: only the headless mode.

#include <iostream>
#include <string>
#include <vector>

#include "skinpacker/headless.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (!skin::wantsHeadless(args)) {
        std::cerr << "skinpacker was built without windows; use --import or --build\n";
        return 2;
    }
    return skin::runHeadless(args, std::cout, std::cerr);
}
