#pragma once

#include <QWidget>

namespace skin {

// The sixteen standard colours side by side, 16 pixels each; a click chooses one.
class ColourStrip final : public QWidget {
    Q_OBJECT
  public:
    explicit ColourStrip(QWidget* parent = nullptr);
    int value() const { return m_value; }  // 0 to 15, or -1 for none
    void setValue(int value);

  signals:
    void chosen(int value);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

  private:
    int m_value = -1;
};

// The current choice of one colour row.
class ColourSwatch final : public QWidget {
    Q_OBJECT
  public:
    explicit ColourSwatch(QWidget* parent = nullptr);
    void setValue(int value);
    int value() const { return m_value; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    int m_value = -1;
};

QColor standardColour(int value);

}  // namespace skin
