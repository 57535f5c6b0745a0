#pragma once

#include <QMainWindow>
#include <array>
#include <functional>

#include "skinpacker/gui/message_reporter.h"
#include "skinpacker/project.h"

class QLineEdit;
class QPushButton;

namespace skin {

class ItemButton;
class PictureView;

enum class FileRequest { OpenPicture, OpenProject, SaveProject, SaveDatabase };

// Asks the user for a file; an empty string means cancelled.
using FileAsker = std::function<QString(QWidget* parent, FileRequest request)>;
QString askWithFileDialog(QWidget* parent, FileRequest request);

// The skin builder's one window: the picture with its items, the thirty item
// buttons, picture / load / save / create and the status field.
class MainWindow final : public QMainWindow {
    Q_OBJECT
  public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // False when the picture buffers could not be reserved; the window closes itself.
    bool ready() const { return m_ready; }
    // Tests answer the file dialogs themselves.
    void setFileAsker(FileAsker asker) { m_askFile = std::move(asker); }

    const Project& project() const { return m_project; }
    PictureView* pictureView() const { return m_view; }
    ItemButton* itemButton(int slot) const { return m_items[static_cast<size_t>(slot)]; }

  public slots:
    void importPicture();
    void loadProject();
    void saveProject();
    void createDatabase();
    void showAbout();

  private:
    void selectItem(int slot);
    void pictureClicked(QPoint viewPosition);
    void askColours(int slot);
    void syncControls();

    Project m_project;
    MessageReporter m_reporter{this};
    FileAsker m_askFile = askWithFileDialog;
    bool m_ready = false;
    PictureView* m_view = nullptr;
    std::array<ItemButton*, kSlotCount> m_items{};
    QLineEdit* m_status = nullptr;
};

}  // namespace skin
