#include "skinpacker/gui/colour_strip.h"

#include <QMouseEvent>
#include <QPainter>

#include "skinpacker/slots.h"

namespace skin {

namespace {
constexpr int kCell = 16;
}

QColor standardColour(int value) {
    const Rgb& c = kStandardPalette[static_cast<size_t>(value)];
    return QColor(c.r, c.g, c.b);
}

ColourStrip::ColourStrip(QWidget* parent) : QWidget(parent) {
    setFixedSize(kCell * kStandardColours, kCell);
    setCursor(Qt::PointingHandCursor);
}

void ColourStrip::setValue(int value) {
    m_value = value;
    update();
}

void ColourStrip::paintEvent(QPaintEvent*) {
    QPainter p(this);
    for (int i = 0; i < kStandardColours; ++i)
        p.fillRect(i * kCell, 0, kCell, kCell, standardColour(i));
    if (isEnabled() && m_value >= 0) {
        p.setPen(QPen(Qt::black, 2));
        p.drawRect(m_value * kCell + 1, 1, kCell - 2, kCell - 2);
        p.setPen(QPen(Qt::white, 1));
        p.drawRect(m_value * kCell + 3, 3, kCell - 7, kCell - 7);
    }
    if (!isEnabled()) p.fillRect(rect(), QColor(240, 240, 240, 170));
}

void ColourStrip::mousePressEvent(QMouseEvent* event) {
    const int v = static_cast<int>(event->position().x()) / kCell;
    if (v < 0 || v >= kStandardColours) return;
    setValue(v);
    emit chosen(v);
}

ColourSwatch::ColourSwatch(QWidget* parent) : QWidget(parent) {
    setFixedSize(32, kCell);
}

void ColourSwatch::setValue(int value) {
    m_value = value;
    update();
}

void ColourSwatch::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (m_value >= 0 && isEnabled()) {
        p.fillRect(rect(), standardColour(m_value));
    } else {
        // None chosen: a crossed box.
        p.fillRect(rect(), Qt::white);
        p.setPen(QColor(160, 160, 160));
        p.drawLine(0, 0, width() - 1, height() - 1);
        p.drawLine(0, height() - 1, width() - 1, 0);
    }
    p.setPen(Qt::black);
    p.drawRect(0, 0, width() - 1, height() - 1);
}

}  // namespace skin
