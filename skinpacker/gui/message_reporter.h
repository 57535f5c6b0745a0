#pragma once

#include <QWidget>

#include "skinpacker/report.h"

namespace skin {

// Shows the model's messages in modal boxes captioned "Warning".
class MessageReporter final : public Reporter {
  public:
    explicit MessageReporter(QWidget* parent) : m_parent(parent) {}
    void report(std::string_view text, Icon icon) override;

  private:
    QWidget* m_parent;
};

// Shows one message box captioned "Warning".
void showWarning(QWidget* parent, std::string_view text, Icon icon = Icon::Exclamation);

// The wait cursor for the length of a scope; message boxes shown meanwhile get the arrow.
class WaitCursor {
  public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

}  // namespace skin
