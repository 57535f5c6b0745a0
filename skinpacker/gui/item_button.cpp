#include "skinpacker/gui/item_button.h"

#include <QPainter>

#include "skinpacker/gui/item_pictures.h"
#include "skinpacker/gui/qt_text.h"
#include "skinpacker/slots.h"

namespace skin {

ItemButton::ItemButton(int slot, QWidget* parent) : QAbstractButton(parent), m_slot(slot) {
    setCheckable(true);
    setObjectName(QStringLiteral("item%1").arg(slot));
    setToolTip(qs(kSlots[static_cast<size_t>(slot)].label));
    setFixedSize(kItemButtonSize, kItemButtonSize);
}

QSize ItemButton::sizeHint() const {
    return {kItemButtonSize, kItemButtonSize};
}

void ItemButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const ButtonLook look = !isEnabled()              ? ButtonLook::Disabled
                            : isChecked() || isDown() ? ButtonLook::Down
                                                      : ButtonLook::Up;
    p.drawPixmap(0, 0, itemButtonPicture(m_slot, look));
}

}  // namespace skin
