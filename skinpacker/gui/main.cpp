// skinpacker: the window, or the headless mode when asked for it.

#include <QApplication>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "skinpacker/gui/main_window.h"
#include "skinpacker/headless.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (skin::wantsHeadless(args)) return skin::runHeadless(args, std::cout, std::cerr);
    // Without a display Qt would abort; say what to do instead.
    bool platformGiven = std::getenv("QT_QPA_PLATFORM") != nullptr;
    for (const std::string& a : args) platformGiven = platformGiven || a == "-platform";
    if (!platformGiven && std::getenv("DISPLAY") == nullptr &&
        std::getenv("WAYLAND_DISPLAY") == nullptr) {
        std::cerr << "skinpacker: no display to open the window on; see skinpacker --help for "
                     "the headless mode\n";
        return 2;
    }
    QApplication app(argc, argv);
    skin::MainWindow window;
    if (!window.ready()) return 1;
    window.show();
    return app.exec();
}
