#include <QApplication>
#include <QImage>
#include <QPalette>
#include <qdrawutil.h>

#include "platform/dialogs/dialog_internal.h"

namespace dialogs_internal {

QColor toQColor(RGBColor16 c) { return QColor(c.red >> 8, c.green >> 8, c.blue >> 8); }

QImage loadPicture(const ResourceFile& res, ResID id) {
    std::span<const uint8_t> data;
    PictureInfo info;
    if (res.get(kResTypePicture, id, &data) || parsePictureInfo(data, &info)) return {};
    QImage img;
    img.loadFromData(data.data(), int(data.size()), "PNG");
    return img;
}

QRect PainterPort::local(const QDRect& r) const {
    return QRect(r.left - m_h, r.top - m_v, r.width(), r.height());
}

void PainterPort::fillRect(const QDRect& r, RGBColor16 colour) {
    m_p->fillRect(local(r), toQColor(colour));
}

void PainterPort::frameRect(const QDRect& r, RGBColor16 colour, int penWidth) {
    if (penWidth < 1 || r.width() <= 0 || r.height() <= 0) return;
    const QRect q = local(r);
    const QColor c = toQColor(colour);
    // Inside the rectangle, as the classic frame was drawn.
    m_p->fillRect(QRect(q.left(), q.top(), q.width(), penWidth), c);
    m_p->fillRect(QRect(q.left(), q.bottom() - penWidth + 1, q.width(), penWidth), c);
    m_p->fillRect(QRect(q.left(), q.top(), penWidth, q.height()), c);
    m_p->fillRect(QRect(q.right() - penWidth + 1, q.top(), penWidth, q.height()), c);
}

void PainterPort::line(int v1, int h1, int v2, int h2, RGBColor16 colour) {
    m_p->save();
    m_p->setPen(QPen(toQColor(colour), 1));
    m_p->drawLine(h1 - m_h, v1 - m_v, h2 - m_h, v2 - m_v);
    m_p->restore();
}

void PainterPort::etchedLine(const QDRect& r, bool vertical) {
    const QRect q = local(r);
    const QPalette& pal = m_widget->palette();
    // A sunken two-pixel line: the platform's etched edge.
    if (vertical)
        qDrawShadeLine(m_p, q.left() + 1, q.top(), q.left() + 1, q.bottom(), pal, true, 1, 0);
    else
        qDrawShadeLine(m_p, q.left(), q.top() + 1, q.right(), q.top() + 1, pal, true, 1, 0);
}

void PainterPort::text(const QDRect& r, std::string_view utf8, Align align, RGBColor16 colour) {
    const QRect q = local(r);
    const QFontMetrics fm(m_widget->font());
    const QString s = fm.elidedText(qs(utf8), Qt::ElideRight, q.width());
    const int h = align == Align::Left    ? Qt::AlignLeft
                  : align == Align::Right ? Qt::AlignRight
                                          : Qt::AlignHCenter;
    m_p->save();
    m_p->setFont(m_widget->font());
    m_p->setPen(toQColor(colour));
    m_p->drawText(q, h | Qt::AlignVCenter | Qt::TextSingleLine, s);
    m_p->restore();
}

int PainterPort::textWidth(std::string_view utf8) {
    return QFontMetrics(m_widget->font()).horizontalAdvance(qs(utf8));
}

OSStatus PainterPort::picture(const ResourceFile& res, ResID id, const QDRect& r) {
    std::span<const uint8_t> data;
    if (OSStatus err = res.get(kResTypePicture, id, &data)) return err;
    PictureInfo info;
    if (OSStatus err = parsePictureInfo(data, &info)) return err;
    const QImage img = loadPicture(res, id);
    if (img.isNull()) return kStatusBadResourceMap;
    const QRect q = local(r);
    QSize size = img.size();
    if (size.width() > q.width() || size.height() > q.height())
        size.scale(q.size(), Qt::KeepAspectRatio);
    const QRect target(q.left() + (q.width() - size.width()) / 2,
                       q.top() + (q.height() - size.height()) / 2, size.width(), size.height());
    m_p->drawImage(target, img);
    return noErr;
}

void PainterPort::image(const uint32_t* argb, int width, int height, int rowBytes,
                        const QDRect& dst) {
    if (!argb || width <= 0 || height <= 0 || rowBytes < width * 4) return;
    const QImage img(reinterpret_cast<const uchar*>(argb), width, height, rowBytes,
                     QImage::Format_ARGB32);
    m_p->save();
    m_p->setRenderHint(QPainter::SmoothPixmapTransform);
    m_p->drawImage(local(dst), img);
    m_p->restore();
}

}  // namespace dialogs_internal

RGBColor16 systemGrayTextColor() {
    dialogs_internal::ensureApplication();
    const QColor c = QApplication::palette().color(QPalette::Disabled, QPalette::WindowText);
    // 8-bit components widened by repeating the byte: 0xAB -> 0xABAB.
    auto widen = [](int v) { return uint16_t(v << 8 | v); };
    return {widen(c.red()), widen(c.green()), widen(c.blue())};
}
