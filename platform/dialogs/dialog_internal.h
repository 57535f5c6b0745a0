#pragma once
// The dialog manager's records over Qt widgets; only platform/dialogs/ sees them.
#include <QPainter>
#include <QString>
#include <QWidget>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "platform/dialogs.h"

class QComboBox;
class QLabel;
class QListWidget;
class QTabBar;
class QLineEdit;
class QProgressBar;
class QScrollBar;
class QAbstractButton;

namespace dialogs_internal {

inline QString qs(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
}
inline std::string us(const QString& s) { return s.toUtf8().toStdString(); }
inline QString fromMacRoman(const std::string& mac) { return qs(macRomanToUtf8(mac)); }

enum class Widget { None, Button, CheckBox, Radio, Static, Edit, Picture, Icon, User, Popup,
                    Progress, ScrollBar, Custom, List, Tabs };

struct Item {
    uint8_t kind = kUserItem;
    bool disabled = false;
    QDRect rect;
    Widget widget = Widget::None;
    QWidget* w = nullptr;  // owned by the window
    bool control = false;
    int value = 0, minimum = 0, maximum = 0, hilite = 0;
    int procID = -1;
    ResID resourceID = 0;
    bool visible = true;
    QComboBox* combo = nullptr;
    QLabel* popupTitle = nullptr;
    UserItemDrawProc draw;
    UserItemMouseProc mouse;
};

class DialogWindow;

}  // namespace dialogs_internal

struct DialogRecord {
    const ResourceFile* res = nullptr;
    FourCC type = 0;
    ResID id = 0;
    std::unique_ptr<dialogs_internal::DialogWindow> window;
    std::vector<dialogs_internal::Item> items;
    int defaultItem = 0, cancelItem = 0;
    std::deque<int> hits;
    const ModalFilterProc* filter = nullptr;  // set while a modal loop runs
    bool keepsCursor = false;
    bool programmatic = false;  // set while the program changes widgets
    DropProc drop;              // files dropped on the window; null: no drops
};

namespace dialogs_internal {

class DialogWindow final : public QWidget {
  public:
    explicit DialogWindow(DialogRecord* d);
    bool eventFilter(QObject* watched, QEvent* event) override;

  protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    DialogRecord* m_d;
};

// A QPainter seen as a DrawPort; coordinates are window pixels, the
// painter's origin is at the item's top-left corner (origin).
class PainterPort final : public DrawPort {
  public:
    PainterPort(QPainter* p, QWidget* widget, int originV, int originH)
        : m_p(p), m_widget(widget), m_v(originV), m_h(originH) {}
    void fillRect(const QDRect& r, RGBColor16 colour) override;
    void frameRect(const QDRect& r, RGBColor16 colour, int penWidth) override;
    void line(int v1, int h1, int v2, int h2, RGBColor16 colour) override;
    void etchedLine(const QDRect& r, bool vertical) override;
    void text(const QDRect& r, std::string_view utf8, Align align, RGBColor16 colour) override;
    int textWidth(std::string_view utf8) override;
    OSStatus picture(const ResourceFile& res, ResID id, const QDRect& r) override;
    void image(const uint32_t* argb, int width, int height, int rowBytes,
               const QDRect& dst) override;

  private:
    QRect local(const QDRect& r) const;
    QPainter* m_p;
    QWidget* m_widget;
    int m_v, m_h;
};

QColor toQColor(RGBColor16 c);
// Loads PICT id as an image; null image when missing or bad.
QImage loadPicture(const ResourceFile& res, ResID id);
void ensureApplication();
// The item's record; null for a null dialog or an item outside the DITL.
Item* findItem(DialogPtr d, int item);

}  // namespace dialogs_internal
