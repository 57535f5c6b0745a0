#pragma once

#include <QImage>
#include <QWidget>

#include "skinpacker/project.h"

namespace skin {

// The 320 x 320 picture with the placed items drawn over it. Clicks are
// passed on in the picture's own coordinates; the owner adds the origin.
class PictureView final : public QWidget {
    Q_OBJECT
  public:
    explicit PictureView(const Project& project, QWidget* parent = nullptr);

    // The picture changed (import or load).
    void refresh();
    // The editing view frames every item and lets a ghost of the selected
    // item follow the mouse; the preview shows the items alone.
    void setInteractive(bool interactive);

  signals:
    void clicked(QPoint position);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

  private:
    void drawItem(QPainter& p, int slot) const;

    const Project& m_project;
    QImage m_picture;
    bool m_interactive = false;
    QPoint m_mouse{-1, -1};
};

// The item as the player would draw it in its off colour (shape, display
// glyphs or title text); nothing for items drawn in the background.
void paintItem(QPainter& p, const Project& project, int slot);

}  // namespace skin
