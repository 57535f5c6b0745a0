#include "skinpacker/gui/item_pictures.h"

#include <QPainter>

#include "skinpacker/item_shapes.h"
#include "skinpacker/slots.h"

namespace skin {

namespace {

// A title display has no shape; its button shows a line of text in its size.
void drawTitleGlyph(QPainter& p, int slot, const QColor& ink) {
    QFont f = p.font();
    f.setPixelSize(slot == 27 ? 16 : slot == 28 ? 12 : 9);
    f.setBold(true);
    p.setFont(f);
    p.setPen(ink);
    p.drawText(QRect(3, 3, kItemButtonSize - 6, kItemButtonSize - 6), Qt::AlignCenter,
               QStringLiteral("Abc"));
}

void drawShape(QPainter& p, int slot, const QColor& ink) {
    const ItemShape& shape = itemShape(slot);
    // Displays show the first four glyphs of their strip, the rest is too small to read.
    const int w = slot >= 21 && slot <= 26 ? (slot <= 23 ? 120 : 60) : shape.width;
    const int h = shape.height;
    QImage img(w, h, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (shape.at(x, y)) img.setPixelColor(x, y, ink);
    const int room = kItemButtonSize - 8;
    QSize fitted = QSize(w, h).scaled(room, room, Qt::KeepAspectRatio);
    fitted = fitted.expandedTo(QSize(2, 2));
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(QRect((kItemButtonSize - fitted.width()) / 2,
                      (kItemButtonSize - fitted.height()) / 2, fitted.width(), fitted.height()),
                img);
}

}  // namespace

QPixmap itemButtonPicture(int slot, ButtonLook look) {
    QPixmap pm(kItemButtonSize, kItemButtonSize);
    const QColor face = look == ButtonLook::Down ? QColor(255, 236, 170) : QColor(228, 228, 228);
    pm.fill(face);
    QPainter p(&pm);
    const QColor light(255, 255, 255), dark(120, 120, 120);
    const int e = kItemButtonSize - 1;
    p.setPen(look == ButtonLook::Down ? dark : light);
    p.drawLine(0, 0, e, 0);
    p.drawLine(0, 0, 0, e);
    p.setPen(look == ButtonLook::Down ? light : dark);
    p.drawLine(e, 0, e, e);
    p.drawLine(0, e, e, e);
    const QColor ink = look == ButtonLook::Disabled ? QColor(165, 165, 165)
                       : look == ButtonLook::Down   ? QColor(170, 30, 20)
                                                    : QColor(20, 40, 110);
    if (isTitleSlot(slot))
        drawTitleGlyph(p, slot, ink);
    else
        drawShape(p, slot, ink);
    return pm;
}

}  // namespace skin
