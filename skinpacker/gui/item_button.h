#pragma once

#include <QAbstractButton>

namespace skin {

// One of the thirty item buttons, drawn with its up, down and disabled pictures.
class ItemButton final : public QAbstractButton {
    Q_OBJECT
  public:
    explicit ItemButton(int slot, QWidget* parent = nullptr);
    int slot() const { return m_slot; }
    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    int m_slot;
};

}  // namespace skin
