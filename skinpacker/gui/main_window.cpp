#include "skinpacker/gui/main_window.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QTimer>
#include <ctime>

#include "skinpacker/create_checks.h"
#include "skinpacker/gui/colour_dialog.h"
#include "skinpacker/gui/item_button.h"
#include "skinpacker/gui/item_pictures.h"
#include "skinpacker/gui/picture_view.h"
#include "skinpacker/gui/qt_text.h"
#include "skinpacker/gui/small_dialogs.h"
#include "skinpacker/messages.h"
#include "skinpacker/skin_database.h"

namespace skin {

namespace {

// The item buttons sit on a grid of dialog units: from (200, 15) in steps of 26.
constexpr double kPixelsPerUnit = 1.75;
constexpr int kButtonsLeft = static_cast<int>(200 * kPixelsPerUnit);
constexpr int kButtonsTop = static_cast<int>(15 * kPixelsPerUnit);
constexpr int kButtonStep = static_cast<int>(26 * kPixelsPerUnit);
constexpr std::array<int, 8> kRowLengths = {4, 4, 4, 4, 4, 3, 3, 4};

QPushButton* commandButton(QWidget* parent, const char* text, const char* name, QRect geometry) {
    auto* b = new QPushButton(QString::fromUtf8(text), parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setGeometry(geometry);
    return b;
}

}  // namespace

QString askWithFileDialog(QWidget* parent, FileRequest request) {
    QFileDialog dialog(parent);
    switch (request) {
        case FileRequest::OpenPicture:
            dialog.setAcceptMode(QFileDialog::AcceptOpen);
            dialog.setFileMode(QFileDialog::ExistingFile);
            dialog.setDefaultSuffix(QStringLiteral("bmp"));
            dialog.setNameFilter(QStringLiteral("bitmap (*.bmp)"));
            break;
        case FileRequest::OpenProject:
            dialog.setAcceptMode(QFileDialog::AcceptOpen);
            dialog.setFileMode(QFileDialog::ExistingFile);
            dialog.setDefaultSuffix(QStringLiteral("tpd"));
            dialog.setNameFilter(QStringLiteral("ThemedPlayer file (*.tpd)"));
            break;
        case FileRequest::SaveProject:
            dialog.setAcceptMode(QFileDialog::AcceptSave);
            dialog.setDefaultSuffix(QStringLiteral("tpd"));
            dialog.setNameFilter(QStringLiteral("ThemedPlayer data file(*.tpd)"));
            break;
        case FileRequest::SaveDatabase:
            dialog.setAcceptMode(QFileDialog::AcceptSave);
            dialog.setDefaultSuffix(QStringLiteral("pdb"));
            dialog.setNameFilter(QStringLiteral("Database for ThemedPlayer (*.pdb)"));
            break;
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().first();
}

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent) {
    setWindowTitle(QStringLiteral("skinpacker"));
    setWindowIcon(programIcon());
    auto* help = menuBar()->addMenu(QString::fromUtf8("ヘルプ(&H)"));
    QAction* about = help->addAction(QString::fromUtf8("skinpacker のﾊﾞｰｼﾞｮﾝ情報(&A)..."));
    about->setObjectName(QStringLiteral("about"));
    connect(about, &QAction::triggered, this, &MainWindow::showAbout);

    auto* central = new QWidget(this);
    setCentralWidget(central);
    m_view = new PictureView(m_project, central);
    m_view->move(kPictureOrigin, kPictureOrigin);
    m_view->setInteractive(true);
    connect(m_view, &PictureView::clicked, this, &MainWindow::pictureClicked);

    int slot = 1;
    for (size_t row = 0; row < kRowLengths.size(); ++row) {
        for (int col = 0; col < kRowLengths[row]; ++col, ++slot) {
            auto* b = new ItemButton(slot, central);
            b->move(kButtonsLeft + col * kButtonStep,
                    kButtonsTop + static_cast<int>(row) * kButtonStep);
            connect(b, &QAbstractButton::clicked, this, [this, slot] { selectItem(slot); });
            m_items[static_cast<size_t>(slot)] = b;
        }
    }

    const int below = kPictureOrigin + kPictureSide + 14;
    auto* picture = commandButton(central, "画　像", "picture", {20, below, 74, 28});
    auto* load = commandButton(central, "読み込み", "load", {102, below, 74, 28});
    auto* save = commandButton(central, "保　存", "save", {184, below, 74, 28});
    auto* create = commandButton(central, "作　成", "create", {266, below, 74, 28});
    connect(picture, &QPushButton::clicked, this, &MainWindow::importPicture);
    connect(load, &QPushButton::clicked, this, &MainWindow::loadProject);
    connect(save, &QPushButton::clicked, this, &MainWindow::saveProject);
    connect(create, &QPushButton::clicked, this, &MainWindow::createDatabase);
    m_status = new QLineEdit(central);
    m_status->setObjectName(QStringLiteral("status"));
    m_status->setReadOnly(true);
    m_status->setFocusPolicy(Qt::NoFocus);
    m_status->setGeometry(20, below + 38, kButtonsLeft + 3 * kButtonStep + kItemButtonSize - 20,
                          24);

    const int width = kButtonsLeft + 3 * kButtonStep + kItemButtonSize + 20;
    const int height =
        std::max(below + 38 + 24 + 16, kButtonsTop + 7 * kButtonStep + kItemButtonSize + 16);
    central->setFixedSize(width, height);
    setFixedSize(sizeHint());

    m_ready = m_project.reserveBuffers(m_reporter);
    if (!m_ready) QTimer::singleShot(0, this, &QWidget::close);
    syncControls();
}

MainWindow::~MainWindow() = default;

void MainWindow::syncControls() {
    for (int s = 1; s < kSlotCount; ++s) {
        ItemButton* b = m_items[static_cast<size_t>(s)];
        b->setEnabled(m_project.buttonEnabled(s));
        b->setChecked(m_project.selected() == s);
    }
    m_status->setText(qs(m_project.statusText()));
    m_view->update();
}

void MainWindow::selectItem(int slot) {
    m_project.selectItem(slot);
    syncControls();
}

void MainWindow::pictureClicked(QPoint viewPosition) {
    const ClickResult r = m_project.click(viewPosition.x() + kPictureOrigin,
                                          viewPosition.y() + kPictureOrigin, m_reporter);
    syncControls();
    if (r.outcome == ClickOutcome::Placed) askColours(r.slot);
}

void MainWindow::askColours(int slot) {
    ColourSettingsDialog dialog(kSlots[static_cast<size_t>(slot)].dialog,
                                m_project.slot(slot).colours, this);
    if (dialog.exec() == QDialog::Accepted) m_project.setColours(slot, dialog.colours());
    m_view->update();
}

void MainWindow::importPicture() {
    const QString path = m_askFile(this, FileRequest::OpenPicture);
    if (path.isEmpty()) return;
    {
        WaitCursor wait;
        if (!m_project.importPicture(path.toStdString(), m_reporter)) return;
    }
    m_view->refresh();
    syncControls();
}

void MainWindow::loadProject() {
    const QString path = m_askFile(this, FileRequest::OpenProject);
    if (path.isEmpty()) return;
    {
        WaitCursor wait;
        if (!m_project.load(path.toStdString(), m_reporter)) return;
    }
    m_view->refresh();
    syncControls();
}

void MainWindow::saveProject() {
    if (!m_project.pictureLoaded()) {
        showWarning(this, msg::kSaveNeedsPicture);
        return;
    }
    const QString path = m_askFile(this, FileRequest::SaveProject);
    if (path.isEmpty()) return;
    WaitCursor wait;
    m_project.save(path.toStdString(), m_reporter);
}

void MainWindow::createDatabase() {
    if (!playAndStopPlaced(m_project)) {
        showWarning(this, msg::kNeedPlayStop);
        return;
    }
    PreviewDialog preview(m_project, this);
    if (preview.exec() != QDialog::Accepted) return;

    QString path;
    for (;;) {
        path = m_askFile(this, FileRequest::SaveDatabase);
        if (path.isEmpty()) return;
        const std::string name = QFileInfo(path).fileName().toStdString();
        const std::string_view refusal = checkDatabaseFileName(name);
        if (refusal.empty()) break;
        showWarning(this, refusal);
    }

    DatabaseInfoDialog info(m_project.texts(), this);
    if (info.exec() != QDialog::Accepted) return;
    m_project.setTexts(info.texts());

    bool written;
    {
        WaitCursor wait;
        written = writeSkinDatabase(m_project, path.toStdString(), std::time(nullptr), m_reporter);
    }
    if (!written) return;
    CompletionDialog done(this);
    done.exec();
}

void MainWindow::showAbout() {
    AboutDialog about(this);
    about.exec();
}

}  // namespace skin
