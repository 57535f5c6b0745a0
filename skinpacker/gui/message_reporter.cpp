#include "skinpacker/gui/message_reporter.h"

#include <QApplication>
#include <QMessageBox>

#include "skinpacker/gui/qt_text.h"
#include "skinpacker/messages.h"

namespace skin {

void showWarning(QWidget* parent, std::string_view text, Icon icon) {
    QMessageBox box(icon == Icon::Information   ? QMessageBox::Information
                    : icon == Icon::Exclamation ? QMessageBox::Warning
                                                : QMessageBox::NoIcon,
                    qs(msg::kCaption), qs(text), QMessageBox::Ok, parent);
    const bool waiting = QApplication::overrideCursor() != nullptr;
    if (waiting) QApplication::setOverrideCursor(Qt::ArrowCursor);
    box.exec();
    if (waiting) QApplication::restoreOverrideCursor();
}

void MessageReporter::report(std::string_view text, Icon icon) {
    showWarning(m_parent, text, icon);
}

WaitCursor::WaitCursor() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
}
WaitCursor::~WaitCursor() {
    QApplication::restoreOverrideCursor();
}

}  // namespace skin
