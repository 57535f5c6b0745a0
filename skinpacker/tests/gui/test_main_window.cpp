// The windows driven as a user would: import, place and move items by
// clicks, answer the colour and information dialogs, save, load, create.

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>

#include "skinpacker/gui/colour_dialog.h"
#include "skinpacker/gui/colour_strip.h"
#include "skinpacker/gui/item_button.h"
#include "skinpacker/gui/main_window.h"
#include "skinpacker/gui/picture_view.h"
#include "skinpacker/gui/qt_text.h"
#include "skinpacker/gui/small_dialogs.h"
#include "skinpacker/messages.h"
#include "skinpacker/project_file.h"
#include "skinpacker/tests/support/fixtures.h"

using namespace skin;
using namespace skintest;

namespace {

class QtEnvironment final : public ::testing::Environment {
  public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "skinpacker_gui_test";
        static char* argv[] = {name, nullptr};
        m_app = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override { m_app.reset(); }

  private:
    std::unique_ptr<QApplication> m_app;
};
const auto* const kQt = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

// Answers modal windows in the order they are expected, from inside their
// own event loops. A window nobody expected is closed and counted, so a
// wrong dialog fails the test instead of hanging it.
class ModalScript {
  public:
    ModalScript() {
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { tick(); });
        m_timer.start();
    }
    template <typename T>
    void expect(std::function<void(T*)> action) {
        m_steps.push_back({[](QWidget* w) { return qobject_cast<T*>(w) != nullptr; },
                           [action](QWidget* w) { action(qobject_cast<T*>(w)); }});
    }
    void expectMessage(std::string_view text) {
        const QString want = qs(text);
        expect<QMessageBox>([want, this](QMessageBox* box) {
            EXPECT_EQ(box->windowTitle(), QStringLiteral("Warning"));
            EXPECT_EQ(box->text(), want);
            messages.push_back(box->text());
            box->button(QMessageBox::Ok)->click();
        });
    }
    bool done() const { return m_steps.empty(); }
    int unexpected = 0;
    QStringList messages;

  private:
    struct Step {
        std::function<bool(QWidget*)> matches;
        std::function<void(QWidget*)> act;
    };
    void tick() {
        QWidget* w = QApplication::activeModalWidget();
        if (!w || w == m_last) {
            m_stuck = 0;
            return;
        }
        if (!m_steps.empty() && m_steps.front().matches(w)) {
            Step step = m_steps.front();
            m_steps.pop_front();
            m_last = w;
            m_stuck = 0;
            // Acted on from a timer of its own: a timer does not fire again
            // while its own slot runs, and the action may open nested windows.
            QPointer<QWidget> target(w);
            QTimer::singleShot(0, [step, target] {
                if (target) step.act(target);
            });
            return;
        }
        if (++m_stuck > 200) {  // a second on a window nobody expects
            ++unexpected;
            ADD_FAILURE() << "unexpected window " << w->metaObject()->className() << " \""
                          << w->windowTitle().toStdString() << "\" "
                          << (qobject_cast<QMessageBox*>(w)
                                  ? qobject_cast<QMessageBox*>(w)->text().toStdString()
                                  : std::string());
            m_last = w;
            if (auto* d = qobject_cast<QDialog*>(w)) d->reject();
            m_stuck = 0;
        }
    }

    QTimer m_timer;
    std::deque<Step> m_steps;
    QPointer<QWidget> m_last;
    int m_stuck = 0;
};

void clickNamed(QWidget* parent, const char* name) {
    auto* b = parent->findChild<QAbstractButton*>(QString::fromLatin1(name));
    ASSERT_NE(b, nullptr) << name;
    QTest::mouseClick(b, Qt::LeftButton);
}

void clickStrip(ColourSettingsDialog* d, int row, int value) {
    QTest::mouseClick(d->strip(row), Qt::LeftButton, {}, QPoint(value * 16 + 8, 8));
}

// A click at window coordinates (x, y): the picture view sits at (20, 20).
void clickPicture(MainWindow& w, int x, int y) {
    QTest::mouseClick(w.pictureView(), Qt::LeftButton, {}, QPoint(x - 20, y - 20));
}

void saveGrab(QWidget* w, const char* name) {
    // Pictures of the windows for a person to look at, only when asked for.
    if (const char* dir = std::getenv("SKINPACKER_GRAB_DIR"))
        w->grab().save(QString::fromLocal8Bit(dir) + QLatin1Char('/') + QString::fromLatin1(name));
}

class WindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        BitmapRecipe recipe;
        recipe.depth = 24;
        recipe.colour = [](int x, int y) {
            return Rgb{static_cast<uint8_t>(x * 255 / 319), static_cast<uint8_t>(y * 255 / 319),
                       static_cast<uint8_t>(128 + (x - y) / 3)};
        };
        writeFile(dir.path("photo.bmp"), makeBitmap(recipe));
        window.setFileAsker([this](QWidget*, FileRequest r) {
            auto& q = answers[r];
            if (q.empty()) {
                ADD_FAILURE() << "no answer for file request " << static_cast<int>(r);
                return QString();
            }
            QString a = q.front();
            q.pop_front();
            return a;
        });
        window.show();
        ASSERT_TRUE(window.ready());
    }
    void answer(FileRequest r, const std::string& path) {
        answers[r].push_back(QString::fromStdString(path));
    }
    void importPhoto() {
        answer(FileRequest::OpenPicture, dir.path("photo.bmp"));
        script.expect<QMessageBox>([](QMessageBox* box) {
            EXPECT_EQ(box->text(), qs(msg::kDownColour));
            EXPECT_EQ(box->icon(), QMessageBox::Information);
            EXPECT_EQ(box->windowTitle(), QStringLiteral("Warning"));
            box->button(QMessageBox::Ok)->click();
        });
        clickNamed(&window, "picture");
        ASSERT_TRUE(script.done());
        ASSERT_TRUE(window.project().pictureLoaded());
    }

    ScratchDir dir;
    MainWindow window;
    ModalScript script;
    std::map<FileRequest, std::deque<QString>> answers;
};

}  // namespace

TEST_F(WindowTest, ImportPlaceMoveSaveLoadCreate) {
    importPhoto();
    // The picture area shows the converted picture.
    const QImage shown = window.pictureView()->grab().toImage();
    const Rgb& c = window.project().palette()[window.project().pixel(200, 100)];
    EXPECT_EQ(shown.pixelColor(200, 100), QColor(c.r, c.g, c.b));

    auto* status = window.findChild<QLineEdit*>(QStringLiteral("status"));
    QTest::mouseClick(window.itemButton(1), Qt::LeftButton);
    EXPECT_EQ(status->text(), QString::fromUtf8("再生ボタンを配置します"));
    EXPECT_TRUE(window.itemButton(1)->isChecked());
    clickPicture(window, 38, 35);  // would lie outside: nothing happens
    EXPECT_FALSE(window.project().slot(1).placed());
    script.expect<ColourSettingsDialog>([](ColourSettingsDialog* d) {
        EXPECT_EQ(d->windowTitle(), QString::fromUtf8("ボタン設定"));
        EXPECT_TRUE(d->pictureButtonChoice()->isChecked());
        d->drawnButtonChoice()->click();
        EXPECT_EQ(d->strip(0)->value(), 14);
        EXPECT_EQ(d->strip(1)->value(), 9);
        saveGrab(d, "button-colours.png");
        clickNamed(d, "ok");
    });
    clickPicture(window, 38, 36);
    ASSERT_TRUE(script.done());
    EXPECT_EQ(window.project().slot(1).x, 0);
    EXPECT_EQ(window.project().slot(1).y, 1);
    EXPECT_EQ(window.project().slot(1).colours, (std::array<int8_t, 3>{14, 9, -1}));
    EXPECT_FALSE(window.itemButton(1)->isEnabled());
    EXPECT_TRUE(status->text().isEmpty());

    // Stop touching play's right edge is refused; a little further it goes.
    QTest::mouseClick(window.itemButton(2), Qt::LeftButton);
    script.expectMessage(msg::kOverlap);
    clickPicture(window, 20 + 36 + 18, 36);
    ASSERT_TRUE(script.done());
    EXPECT_FALSE(window.project().slot(2).placed());
    script.expect<ColourSettingsDialog>([](ColourSettingsDialog* d) { clickNamed(d, "ok"); });
    clickPicture(window, 20 + 38 + 18, 36);
    ASSERT_TRUE(script.done());
    EXPECT_EQ(window.project().slot(2).colours, (std::array<int8_t, 3>{-1, -1, -1}));

    // A three-colour level meter.
    QTest::mouseClick(window.itemButton(17), Qt::LeftButton);
    script.expect<ColourSettingsDialog>([](ColourSettingsDialog* d) {
        EXPECT_EQ(d->windowTitle(), QString::fromUtf8("色設定"));
        clickStrip(d, 0, 3);
        clickStrip(d, 1, 7);
        clickStrip(d, 2, 11);
        saveGrab(d, "three-colours.png");
        clickNamed(d, "ok");
    });
    clickPicture(window, 20 + 100 + 64, 20 + 100 + 20);
    ASSERT_TRUE(script.done());
    EXPECT_EQ(window.project().slot(17).colours, (std::array<int8_t, 3>{3, 7, 11}));
    for (int s = 17; s <= 20; ++s) EXPECT_FALSE(window.itemButton(s)->isEnabled());

    // A title display whose dialog is cancelled keeps no colour.
    QTest::mouseClick(window.itemButton(28), Qt::LeftButton);
    script.expect<ColourSettingsDialog>([](ColourSettingsDialog* d) {
        EXPECT_EQ(d->windowTitle(), QString::fromUtf8("文字色設定"));
        clickStrip(d, 0, 5);
        clickNamed(d, "cancel");
    });
    clickPicture(window, 20 + 40 + 120, 20 + 251 + 11);
    ASSERT_TRUE(script.done());
    EXPECT_EQ(window.project().slot(28).colours[0], -1);
    saveGrab(&window, "placed.png");

    // Move the level meter: pick it up, put it down, no dialog, colours kept.
    clickPicture(window, 20 + 110, 20 + 110);
    EXPECT_TRUE(window.project().moving());
    EXPECT_EQ(status->text(), QString::fromUtf8("レベルメータ(横バー)を配置します"));
    clickPicture(window, 20 + 150 + 64, 20 + 180 + 20);
    EXPECT_EQ(script.unexpected, 0);
    EXPECT_EQ(window.project().slot(17).x, 150);
    EXPECT_EQ(window.project().slot(17).colours, (std::array<int8_t, 3>{3, 7, 11}));

    // Save, load into a second window, save again: the same bytes.
    answer(FileRequest::SaveProject, dir.path("a.tpd"));
    clickNamed(&window, "save");
    ASSERT_EQ(std::filesystem::file_size(dir.path("a.tpd")), kProjectFileSize);
    {
        MainWindow second;
        second.setFileAsker([this](QWidget*, FileRequest r) {
            return QString::fromStdString(
                dir.path(r == FileRequest::OpenProject ? "a.tpd" : "b.tpd"));
        });
        clickNamed(&second, "load");
        EXPECT_EQ(second.project().slot(17).x, 150);
        EXPECT_FALSE(second.itemButton(19)->isEnabled());
        EXPECT_TRUE(second.itemButton(3)->isEnabled());
        clickNamed(&second, "save");
        EXPECT_EQ(readFile(dir.path("a.tpd")), readFile(dir.path("b.tpd")));
    }

    // Create: preview, a name too long then a good one, the texts in order, done.
    script.expect<PreviewDialog>([](PreviewDialog* d) {
        EXPECT_EQ(d->windowTitle(), QString::fromUtf8("イメージ表示"));
        saveGrab(d, "preview.png");
        clickNamed(d, "create");
    });
    answer(FileRequest::SaveDatabase, dir.path(std::string(27, 'n') + ".pdb"));
    script.expectMessage(msg::kNameTooLong);
    answer(FileRequest::SaveDatabase, dir.path("skin.pdb"));
    script.expect<DatabaseInfoDialog>([](DatabaseInfoDialog* d) {
        EXPECT_EQ(d->windowTitle(), QString::fromUtf8("データベース情報設定"));
        // Only digits go in, six at most.
        QTest::keyClicks(d->versionEdit(), QStringLiteral("12x3456789"));
        EXPECT_EQ(d->versionEdit()->text(), QStringLiteral("123456"));
        clickNamed(d, "ok");  // refused: no title
        d->titleEdit()->setText(QString::fromUtf8("夏の空"));
        clickNamed(d, "ok");  // refused: no author
        d->authorEdit()->setText(QStringLiteral("someone"));
        saveGrab(d, "info.png");
        clickNamed(d, "ok");
    });
    script.expectMessage(msg::kNeedTitle);
    script.expectMessage(msg::kNeedAuthor);
    script.expect<CompletionDialog>([](CompletionDialog* d) {
        EXPECT_EQ(d->windowTitle(), QStringLiteral("ThemedPlayer"));
        clickNamed(d, "ok");
    });
    clickNamed(&window, "create");
    ASSERT_TRUE(script.done());
    EXPECT_EQ(script.unexpected, 0);
    EXPECT_EQ(script.messages.size(), 4);

    SkinFile f;
    ASSERT_TRUE(readSkin(readFile(dir.path("skin.pdb")), f));
    EXPECT_EQ(f.name, "skin.pdb");
    ASSERT_EQ(f.items.size(), 4u);
    EXPECT_EQ(f.items[0].bitmaps.size(), 2u);  // play drawn in 14 and 9
    EXPECT_EQ(f.items[1].bitmaps.size(), 0u);  // stop is part of the picture
    EXPECT_EQ(f.items[2].bitmaps.size(), 3u);  // level meter
    EXPECT_EQ(f.items[3].descriptor[0], 28);
    EXPECT_EQ(std::string(f.info.begin() + 64, f.info.begin() + 70), "123456");
    EXPECT_EQ(window.project().texts().author, "someone");
}

TEST_F(WindowTest, RefusalsBeforeAnythingIsAsked) {
    script.expectMessage(msg::kSaveNeedsPicture);
    clickNamed(&window, "save");
    ASSERT_TRUE(script.done());
    importPhoto();
    script.expectMessage(msg::kNeedPlayStop);
    clickNamed(&window, "create");
    ASSERT_TRUE(script.done());
    EXPECT_TRUE(answers[FileRequest::SaveProject].empty());
    EXPECT_EQ(script.unexpected, 0);
}

TEST_F(WindowTest, CancelledCreateWritesNothing) {
    importPhoto();
    script.expect<ColourSettingsDialog>([](ColourSettingsDialog* d) { clickNamed(d, "ok"); });
    QTest::mouseClick(window.itemButton(1), Qt::LeftButton);
    clickPicture(window, 38, 36);
    script.expect<ColourSettingsDialog>([](ColourSettingsDialog* d) { clickNamed(d, "ok"); });
    QTest::mouseClick(window.itemButton(2), Qt::LeftButton);
    clickPicture(window, 200, 200);
    ASSERT_TRUE(script.done());

    script.expect<PreviewDialog>([](PreviewDialog* d) { clickNamed(d, "cancel"); });
    clickNamed(&window, "create");
    answer(FileRequest::SaveDatabase, dir.path("skin.pdb"));
    script.expect<PreviewDialog>([](PreviewDialog* d) { clickNamed(d, "create"); });
    script.expect<DatabaseInfoDialog>([](DatabaseInfoDialog* d) { clickNamed(d, "cancel"); });
    clickNamed(&window, "create");
    ASSERT_TRUE(script.done());
    EXPECT_FALSE(std::filesystem::exists(dir.path("skin.pdb")));
    EXPECT_EQ(script.unexpected, 0);
}

TEST_F(WindowTest, BadPictureIsReportedAndChangesNothing) {
    writeFile(dir.path("bad.bmp"), {'B', 'M', 1, 2, 3});
    answer(FileRequest::OpenPicture, dir.path("bad.bmp"));
    script.expectMessage(msg::kNotBmp);
    clickNamed(&window, "picture");
    answer(FileRequest::OpenPicture, dir.path("missing.bmp"));
    script.expectMessage(msg::kBmpNotFound);
    clickNamed(&window, "picture");
    ASSERT_TRUE(script.done());
    EXPECT_FALSE(window.project().pictureLoaded());
}

TEST_F(WindowTest, AboutBox) {
    auto* about = window.findChild<QAction*>(QStringLiteral("about"));
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(about->text(), QString::fromUtf8("skinpacker のﾊﾞｰｼﾞｮﾝ情報(&A)..."));
    script.expect<AboutDialog>([](AboutDialog* d) {
        bool found = false;
        for (QLabel* l : d->findChildren<QLabel*>())
            found = found || l->text() == QStringLiteral("skinpacker Version 0.23");
        EXPECT_TRUE(found);
        clickNamed(d, "ok");
    });
    about->trigger();
    EXPECT_TRUE(script.done());
}

TEST_F(WindowTest, ItemButtonsFollowTheLayout) {
    // Rows of 4, 4, 4, 4, 4, 3, 3 and 4 from the same left edge, one step apart.
    const int left = window.itemButton(1)->x(), top = window.itemButton(1)->y();
    const int step = window.itemButton(2)->x() - left;
    const int rows[] = {4, 4, 4, 4, 4, 3, 3, 4};
    int slot = 1;
    for (int r = 0; r < 8; ++r)
        for (int c = 0; c < rows[r]; ++c, ++slot) {
            EXPECT_EQ(window.itemButton(slot)->x(), left + c * step) << slot;
            EXPECT_EQ(window.itemButton(slot)->y(), top + r * step) << slot;
        }
    EXPECT_GT(left, 20 + 320);
    EXPECT_EQ(window.pictureView()->pos(), QPoint(20, 20));
}
