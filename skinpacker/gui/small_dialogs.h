#pragma once

// The preview before creating, the database information, the completion
// notice and the About box.

#include <QDialog>

#include "skinpacker/project.h"

class QLineEdit;

namespace skin {

// Shows the skin as it will be; "作　成" accepts, "ｷｬﾝｾﾙ" rejects.
class PreviewDialog final : public QDialog {
    Q_OBJECT
  public:
    explicit PreviewDialog(const Project& project, QWidget* parent = nullptr);
};

// Title, author and six-digit version of the database. OK is refused, with
// the message for the first missing text, until all three are filled.
class DatabaseInfoDialog final : public QDialog {
    Q_OBJECT
  public:
    explicit DatabaseInfoDialog(const DatabaseTexts& stored, QWidget* parent = nullptr);
    const DatabaseTexts& texts() const { return m_texts; }
    void accept() override;

    QLineEdit* titleEdit() const { return m_title; }
    QLineEdit* authorEdit() const { return m_author; }
    QLineEdit* versionEdit() const { return m_version; }

  private:
    QLineEdit* m_title;
    QLineEdit* m_author;
    QLineEdit* m_version;
    DatabaseTexts m_texts;
};

class CompletionDialog final : public QDialog {
    Q_OBJECT
  public:
    explicit CompletionDialog(QWidget* parent = nullptr);
};

class AboutDialog final : public QDialog {
    Q_OBJECT
  public:
    explicit AboutDialog(QWidget* parent = nullptr);
};

// The program's icon, drawn rather than shipped.
QIcon programIcon();

}  // namespace skin
