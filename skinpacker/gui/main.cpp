// skinpacker: the window, or the headless mode when asked for it.

#include <QApplication>
#include <iostream>
#include <string>
#include <vector>

#include "skinpacker/gui/main_window.h"
#include "skinpacker/headless.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (skin::wantsHeadless(args)) return skin::runHeadless(args, std::cout, std::cerr);
    QApplication app(argc, argv);
    skin::MainWindow window;
    if (!window.ready()) return 1;
    window.show();
    return app.exec();
}
