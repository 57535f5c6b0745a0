#pragma once

// How the model tells the user something. The windows show a message box
// captioned "Warning"; the headless mode writes to stderr.

#include <string_view>

namespace skin {

enum class Icon { None, Exclamation, Information };

class Reporter {
  public:
    virtual ~Reporter() = default;
    virtual void report(std::string_view text, Icon icon) = 0;
};

}  // namespace skin
