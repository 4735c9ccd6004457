// The playlist window on Qt's offscreen platform: its keys, the search dialog (whose edit field
// the main window's keys leave alone), the clear question, the random switch, the list font
// kept in the settings, a long list; and a two-song playlist converted from the window by a
// real engine in its own thread while the window goes on handling events.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "app/Engine.h"
#include "desktop/EngineFront.h"
#include "gui/GuiApplication.h"
#include "gui/MainWindow.h"
#include "gui/PlaylistWindow.h"
#include "gui/WindowRig.h"
#include "support/SmfBuilder.h"
#include "support/TempDir.h"
#include "support/TestFonts.h"

namespace svt {
namespace {

using gui::MainWindow;
using gui::PlaylistWindow;

using test::application;

using ListRig = test::WindowRig;

using test::codesOf;

TEST(PlaylistWindow, KeysPlayRemoveClearAndHide) {
    ListRig rig;
    rig.listSongs({"a.mid", "b.mid", "c.mid"});
    PlaylistWindow& w = rig.list();
    w.show();
    rig.queued();
    ASSERT_EQ(w.model()->rowCount(), 3);
    EXPECT_EQ(w.countField()->text(), "3 files, total time 00:00 ");
    EXPECT_TRUE(w.model()->index(0).data().toString().startsWith("Current: "));

    QListView* list = w.list();
    list->clearSelection();
    rig.key(list, Qt::Key_Backspace);
    EXPECT_TRUE(rig.queued().empty()) << "Backspace without a selected line removes nothing";
    for (QAction* a : w.contextMenu()->actions())
        if (a->text() == "Remove song") a->trigger();
    EXPECT_TRUE(rig.queued().empty()) << "nor does the menu's Remove (not the current entry)";

    w.selectRow(1);
    rig.key(list, Qt::Key_Return);
    auto played = rig.queued();
    ASSERT_EQ(codesOf(played), (std::vector<int32_t>{FcSelectOutput, FcPlayIndex}))
        << "the line is heard through the device";
    EXPECT_EQ(played[1].argument, 1);
    rig.key(list, Qt::Key_Space);
    EXPECT_EQ(codesOf(rig.queued()), (std::vector<int32_t>{FcSelectOutput, FcPlayIndex}))
        << "Space plays the line; the main window's play key stays out of it";

    rig.key(list, Qt::Key_Backspace);
    auto removed = rig.queued();
    ASSERT_EQ(codesOf(removed), (std::vector<int32_t>{FcRemoveEntry, FcRefreshList}));
    EXPECT_EQ(removed[0].argument, 1);

    // Delete and C ask before clearing; only a yes clears.
    for (const auto& [key, answer] :
         {std::pair{Qt::Key_Delete, false}, {Qt::Key_C, false}, {Qt::Key_Delete, true}}) {
        rig.questions.clear();
        rig.answer = answer;
        rig.key(list, key, key == Qt::Key_C ? QStringLiteral("c") : QString());
        EXPECT_EQ(rig.questions,
                  std::vector<std::string>{"Are you sure you want to clear the whole playlist?"});
        EXPECT_EQ(codesOf(rig.queued()),
                  answer ? std::vector<int32_t>{FcClearPlaylist} : std::vector<int32_t>{});
    }
    rig.control.clearPlaylist();  // what the last question queued, now carried out
    rig.engineStep();
    EXPECT_EQ(w.model()->rowCount(), 0);
    rig.services.messages.clear();
    rig.key(list, Qt::Key_Delete);
    EXPECT_EQ(rig.messageTexts(), std::vector<std::string>{"No MIDI file open."});

    rig.questions.clear();
    rig.answer = false;
    rig.key(list, Qt::Key_Q, QStringLiteral("q"));
    EXPECT_EQ(rig.questions, std::vector<std::string>{"Do you want to quit the program?"});
    EXPECT_TRUE(rig.window->isVisible()) << "No keeps the program running";
    rig.key(list, Qt::Key_Escape);
    EXPECT_FALSE(w.isVisible());
}

TEST(PlaylistWindow, SearchDialogFindsLinesAndKeepsItsKeys) {
    ListRig rig;
    rig.listSongs({"Bach.mid", "Mozart.mid", "more Bach.mid"});
    PlaylistWindow& w = rig.list();
    w.show();
    rig.queued();
    w.showSearch();
    gui::SearchDialog* dialog = w.searchDialog();
    ASSERT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->edit()->maxLength(), 250);

    // Letters typed into the search text are no shortcuts of the main window.
    QTest::keyClicks(dialog->edit(), "Bachqs");
    EXPECT_TRUE(rig.queued().empty());
    EXPECT_TRUE(rig.questions.empty());
    dialog->edit()->setText("Bach");
    w.list()->clearSelection();
    dialog->searchButton()->click();
    EXPECT_EQ(w.selectedRow(), 0);
    dialog->nextButton()->click();
    EXPECT_EQ(w.selectedRow(), 2);
    dialog->nextButton()->click();
    EXPECT_EQ(rig.services.messages.back().text, "End of search.");

    // Hiding the window hides the dialog; showing it again brings the dialog back.
    w.hide();
    EXPECT_FALSE(dialog->isVisible());
    w.show();
    EXPECT_TRUE(dialog->isVisible());
}

TEST(PlaylistWindow, RandomSwitchSaysWhatItDid) {
    ListRig rig;
    rig.listSongs({"a.mid"});
    PlaylistWindow& w = rig.list();
    w.toggleRandom();
    EXPECT_EQ(rig.messageTexts().back(), "The playlist has just one song!");
    EXPECT_FALSE(rig.control.randomOrder());
    rig.listSongs({"b.mid", "c.mid"});
    w.toggleRandom();
    EXPECT_EQ(rig.messageTexts().back(), "Random is on!");
    EXPECT_TRUE(rig.control.randomOrder());
    w.toggleRandom();
    EXPECT_EQ(rig.messageTexts().back(), "Random is off!");
}

TEST(PlaylistWindow, FontChoiceIsKeptInTheSettings) {
    ListRig rig;
    PlaylistWindow& w = rig.list();
    QFont chosen(QStringLiteral("DejaVu Sans Mono"));
    chosen.setPixelSize(17);
    chosen.setItalic(true);
    chosen.setFixedPitch(true);
    w.chooseFont = [&](const QFont&) { return std::optional<QFont>(chosen); };
    w.changeFont();
    EXPECT_EQ(rig.settings.uiListFontName, "DejaVu Sans Mono");
    EXPECT_EQ(rig.settings.uiListFontHeight, 17);
    EXPECT_EQ(rig.settings.uiListFontFlags, 3);
    EXPECT_EQ(w.list()->font().pixelSize(), 17);
    EXPECT_TRUE(w.list()->font().italic());
    const QFont again = PlaylistWindow::listFont(rig.settings);
    EXPECT_EQ(again.family(), "DejaVu Sans Mono");
    EXPECT_TRUE(again.italic());

    w.chooseFont = [](const QFont&) { return std::optional<QFont>(); };
    rig.settings.uiListFontName = "Kept";
    w.changeFont();
    EXPECT_EQ(rig.settings.uiListFontName, "Kept") << "a cancelled dialog changes nothing";
}

// A real engine over a font of the test's own; the window converts the playlist to WAV.
TEST(PlaylistWindow, ConvertingTheListKeepsTheWindowResponsive) {
    application();
    test::TempDir dir;
    const std::string font = dir.write("sine.sf2", test::sineFont());
    QStringList songs;
    for (const char* name : {"one.mid", "two.mid"}) {
        test::SmfBuilder song(0, 480);
        song.track().noteOn(0, 0, 60, 100).noteOff(480 * 20, 0, 60).endOfTrack();  // ten seconds
        songs << QString::fromStdString(dir.write(name, song.build()));
    }
    Engine engine;
    ASSERT_TRUE(engine.loadSoundFont(font).ok());
    EngineFront front(engine);
    FrontControl control(front, Language::English);
    control.setInterfaceFlags(0);
    engine.setControl(control);
    AppSettings settings;
    test::FakeDesktopServices services;
    std::vector<std::string>& questions = services.questions;
    MainWindow window(control, settings, MainWindow::Form::Full, font, &services);
    window.show();
    control.open({});
    window.openPaths(songs);
    for (int i = 0; i < 6000 && control.playlistCount() < 2; ++i) QTest::qWait(10);
    ASSERT_EQ(control.playlistCount(), 2);

    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&ticks] { ++ticks; });
    ticker.start(5);
    window.model().convertWholePlaylist(OutputKind::WavFile);
    for (int i = 0; i < 12000 && questions.empty(); ++i) QTest::qWait(5);
    ticker.stop();
    ASSERT_EQ(questions.size(), 1u) << "the question after the last song";
    EXPECT_EQ(questions[0], "Do you want to listen to the files or burn them to a CD?");
    EXPECT_GT(ticks, 0) << "the window handled events while the engine converted";
    for (const char* name : {"one.wav", "two.wav"}) {
        const std::string path = dir.file(name);
        ASSERT_TRUE(std::filesystem::exists(path)) << name;
        EXPECT_GT(std::filesystem::file_size(path), 44u + 44100u * 4u) << name;
    }
    const auto files = std::distance(std::filesystem::directory_iterator(dir.path()), {});
    EXPECT_EQ(files, 5) << "the font, two songs and two WAV files: no temporary file is left";
    EXPECT_TRUE(control.shutDown(10000));
    EXPECT_FALSE(control.engineRunning());
}

}  // namespace
}  // namespace svt
