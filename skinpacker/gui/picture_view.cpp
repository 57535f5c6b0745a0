#include "skinpacker/gui/picture_view.h"

#include <QMouseEvent>
#include <QPainter>

#include "skinpacker/item_shapes.h"

namespace skin {

namespace {

QColor paletteColour(const Project& project, int8_t value) {
    const Rgb& c = project.palette()[static_cast<size_t>(value + 1)];
    return QColor(c.r, c.g, c.b);
}

// Glyph columns shown by a time display ("00:00") and a track display ("00").
constexpr int kTimeGlyphs[] = {0, 0, 10, 0, 0};

}  // namespace

void paintItem(QPainter& p, const Project& project, int slot) {
    const Slot& s = project.slot(slot);
    const SlotInfo& info = kSlots[static_cast<size_t>(slot)];
    if (s.colours[0] == kNoColour) return;
    const QColor ink = paletteColour(project, s.colours[0]);
    if (isTitleSlot(slot)) {
        QFont f = p.font();
        f.setPixelSize(info.height - 4);
        p.setFont(f);
        p.setPen(ink);
        p.drawText(QRect(s.x, s.y, info.width, info.height), Qt::AlignLeft | Qt::AlignVCenter,
                   QStringLiteral("Title - Artist"));
        return;
    }
    const ItemShape& shape = itemShape(slot);
    QImage img(info.width, info.height, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    const bool display = slot >= 21 && slot <= 26;
    for (int y = 0; y < info.height; ++y)
        for (int x = 0; x < info.width; ++x) {
            const int sx = display ? kTimeGlyphs[x / 30] * 30 + x % 30 : x;
            if (shape.at(sx, y)) img.setPixelColor(x, y, ink);
        }
    p.drawImage(s.x, s.y, img);
}

PictureView::PictureView(const Project& project, QWidget* parent)
    : QWidget(parent), m_project(project) {
    setFixedSize(kPictureSide, kPictureSide);
    setObjectName(QStringLiteral("picture"));
    refresh();
}

void PictureView::setInteractive(bool interactive) {
    m_interactive = interactive;
    setMouseTracking(interactive);
}

void PictureView::refresh() {
    m_picture = QImage(kPictureSide, kPictureSide, QImage::Format_RGB32);
    if (!m_project.pictureLoaded()) {
        m_picture.fill(QColor(255, 255, 255));
    } else {
        const auto& pal = m_project.palette();
        for (int y = 0; y < kPictureSide; ++y) {
            auto* line = reinterpret_cast<QRgb*>(m_picture.scanLine(y));
            for (int x = 0; x < kPictureSide; ++x) {
                const Rgb& c = pal[m_project.pixel(x, y)];
                line[x] = qRgb(c.r, c.g, c.b);
            }
        }
    }
    update();
}

void PictureView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawImage(0, 0, m_picture);
    for (int s = 1; s < kSlotCount; ++s)
        if (m_project.slot(s).placed()) drawItem(p, s);
    const int sel = m_project.selected();
    if (m_interactive && sel && m_mouse.x() >= 0 && m_project.pictureLoaded()) {
        // Where a click would put the selected item, rounded as the click will be.
        const SlotInfo& info = kSlots[static_cast<size_t>(sel)];
        const int x = ((m_mouse.x() + kPictureOrigin) & ~1) - kPictureOrigin - info.width / 2;
        const int y = ((m_mouse.y() + kPictureOrigin) & ~1) - kPictureOrigin - info.height / 2;
        p.fillRect(x, y, info.width, info.height, QColor(255, 255, 0, 90));
        p.setPen(QPen(QColor(255, 200, 0), 1));
        p.drawRect(x, y, info.width - 1, info.height - 1);
    }
}

void PictureView::drawItem(QPainter& p, int slot) const {
    const Slot& s = m_project.slot(slot);
    const SlotInfo& info = kSlots[static_cast<size_t>(slot)];
    paintItem(p, m_project, slot);
    if (!m_interactive) return;
    // A frame shows every item, also those drawn in the background picture.
    p.setPen(QPen(QColor(255, 0, 255), 1, Qt::DashLine));
    p.setBrush(Qt::NoBrush);
    p.drawRect(s.x, s.y, info.width - 1, info.height - 1);
}

void PictureView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) emit clicked(event->position().toPoint());
}

void PictureView::mouseMoveEvent(QMouseEvent* event) {
    m_mouse = event->position().toPoint();
    if (m_interactive) update();
}

void PictureView::leaveEvent(QEvent*) {
    m_mouse = {-1, -1};
    update();
}

}  // namespace skin
