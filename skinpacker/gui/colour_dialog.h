#pragma once

#include <QDialog>
#include <array>
#include <cstdint>
#include <vector>

#include "skinpacker/slots.h"

class QGridLayout;
class QRadioButton;

namespace skin {

class ColourStrip;
class ColourSwatch;

// The four colour dialogs of the items: button settings (picture button or
// one drawn in off and on colours), two colours, three colours, text colour.
class ColourSettingsDialog final : public QDialog {
    Q_OBJECT
  public:
    ColourSettingsDialog(ColourDialog kind, std::array<int8_t, 3> colours,
                         QWidget* parent = nullptr);

    // Off, on and maximum colour values; -1 where none.
    std::array<int8_t, 3> colours() const;

    ColourStrip* strip(int row) const { return m_rows[static_cast<size_t>(row)].strip; }
    QRadioButton* pictureButtonChoice() const { return m_pictureButton; }
    QRadioButton* drawnButtonChoice() const { return m_drawnButton; }

  private:
    struct Row {
        ColourStrip* strip = nullptr;
        ColourSwatch* swatch = nullptr;
    };
    void addRow(QGridLayout* grid, int row, const char* label, int8_t value);
    void chooseDrawn(bool drawn);

    ColourDialog m_kind;
    std::vector<Row> m_rows;
    QRadioButton* m_pictureButton = nullptr;
    QRadioButton* m_drawnButton = nullptr;
};

}  // namespace skin
