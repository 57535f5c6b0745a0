#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QStyle>
#include <QTabBar>
#include <QTimer>
#include <array>
#include <chrono>
#include <map>

#include "platform/dialogs/dialog_internal.h"

using namespace dialogs_internal;

namespace {

std::array<std::string, 4> g_paramText;
std::map<int16_t, ControlDefinition> g_controlDefs;
std::deque<ModalScriptStep> g_script;
bool g_scriptInstalled = false;
int g_beeps = 0;

constexpr int16_t kPopupDefinitionID = kControlProcPopup / 16;

bool builtInDefinition(int16_t id) {
    return id == 0 || id == kControlProcScrollBar / 16 || id == kControlProcProgressBar / 16 ||
           id == kPopupDefinitionID;
}

Item* itemOf(DialogPtr d, int item) {
    if (!d || item < 1 || item > int(d->items.size())) return nullptr;
    return &d->items[size_t(item) - 1];
}

// True when clicks on the item are reported.
bool reports(const Item& it) { return !it.disabled && it.hilite != 255; }

void pushHit(DialogPtr d, int item) {
    const Item* it = itemOf(d, item);
    if (it && reports(*it)) d->hits.push_back(item);
}

// Static text breaks lines at carriage returns, as the resources write them.
QString labelText(QString text) {
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

// Replaces ^0..^3 with the parameter texts.
QString withParams(const QString& text) {
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('^') && i + 1 < text.size() && text[i + 1] >= QLatin1Char('0') &&
            text[i + 1] <= QLatin1Char('3')) {
            out += qs(g_paramText[size_t(text[i + 1].unicode() - '0')]);
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

// Buttons that report a click but leave the value to the program.
class MacCheckBox final : public QCheckBox {
  public:
    using QCheckBox::QCheckBox;

  protected:
    void nextCheckState() override {}
};
class MacRadioButton final : public QRadioButton {
  public:
    using QRadioButton::QRadioButton;

  protected:
    void nextCheckState() override {}
};

// User items, pictures, icons and custom controls: drawn by us, clicks
// followed with the mouse.
class ItemView final : public QWidget {
  public:
    ItemView(DialogRecord* d, int item, QWidget* parent) : QWidget(parent), m_d(d), m_item(item) {}

  protected:
    void paintEvent(QPaintEvent*) override {
        Item* it = itemOf(m_d, m_item);
        if (!it) return;
        QPainter p(this);
        PainterPort port(&p, this, it->rect.top, it->rect.left);
        switch (it->widget) {
            case Widget::User:
                if (it->draw) it->draw(m_d, m_item, port);
                break;
            case Widget::Picture:
                port.picture(*m_d->res, it->resourceID, it->rect);
                break;
            case Widget::Icon: {
                const QStyle::StandardPixmap sp = it->resourceID == 0 ? QStyle::SP_MessageBoxCritical
                                                  : it->resourceID == 1
                                                      ? QStyle::SP_MessageBoxInformation
                                                      : QStyle::SP_MessageBoxWarning;
                const int s = std::min(width(), height());
                style()->standardIcon(sp).paint(&p, QRect((width() - s) / 2, (height() - s) / 2, s, s));
                break;
            }
            case Widget::Custom: {
                auto def = g_controlDefs.find(int16_t(it->procID / 16));
                if (def != g_controlDefs.end() && def->second.draw)
                    def->second.draw(context(*it), port);
                break;
            }
            default:
                break;
        }
    }
    void mousePressEvent(QMouseEvent* e) override { mouse(MouseAction::Down, e); }
    void mouseMoveEvent(QMouseEvent* e) override {
        if (e->buttons() & Qt::LeftButton) mouse(MouseAction::Drag, e);
    }
    void mouseReleaseEvent(QMouseEvent* e) override { mouse(MouseAction::Up, e); }

  private:
    ControlContext context(const Item& it) const {
        ControlContext c;
        c.dialog = m_d;
        c.item = m_item;
        c.bounds = it.rect;
        c.value = it.value;
        c.minimum = it.minimum;
        c.maximum = it.maximum;
        c.hilite = it.hilite;
        c.variation = it.procID % 16;
        return c;
    }
    void mouse(MouseAction action, QMouseEvent* e) {
        Item* it = itemOf(m_d, m_item);
        if (!it || e->button() == Qt::RightButton) return;
        const int v = it->rect.top + int(e->position().y());
        const int h = it->rect.left + int(e->position().x());
        if (it->widget == Widget::Custom) {
            if (action != MouseAction::Up || it->hilite == 255 || !rect().contains(e->position().toPoint()))
                return;
            auto def = g_controlDefs.find(int16_t(it->procID / 16));
            const bool hit = def == g_controlDefs.end() || !def->second.click ||
                             def->second.click(context(*it), v, h);
            update();
            if (hit) pushHit(m_d, m_item);
            return;
        }
        bool hit = action == MouseAction::Up && rect().contains(e->position().toPoint());
        if (it->mouse) hit = it->mouse(m_d, m_item, action, v, h) && action == MouseAction::Up;
        if (hit) pushHit(m_d, m_item);
    }

    DialogRecord* m_d;
    int m_item;
};

QFont dialogFont() {
    QFont f = QApplication::font();
    f.setPixelSize(12);
    return f;
}

OSStatus bad(std::string* why, std::string text, OSStatus status = kStatusBadResourceMap) {
    if (why) *why = std::move(text);
    return status;
}

std::string resName(FourCC type, ResID id) {
    std::string s;
    for (int sh = 24; sh >= 0; sh -= 8) s.push_back(char(type >> sh));
    return s + " " + std::to_string(id);
}

// Fills a popup's combo box from MENU menuID (none: an empty menu).
OSStatus loadMenu(const ResourceFile& res, ResID menuID, QComboBox* combo, std::string* why) {
    std::span<const uint8_t> data;
    if (res.get(kResTypeMenu, menuID, &data)) return noErr;
    MenuTemplate m;
    std::string w;
    if (parseMenuTemplate(data, &m, &w)) return bad(why, resName(kResTypeMenu, menuID) + ": " + w);
    auto* model = static_cast<QStandardItemModel*>(combo->model());
    for (size_t i = 0; i < m.items.size(); ++i) {
        if (m.items[i].text == "-") {
            combo->insertSeparator(combo->count());
            continue;
        }
        combo->addItem(fromMacRoman(m.items[i].text));
        const bool enabled = i + 1 >= 32 || (m.enableFlags >> (i + 1) & 1);
        if (!enabled) model->item(combo->count() - 1)->setEnabled(false);
    }
    return noErr;
}

OSStatus buildControl(DialogRecord* d, int number, Item* it, QWidget* parent, std::string* why) {
    std::span<const uint8_t> data;
    const std::string name = resName(kResTypeControl, it->resourceID);
    if (d->res->get(kResTypeControl, it->resourceID, &data))
        return bad(why, "item " + std::to_string(number) + ": " + name + " is missing",
                   kStatusResourceNotFound);
    ControlTemplate c;
    std::string w;
    if (parseControlTemplate(data, &c, &w)) return bad(why, name + ": " + w);
    it->control = true;
    it->procID = c.procID;
    it->value = c.value;
    it->minimum = c.min;
    it->maximum = c.max;
    it->visible = c.visible;
    const int16_t def = int16_t(c.procID / 16);
    const QString title = fromMacRoman(c.title);
    if (def == 0) {
        const int variation = c.procID % 16;
        QAbstractButton* b = variation == 1   ? static_cast<QAbstractButton*>(new MacCheckBox(title, parent))
                             : variation == 2 ? static_cast<QAbstractButton*>(new MacRadioButton(title, parent))
                                              : static_cast<QAbstractButton*>(new QPushButton(title, parent));
        it->widget = variation == 1 ? Widget::CheckBox : variation == 2 ? Widget::Radio : Widget::Button;
        if (variation == 0) it->value = it->minimum = it->maximum = 0;
        it->w = b;
    } else if (def == kPopupDefinitionID) {
        auto* box = new QWidget(parent);
        auto* combo = new QComboBox(box);
        combo->setMaxVisibleItems(30);
        auto* label = new QLabel(title, box);
        const int titleWidth = title.isEmpty() ? 0 : std::max(0, int(c.max));
        label->setGeometry(0, 0, titleWidth, it->rect.height());
        label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        label->setVisible(titleWidth > 0);
        combo->setGeometry(titleWidth, 0, it->rect.width() - titleWidth, it->rect.height());
        if (OSStatus err = loadMenu(*d->res, c.min, combo, why)) return err;
        it->combo = combo;
        it->popupTitle = label;
        it->widget = Widget::Popup;
        it->w = box;
        it->minimum = 1;
        it->maximum = combo->count();
        it->value = combo->count() ? 1 : 0;
        combo->setCurrentIndex(it->value - 1);
    } else if (c.procID == kControlProcProgressBar) {
        auto* bar = new QProgressBar(parent);
        bar->setTextVisible(false);
        it->widget = Widget::Progress;
        it->w = bar;
    } else if (def == kControlProcScrollBar / 16) {
        auto* bar = new QScrollBar(it->rect.width() > it->rect.height() ? Qt::Horizontal : Qt::Vertical,
                                   parent);
        it->widget = Widget::ScrollBar;
        it->w = bar;
    } else if (g_controlDefs.count(def)) {
        it->widget = Widget::Custom;
        it->w = new ItemView(d, number, parent);
    } else {
        return bad(why, name + ": no control definition " + std::to_string(def) + " (procID " +
                            std::to_string(c.procID) + ")",
                   kStatusResourceNotFound);
    }
    return noErr;
}

void applyControl(DialogRecord* d, Item& it) {
    const bool saved = d->programmatic;
    d->programmatic = true;
    switch (it.widget) {
        case Widget::CheckBox:
        case Widget::Radio:
            static_cast<QAbstractButton*>(it.w)->setChecked(it.value != 0);
            break;
        case Widget::Popup:
            it.combo->setCurrentIndex(it.value - 1);
            break;
        case Widget::Progress: {
            auto* bar = static_cast<QProgressBar*>(it.w);
            bar->setRange(it.minimum, std::max(it.minimum, it.maximum));
            bar->setValue(it.value);
            break;
        }
        case Widget::ScrollBar: {
            auto* bar = static_cast<QScrollBar*>(it.w);
            bar->setRange(it.minimum, std::max(it.minimum, it.maximum));
            bar->setValue(it.value);
            break;
        }
        default:
            break;
    }
    if (it.w) {
        it.w->setEnabled(it.hilite != 255);
        it.w->update();
    }
    d->programmatic = saved;
}

void connectItem(DialogRecord* d, int number, Item& it) {
    if (auto* b = qobject_cast<QAbstractButton*>(it.w)) {
        QObject::connect(b, &QAbstractButton::clicked, b, [d, number] { pushHit(d, number); });
    } else if (it.combo) {
        QObject::connect(it.combo, &QComboBox::activated, it.combo, [d, number](int index) {
            Item* item = itemOf(d, number);
            if (!item) return;
            item->value = index + 1;
            pushHit(d, number);
        });
    } else if (auto* e = qobject_cast<QLineEdit*>(it.w)) {
        QObject::connect(e, &QLineEdit::textEdited, e, [d, number] { pushHit(d, number); });
    } else if (auto* s = qobject_cast<QScrollBar*>(it.w)) {
        QObject::connect(s, &QScrollBar::valueChanged, s, [d, number](int v) {
            Item* item = itemOf(d, number);
            if (!item || d->programmatic) return;
            item->value = v;
            pushHit(d, number);
        });
    }
}

void watchKeys(DialogWindow* window, QWidget* w) {
    w->installEventFilter(window);
    for (QObject* child : w->children())
        if (auto* cw = qobject_cast<QWidget*>(child)) watchKeys(window, cw);
}

OSStatus buildDialog(const ResourceFile& res, FourCC type, ResID id, const QDRect& bounds,
                     int16_t kind, const std::string& title, bool visible, ResID itemsID,
                     DialogPtr* out, std::string* why) {
    ensureApplication();
    std::span<const uint8_t> data;
    if (res.get(kResTypeItemList, itemsID, &data))
        return bad(why, resName(type, id) + ": its item list " + resName(kResTypeItemList, itemsID) +
                            " is missing",
                   kStatusResourceNotFound);
    std::vector<DialogItemTemplate> items;
    std::string w;
    if (parseDialogItemList(data, &items, &w))
        return bad(why, resName(kResTypeItemList, itemsID) + ": " + w);

    auto d = std::make_unique<DialogRecord>();
    d->res = &res;
    d->type = type;
    d->id = id;
    d->window = std::make_unique<DialogWindow>(d.get());
    DialogWindow* win = d->window.get();
    win->setFont(dialogFont());
    win->setFixedSize(bounds.width(), bounds.height());
    win->setWindowTitle(fromMacRoman(title));
    if (kind == kDialogKindPlain || kind == kDialogKindModal)
        win->setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    d->items.resize(items.size());
    for (size_t i = 0; i < items.size(); ++i) {
        const int number = int(i) + 1;
        const DialogItemTemplate& t = items[i];
        Item& it = d->items[i];
        it.kind = t.kind;
        it.disabled = t.disabled;
        it.rect = t.bounds;
        it.resourceID = t.resourceID;
        // An item outside the window would be cut off or unreachable.
        if (t.bounds.left < 0 || t.bounds.top < 0 || t.bounds.right > bounds.width() ||
            t.bounds.bottom > bounds.height())
            return bad(why, resName(kResTypeItemList, itemsID) + ": item " + std::to_string(number) +
                                " lies outside the " + std::to_string(bounds.width()) + " x " +
                                std::to_string(bounds.height()) + " window");
        const QString text = fromMacRoman(t.text);
        switch (t.kind) {
            case kButtonItem:
                it.w = new QPushButton(text, win);
                it.widget = Widget::Button;
                it.control = true;
                break;
            case kCheckBoxItem:
                it.w = new MacCheckBox(text, win);
                it.widget = Widget::CheckBox;
                it.control = true;
                it.maximum = 1;
                break;
            case kRadioButtonItem:
                it.w = new MacRadioButton(text, win);
                it.widget = Widget::Radio;
                it.control = true;
                it.maximum = 1;
                break;
            case kStaticTextItem: {
                auto* label = new QLabel(labelText(withParams(text)), win);
                label->setWordWrap(true);
                label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
                label->setTextFormat(Qt::PlainText);
                it.w = label;
                it.widget = Widget::Static;
                break;
            }
            case kEditTextItem: {
                auto* edit = new QLineEdit(text, win);
                edit->setMaxLength(255);
                it.w = edit;
                it.widget = Widget::Edit;
                break;
            }
            case kControlItem:
                if (OSStatus err = buildControl(d.get(), number, &it, win, why)) return err;
                break;
            case kPictureItem:
                it.w = new ItemView(d.get(), number, win);
                it.widget = Widget::Picture;
                break;
            case kIconItem:
                it.w = new ItemView(d.get(), number, win);
                it.widget = Widget::Icon;
                break;
            default:
                it.w = new ItemView(d.get(), number, win);
                it.widget = Widget::User;
                break;
        }
        if (auto* b = qobject_cast<QPushButton*>(it.w)) b->setAutoDefault(false);
        it.w->setGeometry(t.bounds.left, t.bounds.top, t.bounds.width(), t.bounds.height());
        it.w->setVisible(it.visible);
        applyControl(d.get(), it);
        connectItem(d.get(), number, it);
    }
    // The first edit text takes the keyboard, as on the classic toolbox.
    for (Item& it : d->items)
        if (it.widget == Widget::Edit) {
            it.w->setFocus();
            break;
        }
    watchKeys(win, win);
    if (visible) win->show();
    *out = d.release();
    return noErr;
}

void pumpOnce(bool wait) {
    if (!wait) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        return;
    }
    // Wake up for the next idle tick even when nothing happens.
    QEventLoop loop;
    QTimer::singleShot(16, &loop, &QEventLoop::quit);
    loop.exec();
}

QWidget* keyTarget(DialogPtr d) {
    QWidget* f = d->window->focusWidget();
    return f ? f : d->window.get();
}

bool sendMouse(QWidget* w, QEvent::Type type, QPoint local, Qt::MouseButtons held) {
    QMouseEvent e(type, QPointF(local), QPointF(w->mapToGlobal(local)), Qt::LeftButton, held,
                  Qt::NoModifier);
    if (type == QEvent::MouseMove) {
        QMouseEvent m(type, QPointF(local), QPointF(w->mapToGlobal(local)), Qt::NoButton, held,
                      Qt::NoModifier);
        return QApplication::sendEvent(w, &m);
    }
    return QApplication::sendEvent(w, &e);
}

}  // namespace

namespace dialogs_internal {

void ensureApplication() {
    if (QApplication::instance()) return;
    static int argc = 1;
    static char name[] = "moviepacker";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);  // lives for the process, as the program's would
}

DialogWindow::DialogWindow(DialogRecord* d) : QWidget(nullptr, Qt::Dialog), m_d(d) {}

bool DialogWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        auto* k = static_cast<QKeyEvent*>(event);
        DialogEvent ev;
        ev.kind = DialogEventKind::Key;
        ev.key = k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter ? kKeyReturn
                 : k->key() == Qt::Key_Escape                            ? kKeyEscape
                 : k->text().isEmpty()                                   ? 0
                                                                         : k->text()[0].unicode();
        int hit = 0;
        if (m_d->filter && *m_d->filter && (*m_d->filter)(m_d, ev, &hit)) {
            if (hit) m_d->hits.push_back(hit);
            return true;
        }
        if (ev.key == kKeyReturn || ev.key == kKeyEscape) {
            const int item = ev.key == kKeyReturn ? m_d->defaultItem : m_d->cancelItem;
            if (item) pushHit(m_d, item);
            return item != 0;
        }
    } else if (event->type() == QEvent::CursorChange && m_d->keepsCursor && watched != this) {
        auto* w = qobject_cast<QWidget*>(watched);
        if (w && w->testAttribute(Qt::WA_SetCursor)) w->unsetCursor();
    }
    return QWidget::eventFilter(watched, event);
}

void DialogWindow::closeEvent(QCloseEvent* event) {
    // The close box is the cancel item; the program decides what follows.
    event->ignore();
    if (m_d->cancelItem) pushHit(m_d, m_d->cancelItem);
}

}  // namespace dialogs_internal

// --- Dialogs -------------------------------------------------------------------

OSStatus newDialog(const ResourceFile& res, ResID dlogID, DialogPtr* out, std::string* why) {
    if (!out) return kStatusParamError;
    std::span<const uint8_t> data;
    if (res.get(kResTypeDialog, dlogID, &data))
        return bad(why, resName(kResTypeDialog, dlogID) + " is missing", kStatusResourceNotFound);
    DialogTemplate t;
    std::string w;
    if (parseDialogTemplate(data, &t, &w)) return bad(why, resName(kResTypeDialog, dlogID) + ": " + w);
    return buildDialog(res, kResTypeDialog, dlogID, t.bounds, t.kind, t.title, t.visible, t.itemsID,
                       out, why);
}

OSStatus newAlertDialog(const ResourceFile& res, ResID alrtID, DialogPtr* out, std::string* why) {
    if (!out) return kStatusParamError;
    std::span<const uint8_t> data;
    if (res.get(kResTypeAlert, alrtID, &data))
        return bad(why, resName(kResTypeAlert, alrtID) + " is missing", kStatusResourceNotFound);
    AlertTemplate t;
    std::string w;
    if (parseAlertTemplate(data, &t, &w)) return bad(why, resName(kResTypeAlert, alrtID) + ": " + w);
    OSStatus err = buildDialog(res, kResTypeAlert, alrtID, t.bounds, kDialogKindMovable,
                               std::string(), false, t.itemsID, out, why);
    if (err) return err;
    DialogPtr d = *out;
    d->window->setWindowTitle(QApplication::applicationDisplayName());
    setDefaultItem(d, 1);
    const Item* second = itemOf(d, 2);
    if (second && second->widget == Widget::Button) setCancelItem(d, 2);
    return noErr;
}

void disposeDialog(DialogPtr d) {
    if (!d) return;
    d->window.reset();
    delete d;
}

FourCC dialogResourceType(DialogPtr d) { return d ? d->type : 0; }
ResID dialogResourceID(DialogPtr d) { return d ? d->id : 0; }
const ResourceFile* dialogResources(DialogPtr d) { return d ? d->res : nullptr; }

void showWindow(DialogPtr d) {
    if (d) d->window->show();
}
void hideWindow(DialogPtr d) {
    if (d) d->window->hide();
}
bool isWindowVisible(DialogPtr d) { return d && d->window->isVisible(); }
std::string windowTitle(DialogPtr d) { return d ? us(d->window->windowTitle()) : std::string(); }
void setWindowTitle(DialogPtr d, std::string_view utf8) {
    if (d) d->window->setWindowTitle(qs(utf8));
}

int countItems(DialogPtr d) { return d ? int(d->items.size()) : 0; }

OSStatus getItemKind(DialogPtr d, int item, uint8_t* kind) {
    const Item* it = itemOf(d, item);
    if (!it || !kind) return kStatusParamError;
    *kind = it->kind;
    return noErr;
}

int controlProcID(DialogPtr d, int item) {
    const Item* it = itemOf(d, item);
    return it && it->kind == kControlItem ? it->procID : -1;
}

OSStatus getItemRect(DialogPtr d, int item, QDRect* r) {
    const Item* it = itemOf(d, item);
    if (!it || !r) return kStatusParamError;
    *r = it->rect;
    return noErr;
}

OSStatus setItemRect(DialogPtr d, int item, const QDRect& r) {
    Item* it = itemOf(d, item);
    if (!it || r.top > r.bottom || r.left > r.right) return kStatusParamError;
    it->rect = r;
    it->w->setGeometry(r.left, r.top, r.width(), r.height());
    if (it->combo) {
        const int titleWidth = it->popupTitle->isVisible() ? it->popupTitle->width() : 0;
        it->popupTitle->resize(titleWidth, r.height());
        it->combo->setGeometry(titleWidth, 0, r.width() - titleWidth, r.height());
    }
    return noErr;
}

OSStatus showItem(DialogPtr d, int item) {
    Item* it = itemOf(d, item);
    if (!it) return kStatusParamError;
    it->visible = true;
    it->w->show();
    return noErr;
}

OSStatus hideItem(DialogPtr d, int item) {
    Item* it = itemOf(d, item);
    if (!it) return kStatusParamError;
    it->visible = false;
    it->w->hide();
    return noErr;
}

bool isItemVisible(DialogPtr d, int item) {
    const Item* it = itemOf(d, item);
    return it && it->visible;
}

OSStatus invalidateItem(DialogPtr d, int item) {
    Item* it = itemOf(d, item);
    if (!it) return kStatusParamError;
    if (it->visible) it->w->update();
    return noErr;
}

OSStatus getItemText(DialogPtr d, int item, std::string* utf8) {
    const Item* it = itemOf(d, item);
    if (!it || !utf8) return kStatusParamError;
    if (auto* b = qobject_cast<QAbstractButton*>(it->w)) *utf8 = us(b->text());
    else if (auto* l = qobject_cast<QLabel*>(it->w)) *utf8 = us(l->text());
    else if (auto* e = qobject_cast<QLineEdit*>(it->w)) *utf8 = us(e->text());
    else if (it->popupTitle) *utf8 = us(it->popupTitle->text());
    else return kStatusParamError;
    return noErr;
}

OSStatus setItemText(DialogPtr d, int item, std::string_view utf8) {
    Item* it = itemOf(d, item);
    if (!it) return kStatusParamError;
    const bool saved = d->programmatic;
    d->programmatic = true;
    if (auto* b = qobject_cast<QAbstractButton*>(it->w)) b->setText(qs(utf8));
    else if (auto* l = qobject_cast<QLabel*>(it->w)) l->setText(labelText(qs(utf8)));
    else if (auto* e = qobject_cast<QLineEdit*>(it->w)) e->setText(qs(utf8));
    else if (it->popupTitle) it->popupTitle->setText(qs(utf8));
    else {
        d->programmatic = saved;
        return kStatusParamError;
    }
    d->programmatic = saved;
    return noErr;
}

OSStatus selectItemText(DialogPtr d, int item, int start, int end) {
    Item* it = itemOf(d, item);
    auto* e = it ? qobject_cast<QLineEdit*>(it->w) : nullptr;
    if (!e || start < 0 || end < start) return kStatusParamError;
    e->setFocus();
    const int len = int(e->text().size());
    start = std::min(start, len);
    end = std::min(end, len);
    e->setSelection(start, end - start);
    return noErr;
}

int itemTextWidth(DialogPtr d, int item, std::string_view utf8) {
    const Item* it = itemOf(d, item);
    if (!it) return 0;
    return QFontMetrics(it->w->font()).horizontalAdvance(qs(utf8));
}

void setParamText(std::string_view p0, std::string_view p1, std::string_view p2,
                  std::string_view p3) {
    g_paramText = {std::string(p0), std::string(p1), std::string(p2), std::string(p3)};
}

OSStatus setDefaultItem(DialogPtr d, int item) {
    if (!d || (item != 0 && !itemOf(d, item))) return kStatusParamError;
    if (Item* old = itemOf(d, d->defaultItem))
        if (auto* b = qobject_cast<QPushButton*>(old->w)) b->setDefault(false);
    d->defaultItem = item;
    if (Item* it = itemOf(d, item))
        if (auto* b = qobject_cast<QPushButton*>(it->w)) b->setDefault(true);
    return noErr;
}

OSStatus setCancelItem(DialogPtr d, int item) {
    if (!d || (item != 0 && !itemOf(d, item))) return kStatusParamError;
    d->cancelItem = item;
    return noErr;
}

int defaultItem(DialogPtr d) { return d ? d->defaultItem : 0; }
int cancelItem(DialogPtr d) { return d ? d->cancelItem : 0; }

// --- Controls ------------------------------------------------------------------

namespace {
Item* controlOf(DialogPtr d, int item) {
    Item* it = itemOf(d, item);
    return it && it->control ? it : nullptr;
}
}  // namespace

OSStatus getControlValue(DialogPtr d, int item, int* value) {
    const Item* it = controlOf(d, item);
    if (!it || !value) return kStatusParamError;
    *value = it->value;
    return noErr;
}

OSStatus setControlValue(DialogPtr d, int item, int value) {
    Item* it = controlOf(d, item);
    if (!it) return kStatusParamError;
    it->value = std::clamp(value, it->minimum, std::max(it->minimum, it->maximum));
    // An empty popup shows nothing chosen.
    if (it->combo && it->combo->count() == 0) it->value = 0;
    applyControl(d, *it);
    return noErr;
}

OSStatus getControlMinimum(DialogPtr d, int item, int* value) {
    const Item* it = controlOf(d, item);
    if (!it || !value) return kStatusParamError;
    *value = it->minimum;
    return noErr;
}

OSStatus setControlMinimum(DialogPtr d, int item, int value) {
    Item* it = controlOf(d, item);
    if (!it) return kStatusParamError;
    it->minimum = value;
    it->value = std::clamp(it->value, it->minimum, std::max(it->minimum, it->maximum));
    applyControl(d, *it);
    return noErr;
}

OSStatus getControlMaximum(DialogPtr d, int item, int* value) {
    const Item* it = controlOf(d, item);
    if (!it || !value) return kStatusParamError;
    *value = it->maximum;
    return noErr;
}

OSStatus setControlMaximum(DialogPtr d, int item, int value) {
    Item* it = controlOf(d, item);
    if (!it) return kStatusParamError;
    it->maximum = value;
    it->value = std::clamp(it->value, it->minimum, std::max(it->minimum, it->maximum));
    applyControl(d, *it);
    return noErr;
}

OSStatus hiliteControl(DialogPtr d, int item, int state) {
    Item* it = controlOf(d, item);
    if (!it || (state != 0 && state != 255)) return kStatusParamError;
    it->hilite = state;
    applyControl(d, *it);
    return noErr;
}

int controlHilite(DialogPtr d, int item) {
    const Item* it = controlOf(d, item);
    return it ? it->hilite : -1;
}

OSStatus registerControlDefinition(int16_t definitionID, ControlDefinition def) {
    if (builtInDefinition(definitionID) || !def.draw) return kStatusParamError;
    g_controlDefs[definitionID] = std::move(def);
    return noErr;
}

bool isControlDefinitionRegistered(int16_t definitionID) {
    return g_controlDefs.count(definitionID) != 0;
}

// --- Popup menus ----------------------------------------------------------------

namespace {
QComboBox* comboOf(DialogPtr d, int item) {
    Item* it = itemOf(d, item);
    return it ? it->combo : nullptr;
}
QStandardItem* menuItemOf(DialogPtr d, int item, int menuItem) {
    QComboBox* c = comboOf(d, item);
    if (!c || menuItem < 1 || menuItem > c->count()) return nullptr;
    return static_cast<QStandardItemModel*>(c->model())->item(menuItem - 1);
}
}  // namespace

int countMenuItems(DialogPtr d, int item) {
    QComboBox* c = comboOf(d, item);
    return c ? c->count() : -1;
}

OSStatus appendMenuItem(DialogPtr d, int item, std::string_view utf8) {
    QComboBox* c = comboOf(d, item);
    if (!c) return kStatusParamError;
    const bool saved = d->programmatic;
    d->programmatic = true;
    const QString text = qs(utf8);
    if (text == QLatin1String("-") || text == QLatin1String("(-")) {
        c->insertSeparator(c->count());
    } else if (text.startsWith(QLatin1Char('('))) {
        c->addItem(text.mid(1));
        static_cast<QStandardItemModel*>(c->model())->item(c->count() - 1)->setEnabled(false);
    } else {
        c->addItem(text);
    }
    Item* it = itemOf(d, item);
    if (c->currentIndex() < 0 && it->value >= 1) c->setCurrentIndex(it->value - 1);
    d->programmatic = saved;
    return noErr;
}

OSStatus setMenuItemText(DialogPtr d, int item, int menuItem, std::string_view utf8) {
    QStandardItem* mi = menuItemOf(d, item, menuItem);
    if (!mi) return kStatusParamError;
    // A separator given a text becomes an ordinary item.
    mi->setData(QVariant(), Qt::AccessibleDescriptionRole);
    mi->setText(qs(utf8));
    mi->setEnabled(true);
    return noErr;
}

OSStatus getMenuItemText(DialogPtr d, int item, int menuItem, std::string* utf8) {
    QStandardItem* mi = menuItemOf(d, item, menuItem);
    if (!mi || !utf8) return kStatusParamError;
    *utf8 = isMenuItemSeparator(d, item, menuItem) ? std::string("-") : us(mi->text());
    return noErr;
}

OSStatus deleteMenuItem(DialogPtr d, int item, int menuItem) {
    QComboBox* c = comboOf(d, item);
    if (!menuItemOf(d, item, menuItem)) return kStatusParamError;
    const bool saved = d->programmatic;
    d->programmatic = true;
    c->removeItem(menuItem - 1);
    d->programmatic = saved;
    Item* it = itemOf(d, item);
    it->value = std::min(it->value, c->count());
    applyControl(d, *it);
    return noErr;
}

OSStatus enableMenuItem(DialogPtr d, int item, int menuItem, bool enabled) {
    QStandardItem* mi = menuItemOf(d, item, menuItem);
    if (!mi) return kStatusParamError;
    mi->setEnabled(enabled);
    return noErr;
}

bool isMenuItemEnabled(DialogPtr d, int item, int menuItem) {
    QStandardItem* mi = menuItemOf(d, item, menuItem);
    return mi && mi->isEnabled() && !isMenuItemSeparator(d, item, menuItem);
}

bool isMenuItemSeparator(DialogPtr d, int item, int menuItem) {
    QStandardItem* mi = menuItemOf(d, item, menuItem);
    return mi && mi->data(Qt::AccessibleDescriptionRole).toString() == QLatin1String("separator");
}

// --- User items -------------------------------------------------------------------

OSStatus setUserItemDrawProc(DialogPtr d, int item, UserItemDrawProc proc) {
    Item* it = itemOf(d, item);
    if (!it || it->widget != Widget::User) return kStatusParamError;
    it->draw = std::move(proc);
    it->w->update();
    return noErr;
}

OSStatus setUserItemMouseProc(DialogPtr d, int item, UserItemMouseProc proc) {
    Item* it = itemOf(d, item);
    if (!it || it->widget != Widget::User) return kStatusParamError;
    it->mouse = std::move(proc);
    return noErr;
}

// --- Lists ------------------------------------------------------------------------

namespace {
QListWidget* listOf(DialogPtr d, int item) {
    Item* it = itemOf(d, item);
    return it && it->widget == Widget::List ? static_cast<QListWidget*>(it->w) : nullptr;
}
}  // namespace

OSStatus attachList(DialogPtr d, int item, bool multiple) {
    Item* it = itemOf(d, item);
    if (!it || it->widget != Widget::User) return kStatusParamError;
    auto* list = new QListWidget(d->window.get());
    list->setSelectionMode(multiple ? QAbstractItemView::ExtendedSelection
                                    : QAbstractItemView::SingleSelection);
    list->setGeometry(it->w->geometry());
    list->setVisible(it->visible);
    delete it->w;
    it->w = list;
    it->widget = Widget::List;
    QObject::connect(list, &QListWidget::itemSelectionChanged, list, [d, item] {
        if (!d->programmatic) pushHit(d, item);
    });
    watchKeys(d->window.get(), list);
    return noErr;
}

OSStatus setListRows(DialogPtr d, int item, const std::vector<std::string>& rows) {
    QListWidget* l = listOf(d, item);
    if (!l) return kStatusParamError;
    const bool saved = d->programmatic;
    d->programmatic = true;
    l->clear();
    for (const std::string& r : rows) l->addItem(qs(r));
    d->programmatic = saved;
    return noErr;
}

int countListRows(DialogPtr d, int item) {
    QListWidget* l = listOf(d, item);
    return l ? l->count() : -1;
}

OSStatus getListRow(DialogPtr d, int item, int row, std::string* utf8) {
    QListWidget* l = listOf(d, item);
    if (!l || !utf8 || row < 1 || row > l->count()) return kStatusParamError;
    *utf8 = us(l->item(row - 1)->text());
    return noErr;
}

OSStatus setListRow(DialogPtr d, int item, int row, std::string_view utf8) {
    QListWidget* l = listOf(d, item);
    if (!l || row < 1 || row > l->count()) return kStatusParamError;
    l->item(row - 1)->setText(qs(utf8));
    return noErr;
}

OSStatus removeListRow(DialogPtr d, int item, int row) {
    QListWidget* l = listOf(d, item);
    if (!l || row < 1 || row > l->count()) return kStatusParamError;
    const bool saved = d->programmatic;
    d->programmatic = true;
    delete l->takeItem(row - 1);
    d->programmatic = saved;
    return noErr;
}

OSStatus selectListRow(DialogPtr d, int item, int row, bool selected) {
    QListWidget* l = listOf(d, item);
    if (!l || row < 1 || row > l->count()) return kStatusParamError;
    const bool saved = d->programmatic;
    d->programmatic = true;
    l->item(row - 1)->setSelected(selected);
    d->programmatic = saved;
    return noErr;
}

std::vector<int> selectedListRows(DialogPtr d, int item) {
    std::vector<int> rows;
    if (QListWidget* l = listOf(d, item))
        for (int i = 0; i < l->count(); ++i)
            if (l->item(i)->isSelected()) rows.push_back(i + 1);
    return rows;
}

// --- Tab bars -----------------------------------------------------------------------

namespace {
QTabBar* tabsOf(DialogPtr d, int item) {
    Item* it = itemOf(d, item);
    return it && it->widget == Widget::Tabs ? static_cast<QTabBar*>(it->w) : nullptr;
}
}  // namespace

OSStatus attachTabBar(DialogPtr d, int item) {
    Item* it = itemOf(d, item);
    if (!it || it->widget != Widget::User) return kStatusParamError;
    auto* bar = new QTabBar(d->window.get());
    bar->setExpanding(false);
    bar->setDrawBase(true);
    bar->setGeometry(it->w->geometry());
    bar->setVisible(it->visible);
    delete it->w;
    it->w = bar;
    it->widget = Widget::Tabs;
    it->control = true;
    it->minimum = 0;
    it->maximum = 0;
    it->value = 0;
    QObject::connect(bar, &QTabBar::currentChanged, bar, [d, item](int index) {
        Item* tab = itemOf(d, item);
        if (!tab || d->programmatic) return;
        tab->value = index + 1;
        pushHit(d, item);
    });
    watchKeys(d->window.get(), bar);
    return noErr;
}

OSStatus insertTab(DialogPtr d, int item, int index0, std::string_view utf8) {
    QTabBar* t = tabsOf(d, item);
    if (!t || index0 < 0 || index0 > t->count()) return kStatusParamError;
    const bool saved = d->programmatic;
    d->programmatic = true;
    t->insertTab(index0, qs(utf8));
    d->programmatic = saved;
    Item* it = itemOf(d, item);
    it->minimum = 1;
    it->maximum = t->count();
    it->value = t->currentIndex() + 1;
    return noErr;
}

OSStatus setTabText(DialogPtr d, int item, int index0, std::string_view utf8) {
    QTabBar* t = tabsOf(d, item);
    if (!t || index0 < 0 || index0 >= t->count()) return kStatusParamError;
    t->setTabText(index0, qs(utf8));
    return noErr;
}

OSStatus getTabText(DialogPtr d, int item, int index0, std::string* utf8) {
    QTabBar* t = tabsOf(d, item);
    if (!t || !utf8 || index0 < 0 || index0 >= t->count()) return kStatusParamError;
    *utf8 = us(t->tabText(index0));
    return noErr;
}

OSStatus setTabEnabled(DialogPtr d, int item, int index0, bool enabled) {
    QTabBar* t = tabsOf(d, item);
    if (!t || index0 < 0 || index0 >= t->count()) return kStatusParamError;
    const bool saved = d->programmatic;
    d->programmatic = true;
    t->setTabEnabled(index0, enabled);
    d->programmatic = saved;
    return noErr;
}

bool isTabEnabled(DialogPtr d, int item, int index0) {
    QTabBar* t = tabsOf(d, item);
    return t && index0 >= 0 && index0 < t->count() && t->isTabEnabled(index0);
}

int countTabs(DialogPtr d, int item) {
    QTabBar* t = tabsOf(d, item);
    return t ? t->count() : -1;
}

OSStatus setCurrentTab(DialogPtr d, int item, int index0) {
    QTabBar* t = tabsOf(d, item);
    if (!t || index0 < 0 || index0 >= t->count()) return kStatusParamError;
    const bool saved = d->programmatic;
    d->programmatic = true;
    t->setCurrentIndex(index0);
    d->programmatic = saved;
    itemOf(d, item)->value = index0 + 1;
    return noErr;
}

int currentTab(DialogPtr d, int item) {
    QTabBar* t = tabsOf(d, item);
    return t ? t->currentIndex() : -1;
}

OSStatus getTabRect(DialogPtr d, int item, int index0, QDRect* windowRect) {
    QTabBar* t = tabsOf(d, item);
    if (!t || !windowRect || index0 < 0 || index0 >= t->count()) return kStatusParamError;
    const QRect r = t->tabRect(index0).translated(t->pos());
    *windowRect = QDRect{int16_t(r.top()), int16_t(r.left()), int16_t(r.bottom() + 1),
                         int16_t(r.right() + 1)};
    return noErr;
}

// --- Events and modal loops ------------------------------------------------------------

OSStatus modalDialog(DialogPtr d, const ModalFilterProc& filter, int* itemHit) {
    if (!d || !itemHit) return kStatusParamError;
    *itemHit = 0;
    if (!d->window->isVisible()) d->window->show();
    // The offscreen platform cannot raise windows and says so at each call.
    if (QGuiApplication::platformName() != QLatin1String("offscreen")) {
        d->window->raise();
        d->window->activateWindow();
    }
    const ModalFilterProc* savedFilter = d->filter;
    d->filter = &filter;
    OSStatus status = noErr;
    for (;;) {
        pumpOnce(false);
        if (!d->hits.empty()) break;
        if (filter) {
            int hit = 0;
            if (filter(d, DialogEvent{}, &hit) && hit) {
                d->hits.push_back(hit);
                break;
            }
        }
        if (g_scriptInstalled) {
            if (g_script.empty()) {
                status = kStatusEndOfData;
                break;
            }
            ModalScriptStep step = std::move(g_script.front());
            g_script.pop_front();
            step(d);
            continue;
        }
        pumpOnce(true);
    }
    d->filter = savedFilter;
    if (status == noErr) {
        *itemHit = d->hits.front();
        d->hits.pop_front();
    }
    return status;
}

OSStatus runModalUntil(DialogPtr d, std::initializer_list<int> until, const ModalFilterProc& filter,
                       const std::function<void(int item)>& onItem, int* itemHit) {
    if (!d || !itemHit) return kStatusParamError;
    for (;;) {
        int hit = 0;
        if (OSStatus err = modalDialog(d, filter, &hit)) return err;
        for (int u : until)
            if (hit == u) {
                *itemHit = hit;
                return noErr;
            }
        if (onItem) onItem(hit);
    }
}

OSStatus runAlert(const ResourceFile& res, ResID alrtID, const ModalFilterProc& filter,
                  int* itemHit, std::string* why) {
    if (!itemHit) return kStatusParamError;
    DialogPtr raw = nullptr;
    if (OSStatus err = newAlertDialog(res, alrtID, &raw, why)) return err;
    DialogHolder d(raw);
    systemBeep();
    for (;;) {
        int hit = 0;
        if (OSStatus err = modalDialog(d.get(), filter, &hit)) return err;
        uint8_t kind = 0;
        getItemKind(d.get(), hit, &kind);
        if (kind == kButtonItem || controlProcID(d.get(), hit) == kControlProcButton) {
            *itemHit = hit;
            return noErr;
        }
    }
}

void processEvents() {
    dialogs_internal::ensureApplication();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

uint32_t tickCount() {
    using namespace std::chrono;
    static const steady_clock::time_point start = steady_clock::now();
    return uint32_t(duration_cast<milliseconds>(steady_clock::now() - start).count() * 60 / 1000);
}

void systemBeep() {
    ++g_beeps;
    QApplication::beep();
}

int beepCount() { return g_beeps; }

OSStatus setKeepsCursor(DialogPtr d, bool keep) {
    if (!d) return kStatusParamError;
    d->keepsCursor = keep;
    if (keep) {
        // Children inherit the window's cursor instead of their own.
        for (QWidget* w : d->window->findChildren<QWidget*>()) w->unsetCursor();
    }
    return noErr;
}

bool keepsCursor(DialogPtr d) { return d && d->keepsCursor; }

// --- Test driving ------------------------------------------------------------------------

void setModalScript(std::vector<ModalScriptStep> steps) {
    g_script.assign(std::make_move_iterator(steps.begin()), std::make_move_iterator(steps.end()));
    g_scriptInstalled = !steps.empty();
}

size_t modalScriptStepsLeft() { return g_script.size(); }

OSStatus simulateClick(DialogPtr d, int item) {
    Item* it = itemOf(d, item);
    if (!it) return kStatusParamError;
    const QDRect& r = it->rect;
    // Check boxes and radio buttons answer on their mark and text only,
    // which may not reach the middle of the item; aim at the mark.
    const bool marked = it->widget == Widget::CheckBox || it->widget == Widget::Radio;
    return simulateClickAt(d, item, (r.top + r.bottom) / 2,
                           marked ? r.left + std::min(8, r.width() / 2) : (r.left + r.right) / 2);
}

OSStatus simulateClickAt(DialogPtr d, int item, int v, int h) {
    Item* it = itemOf(d, item);
    if (!it || !it->visible) return kStatusParamError;
    QWidget* target = it->combo ? static_cast<QWidget*>(it->combo) : it->w;
    if (auto* area = qobject_cast<QAbstractScrollArea*>(target)) target = area->viewport();
    const QPoint local = target->mapFrom(d->window.get(), QPoint(h, v));
    sendMouse(target, QEvent::MouseButtonPress, local, Qt::LeftButton);
    sendMouse(target, QEvent::MouseButtonRelease, local, Qt::NoButton);
    QCoreApplication::processEvents();
    return noErr;
}

OSStatus simulateDrag(DialogPtr d, int item, int v1, int h1, int v2, int h2) {
    Item* it = itemOf(d, item);
    if (!it || !it->visible) return kStatusParamError;
    QWidget* w = it->w;
    auto at = [&](int v, int h) { return w->mapFrom(d->window.get(), QPoint(h, v)); };
    sendMouse(w, QEvent::MouseButtonPress, at(v1, h1), Qt::LeftButton);
    constexpr int kSteps = 4;
    for (int i = 1; i <= kSteps; ++i)
        sendMouse(w, QEvent::MouseMove, at(v1 + (v2 - v1) * i / kSteps, h1 + (h2 - h1) * i / kSteps),
                  Qt::LeftButton);
    sendMouse(w, QEvent::MouseButtonRelease, at(v2, h2), Qt::NoButton);
    QCoreApplication::processEvents();
    return noErr;
}

OSStatus simulateTyping(DialogPtr d, std::string_view utf8) {
    if (!d) return kStatusParamError;
    const QString text = qs(utf8);
    for (QChar c : text) {
        QWidget* w = keyTarget(d);
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(w, &press);
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(w, &release);
    }
    return noErr;
}

OSStatus simulateKey(DialogPtr d, int key) {
    if (!d) return kStatusParamError;
    const int qtKey = key == kKeyReturn   ? Qt::Key_Return
                      : key == kKeyEscape ? Qt::Key_Escape
                      : key == 8          ? Qt::Key_Backspace
                                          : 0;
    const QString text = qtKey == Qt::Key_Backspace ? QString() : QString(QChar(key));
    QWidget* w = keyTarget(d);
    QKeyEvent press(QEvent::KeyPress, qtKey, Qt::NoModifier, text);
    QApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, qtKey, Qt::NoModifier, text);
    QApplication::sendEvent(w, &release);
    return noErr;
}

OSStatus simulatePopupChoice(DialogPtr d, int item, int menuItem) {
    Item* it = itemOf(d, item);
    if (!it || !it->combo || !it->combo->isEnabled() || !isMenuItemEnabled(d, item, menuItem))
        return kStatusParamError;
    it->combo->setCurrentIndex(menuItem - 1);
    emit it->combo->activated(menuItem - 1);
    return noErr;
}

OSStatus simulateTabChoice(DialogPtr d, int item, int index0) {
    QTabBar* t = tabsOf(d, item);
    if (!t || index0 < 0 || index0 >= t->count() || !t->isTabEnabled(index0)) return kStatusParamError;
    t->setCurrentIndex(index0);
    return noErr;
}

OSStatus simulateClose(DialogPtr d) {
    if (!d) return kStatusParamError;
    d->window->close();
    return noErr;
}

OSStatus grabWindow(DialogPtr d, std::vector<uint32_t>* argb, int* width, int* height) {
    if (!d || !argb || !width || !height) return kStatusParamError;
    const QImage img = d->window->grab().toImage().convertToFormat(QImage::Format_ARGB32);
    *width = img.width();
    *height = img.height();
    argb->resize(size_t(img.width()) * size_t(img.height()));
    for (int y = 0; y < img.height(); ++y) {
        const auto* line = reinterpret_cast<const uint32_t*>(img.constScanLine(y));
        std::copy(line, line + img.width(), argb->begin() + ptrdiff_t(y) * img.width());
    }
    return noErr;
}

std::string saveScreenshot(DialogPtr d, std::string_view what) {
    const char* dir = std::getenv("MOVIEPACKER_SCREENSHOTS");
    if (!d || !dir || !*dir) return {};
    std::string name;
    for (int sh = 24; sh >= 0; sh -= 8) {
        const char c = char(d->type >> sh);
        name.push_back(std::isalnum(uint8_t(c)) ? c : '_');
    }
    name += "-" + std::to_string(d->id) + "-";
    for (char c : what) name.push_back(std::isalnum(uint8_t(c)) || c == '-' ? c : '-');
    const std::string path = std::string(dir) + "/" + name + ".png";
    QCoreApplication::processEvents();
    if (!d->window->grab().save(qs(path), "PNG")) return {};
    return path;
}
