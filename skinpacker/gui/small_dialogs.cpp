#include "skinpacker/gui/small_dialogs.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "skinpacker/create_checks.h"
#include "skinpacker/gui/message_reporter.h"
#include "skinpacker/gui/picture_view.h"
#include "skinpacker/handheld_text.h"

namespace skin {

namespace {

QPushButton* addButton(QDialogButtonBox* box, const QString& text,
                       QDialogButtonBox::ButtonRole role, const char* name) {
    QPushButton* b = box->addButton(text, role);
    b->setObjectName(QString::fromLatin1(name));
    return b;
}

}  // namespace

QIcon programIcon() {
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(30, 60, 140));
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(2, 2, 28, 28, 6, 6);
    p.setBrush(QColor(0, 255, 255));
    const QPointF play[] = {{12, 9}, {24, 16}, {12, 23}};
    p.drawPolygon(play, 3);
    return QIcon(pm);
}

PreviewDialog::PreviewDialog(const Project& project, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString::fromUtf8("イメージ表示"));
    auto* layout = new QVBoxLayout(this);
    auto* view = new PictureView(project, this);
    layout->addWidget(view);
    auto* buttons = new QDialogButtonBox(this);
    addButton(buttons, QString::fromUtf8("作　成"), QDialogButtonBox::AcceptRole, "create");
    addButton(buttons, QString::fromUtf8("ｷｬﾝｾﾙ"), QDialogButtonBox::RejectRole, "cancel");
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

DatabaseInfoDialog::DatabaseInfoDialog(const DatabaseTexts& stored, QWidget* parent)
    : QDialog(parent), m_texts(stored) {
    setWindowTitle(QString::fromUtf8("データベース情報設定"));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    m_title = new QLineEdit(QString::fromStdString(fromHandheldText(stored.title)), this);
    m_author = new QLineEdit(QString::fromStdString(fromHandheldText(stored.author)), this);
    m_version = new QLineEdit(QString::fromStdString(stored.version), this);
    m_title->setObjectName(QStringLiteral("title"));
    m_author->setObjectName(QStringLiteral("author"));
    m_version->setObjectName(QStringLiteral("version"));
    m_title->setMaxLength(32);
    m_author->setMaxLength(32);
    m_version->setMaxLength(6);
    m_version->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[0-9]{0,6}")), m_version));
    m_title->setMinimumWidth(260);
    form->addRow(QString::fromUtf8("データベース名"), m_title);
    form->addRow(QString::fromUtf8("制作者"), m_author);
    auto* versionRow = new QHBoxLayout;
    versionRow->addWidget(m_version);
    versionRow->addWidget(new QLabel(QString::fromUtf8("（６桁数字）"), this));
    form->addRow(QString::fromUtf8("バージョン"), versionRow);
    layout->addLayout(form);
    auto* buttons = new QDialogButtonBox(this);
    addButton(buttons, QStringLiteral("OK"), QDialogButtonBox::AcceptRole, "ok");
    addButton(buttons, QString::fromUtf8("ｷｬﾝｾﾙ"), QDialogButtonBox::RejectRole, "cancel");
    connect(buttons, &QDialogButtonBox::accepted, this, &DatabaseInfoDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

void DatabaseInfoDialog::accept() {
    DatabaseTexts texts;
    const std::string_view refusal =
        makeDatabaseTexts(m_title->text().toStdString(), m_author->text().toStdString(),
                          m_version->text().toStdString(), texts);
    if (!refusal.empty()) {
        showWarning(this, refusal, Icon::Exclamation);
        return;  // the dialog stays open for another try
    }
    m_texts = std::move(texts);
    QDialog::accept();
}

CompletionDialog::CompletionDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("ThemedPlayer"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QString::fromUtf8("ThemedPlayer SKINデータを"), this));
    layout->addWidget(new QLabel(QString::fromUtf8("作成しました"), this));
    auto* buttons = new QDialogButtonBox(this);
    addButton(buttons, QStringLiteral("OK"), QDialogButtonBox::AcceptRole, "ok");
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
}

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString::fromUtf8("skinpacker のﾊﾞｰｼﾞｮﾝ情報"));
    auto* layout = new QHBoxLayout(this);
    auto* icon = new QLabel(this);
    icon->setPixmap(programIcon().pixmap(32, 32));
    layout->addWidget(icon, 0, Qt::AlignTop);
    auto* right = new QVBoxLayout;
    right->addWidget(new QLabel(QStringLiteral("skinpacker Version 0.23"), this));
    auto* buttons = new QDialogButtonBox(this);
    addButton(buttons, QStringLiteral("OK"), QDialogButtonBox::AcceptRole, "ok");
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    right->addWidget(buttons);
    layout->addLayout(right);
}

}  // namespace skin
