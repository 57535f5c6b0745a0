#pragma once

// The program without windows, for scripts:
//   skinpacker --import PICTURE.bmp --save PROJECT.tpd
//   skinpacker --build PROJECT.tpd --out SKIN.pdb [--title T] [--author A] [--version NNNNNN]

#include <ostream>
#include <span>
#include <string>

namespace skin {

// True when `args` (without the program name) ask for the headless mode.
bool wantsHeadless(std::span<const std::string> args);

// Runs it: 0 done, 1 refused (the message is on `err`), 2 bad usage.
int runHeadless(std::span<const std::string> args, std::ostream& out, std::ostream& err);

}  // namespace skin
