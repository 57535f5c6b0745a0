#include "skinpacker/gui/colour_dialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "skinpacker/gui/colour_strip.h"
#include "skinpacker/project.h"

namespace skin {

namespace {
// Defaults of a button the player draws: aqua when off, red when on.
constexpr int8_t kDefaultOff = 14;
constexpr int8_t kDefaultOn = 9;
}  // namespace

ColourSettingsDialog::ColourSettingsDialog(ColourDialog kind, std::array<int8_t, 3> colours,
                                           QWidget* parent)
    : QDialog(parent), m_kind(kind) {
    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    switch (kind) {
        case ColourDialog::Button:
            setWindowTitle(QString::fromUtf8("ボタン設定"));
            m_pictureButton = new QRadioButton(QString::fromUtf8("画像付きボタンを配置"), this);
            m_drawnButton = new QRadioButton(QString::fromUtf8("画像なしボタンを配置"), this);
            m_pictureButton->setObjectName(QStringLiteral("pictureButton"));
            m_drawnButton->setObjectName(QStringLiteral("drawnButton"));
            layout->addWidget(m_pictureButton);
            layout->addWidget(m_drawnButton);
            addRow(grid, 0, "オフ状態色", colours[0]);
            addRow(grid, 1, "オン状態色", colours[1]);
            break;
        case ColourDialog::TwoColours:
        case ColourDialog::ThreeColours:
            setWindowTitle(QString::fromUtf8("色設定"));
            addRow(grid, 0, "オフ状態色", colours[0]);
            addRow(grid, 1, "オン状態色", colours[1]);
            if (kind == ColourDialog::ThreeColours) addRow(grid, 2, "最大状態色", colours[2]);
            break;
        case ColourDialog::TextColour:
        case ColourDialog::None:
            setWindowTitle(QString::fromUtf8("文字色設定"));
            addRow(grid, 0, "文字色", colours[0]);
            break;
    }
    layout->addLayout(grid);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole)
        ->setObjectName(QStringLiteral("ok"));
    buttons->addButton(QString::fromUtf8("ｷｬﾝｾﾙ"), QDialogButtonBox::RejectRole)
        ->setObjectName(QStringLiteral("cancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    if (kind == ColourDialog::Button) {
        const bool drawn = colours[0] != kNoColour;
        (drawn ? m_drawnButton : m_pictureButton)->setChecked(true);
        for (const Row& r : m_rows) {
            r.strip->setEnabled(drawn);
            r.swatch->setEnabled(drawn);
        }
        connect(m_drawnButton, &QRadioButton::toggled, this, &ColourSettingsDialog::chooseDrawn);
    }
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void ColourSettingsDialog::addRow(QGridLayout* grid, int row, const char* label, int8_t value) {
    Row r{new ColourStrip(this), new ColourSwatch(this)};
    r.strip->setObjectName(QStringLiteral("strip%1").arg(row));
    r.strip->setValue(value);
    r.swatch->setValue(value);
    connect(r.strip, &ColourStrip::chosen, r.swatch, &ColourSwatch::setValue);
    grid->addWidget(new QLabel(QString::fromUtf8(label), this), row, 0);
    grid->addWidget(r.strip, row, 1);
    grid->addWidget(r.swatch, row, 2);
    m_rows.push_back(r);
}

void ColourSettingsDialog::chooseDrawn(bool drawn) {
    if (drawn && m_rows[0].strip->value() < 0 && m_rows[1].strip->value() < 0) {
        for (int i = 0; i < 2; ++i) {
            const int v = i == 0 ? kDefaultOff : kDefaultOn;
            m_rows[static_cast<size_t>(i)].strip->setValue(v);
            m_rows[static_cast<size_t>(i)].swatch->setValue(v);
        }
    }
    for (const Row& r : m_rows) {
        r.strip->setEnabled(drawn);
        r.swatch->setEnabled(drawn);
    }
}

std::array<int8_t, 3> ColourSettingsDialog::colours() const {
    std::array<int8_t, 3> c{kNoColour, kNoColour, kNoColour};
    if (m_kind == ColourDialog::Button && !m_drawnButton->isChecked()) return c;
    for (size_t i = 0; i < m_rows.size(); ++i) c[i] = static_cast<int8_t>(m_rows[i].strip->value());
    return c;
}

}  // namespace skin
