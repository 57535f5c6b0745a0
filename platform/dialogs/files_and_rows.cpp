// Dropping files on a window, the folder browser, and
// list rows with a picture and a progress bar.
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QImage>
#include <QListWidget>
#include <QMimeData>
#include <QPainter>
#include <QPixmap>
#include <QStyleOptionProgressBar>
#include <QStyledItemDelegate>
#include <QUrl>

#include "platform/dialogs/dialog_internal.h"

using namespace dialogs_internal;

namespace dialogs_internal {

Item* findItem(DialogPtr d, int item) {
    if (!d || item < 1 || item > int(d->items.size())) return nullptr;
    return &d->items[size_t(item) - 1];
}

namespace {

std::vector<std::string> localPaths(const QMimeData* mime) {
    std::vector<std::string> paths;
    if (!mime) return paths;
    for (const QUrl& u : mime->urls())
        if (u.isLocalFile()) paths.push_back(us(u.toLocalFile()));
    return paths;
}

}  // namespace

void DialogWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (m_d->drop && !localPaths(event->mimeData()).empty()) event->acceptProposedAction();
}

void DialogWindow::dragMoveEvent(QDragMoveEvent* event) {
    if (m_d->drop) event->acceptProposedAction();
}

void DialogWindow::dropEvent(QDropEvent* event) {
    if (!m_d->drop) return;
    const std::vector<std::string> paths = localPaths(event->mimeData());
    if (paths.empty()) return;
    event->acceptProposedAction();
    raise();
    activateWindow();
    // Copied: the procedure may replace itself while it runs.
    DropProc proc = m_d->drop;
    proc(m_d, paths);
}

}  // namespace dialogs_internal

// --- Dropping -------------------------------------------------------------------------

OSStatus setDropProc(DialogPtr d, DropProc proc) {
    if (!d) return kStatusParamError;
    d->window->setAcceptDrops(static_cast<bool>(proc));
    d->drop = std::move(proc);
    return noErr;
}

OSStatus simulateDrop(DialogPtr d, const std::vector<std::string>& paths) {
    if (!d || !d->drop) return kStatusParamError;
    QMimeData mime;
    QList<QUrl> urls;
    for (const std::string& p : paths) urls.push_back(QUrl::fromLocalFile(qs(p)));
    mime.setUrls(urls);
    const QPointF at(d->window->width() / 2.0, d->window->height() / 2.0);
    QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(d->window.get(), &enter);
    if (!enter.isAccepted()) return kStatusParamError;
    QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(d->window.get(), &drop);
    return noErr;
}

// --- The folder browser --------------------------------------------------------------------

namespace {
FolderBrowserHook g_folderHook;
}  // namespace

void setFolderBrowserHook(FolderBrowserHook hook) { g_folderHook = std::move(hook); }

OSStatus runFolderBrowser(DialogPtr owner, std::string_view title, std::string* path) {
    if (!path) return kStatusParamError;
    path->clear();
    if (g_folderHook) {
        std::string chosen;
        const OSStatus err = g_folderHook(title, &chosen);
        if (err == noErr && chosen.empty()) return kStatusUserCancelled;
        if (err == noErr) *path = std::move(chosen);
        return err;
    }
    ensureApplication();
    const QString chosen =
        QFileDialog::getExistingDirectory(owner ? owner->window.get() : nullptr, qs(title));
    if (chosen.isEmpty()) return kStatusUserCancelled;
    *path = us(chosen);
    return noErr;
}

// --- List rows with pictures and progress bars -------------------------------------------

namespace {

constexpr int kProgressVisibleRole = Qt::UserRole + 1;
constexpr int kProgressValueRole = Qt::UserRole + 2;
constexpr int kProgressMaximumRole = Qt::UserRole + 3;
constexpr int kHasPictureRole = Qt::UserRole + 4;
constexpr int kProgressBarWidth = 140;
constexpr int kProgressBarHeight = 14;

// Paints the row as usual, then its progress bar at the right.
class RowDelegate final : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyledItemDelegate::paint(painter, option, index);
        if (!index.data(kProgressVisibleRole).toBool()) return;
        QStyleOptionProgressBar bar;
        const QRect r = option.rect;
        bar.rect = QRect(r.right() - kProgressBarWidth - 6, r.top() + 6, kProgressBarWidth,
                         kProgressBarHeight);
        bar.minimum = 0;
        bar.maximum = std::max(1, index.data(kProgressMaximumRole).toInt());
        bar.progress = index.data(kProgressValueRole).toInt();
        bar.state = QStyle::State_Enabled | QStyle::State_Horizontal;
        bar.textVisible = false;
        const QWidget* w = option.widget;
        QStyle* style = w ? w->style() : QApplication::style();
        style->drawControl(QStyle::CE_ProgressBar, &bar, painter, w);
    }
};

QListWidgetItem* rowOf(DialogPtr d, int item, int row, QListWidget** listOut = nullptr) {
    Item* it = findItem(d, item);
    if (!it || it->widget != Widget::List) return nullptr;
    auto* l = static_cast<QListWidget*>(it->w);
    if (row < 1 || row > l->count()) return nullptr;
    if (!dynamic_cast<RowDelegate*>(l->itemDelegate())) l->setItemDelegate(new RowDelegate(l));
    if (listOut) *listOut = l;
    return l->item(row - 1);
}

}  // namespace

OSStatus setListRowPicture(DialogPtr d, int item, int row, const uint32_t* argb, int width,
                           int height) {
    QListWidget* l = nullptr;
    QListWidgetItem* r = rowOf(d, item, row, &l);
    if (!r || (argb && (width <= 0 || height <= 0))) return kStatusParamError;
    if (!argb) {
        // A clear picture of the list's picture size keeps the row's text in
        // line with the rows that have one.
        r->setData(kHasPictureRole, false);
        if (l->iconSize().isValid() && !l->iconSize().isEmpty()) {
            QPixmap clear(l->iconSize());
            clear.fill(Qt::transparent);
            r->setIcon(QIcon(clear));
        } else {
            r->setIcon(QIcon());
        }
        return noErr;
    }
    r->setData(kHasPictureRole, true);
    // The icon keeps its own copy of the pixels.
    QImage image(reinterpret_cast<const uchar*>(argb), width, height, width * 4,
                 QImage::Format_ARGB32);
    r->setIcon(QIcon(QPixmap::fromImage(image.copy())));
    if (l->iconSize().width() < width || l->iconSize().height() < height)
        l->setIconSize(QSize(std::max(width, l->iconSize().width()),
                             std::max(height, l->iconSize().height())));
    return noErr;
}

OSStatus setListRowProgress(DialogPtr d, int item, int row, bool visible, int value, int maximum) {
    QListWidget* l = nullptr;
    QListWidgetItem* r = rowOf(d, item, row, &l);
    if (!r || maximum < 0) return kStatusParamError;
    r->setData(kProgressVisibleRole, visible);
    r->setData(kProgressValueRole, std::clamp(value, 0, maximum));
    r->setData(kProgressMaximumRole, maximum);
    l->viewport()->update(l->visualItemRect(r));
    return noErr;
}

OSStatus getListRowProgress(DialogPtr d, int item, int row, bool* visible, int* value) {
    QListWidgetItem* r = rowOf(d, item, row);
    if (!r) return kStatusParamError;
    if (visible) *visible = r->data(kProgressVisibleRole).toBool();
    if (value) *value = r->data(kProgressValueRole).toInt();
    return noErr;
}

OSStatus setListPictureSize(DialogPtr d, int item, int width, int height) {
    Item* it = findItem(d, item);
    if (!it || it->widget != Widget::List || width <= 0 || height <= 0) return kStatusParamError;
    static_cast<QListWidget*>(it->w)->setIconSize(QSize(width, height));
    return noErr;
}

bool listRowHasPicture(DialogPtr d, int item, int row) {
    QListWidgetItem* r = rowOf(d, item, row);
    return r && r->data(kHasPictureRole).toBool();
}

OSStatus scrollToListRow(DialogPtr d, int item, int row) {
    QListWidget* l = nullptr;
    QListWidgetItem* r = rowOf(d, item, row, &l);
    if (!r) return kStatusParamError;
    l->scrollToItem(r);
    return noErr;
}
