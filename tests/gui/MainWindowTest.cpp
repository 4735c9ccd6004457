// The main window on Qt's offscreen platform: keys, bars, German texts, the meters,
// minimising. The control interface behind it is real; its engine is a
// fake, and the test itself plays the engine thread by carrying out the queued commands.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QToolButton>
#include <QTranslator>

#include "gui/Appearance.h"
#include "gui/ChannelMeters.h"
#include "gui/GuiApplication.h"
#include "gui/MainWindow.h"
#include "gui/PlaylistWindow.h"
#include "gui/WindowRig.h"

// The system's font library keeps a cache it never frees; the leak checker is told so.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

namespace svt {
namespace {

using gui::MainWindow;
using gui::PlaylistWindow;

using test::application;

using test::press;
using test::WindowRig;

using test::notice;

TEST(MainWindowKeys, SpaceWithAnEmptyPlaylistOnlyExplains) {
    WindowRig rig;
    press(rig.window.get(), Qt::Key_Space);
    QTest::mouseClick(rig.window->playButton(), Qt::LeftButton);
    EXPECT_EQ(rig.messageTexts(),
              (std::vector<std::string>{"You have to load a file to use keyboard shortcuts.",
                                        "No MIDI file open."}));
    EXPECT_TRUE(rig.queuedCodes().empty());
}

TEST(MainWindowKeys, LettersActWhateverShiftAndFunctionKeysDoNothing) {
    WindowRig rig;
    rig.listSongs({"a.mid"});
    struct Case {
        const char* what;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        std::vector<int32_t> expected;
    };
    const Case cases[] = {
        {"space plays", Qt::Key_Space, Qt::NoModifier, {FcSelectOutput, CmdLoadFile}},
        {"S stops", Qt::Key_S, Qt::NoModifier, {CmdStop}},
        {"shift+S stops too", Qt::Key_S, Qt::ShiftModifier, {CmdStop}},
        {"P goes back", Qt::Key_P, Qt::ShiftModifier, {CmdReallyPrevious}},
        {"media stop", Qt::Key_MediaStop, Qt::NoModifier, {CmdStop}},
        {"media play", Qt::Key_MediaTogglePlayPause, Qt::NoModifier, {FcSelectOutput, CmdLoadFile}},
        {"F2 does nothing", Qt::Key_F2, Qt::NoModifier, {}},
        {"O alone does nothing", Qt::Key_O, Qt::NoModifier, {}},
        {"Ctrl+S is no stop", Qt::Key_S, Qt::ControlModifier, {}},
        {"keypad 1 does nothing", Qt::Key_1, Qt::KeypadModifier, {}},
    };
    for (const Case& c : cases) {
        press(rig.window.get(), c.key, c.modifiers);
        EXPECT_EQ(rig.queuedCodes(), c.expected) << c.what;
    }
    EXPECT_TRUE(rig.messages.empty());
    EXPECT_FALSE(rig.window->playlistWindow()->isVisible()) << "no key above shows the playlist";

    press(rig.window.get(), Qt::Key_A, Qt::ShiftModifier);
    EXPECT_TRUE(rig.window->playlistWindow()->isVisible());
    EXPECT_EQ(rig.queuedCodes(), std::vector<int32_t>{FcRefreshList});
    press(rig.window.get(), Qt::Key_A);
    EXPECT_FALSE(rig.window->playlistWindow()->isVisible());

    press(rig.window.get(), Qt::Key_H);
    ASSERT_EQ(rig.messages.size(), 1u);
    EXPECT_EQ(rig.messages[0].caption, "Keyboard shortcuts");
    EXPECT_EQ(rig.messages[0].text.rfind(" Transport:\n<Space> Play/Pause", 0), 0u);
}

TEST(MainWindowKeys, ArrowsCtrlOAndTheLiveKeysWhileASongPlays) {
    WindowRig rig;
    rig.listSongs({"a.mid"});
    rig.engine.volume = 50;
    rig.window->volumeBar()->setValue(50);
    press(rig.window.get(), Qt::Key_Up);
    EXPECT_EQ(rig.engine.volume, 55);
    EXPECT_EQ(rig.window->volumeBar()->value(), 55) << "the bar follows the key";
    EXPECT_EQ(rig.window->volumeField()->text(), "55");
    press(rig.window.get(), Qt::Key_Down);
    EXPECT_EQ(rig.window->volumeBar()->value(), 50);

    // While a song is heard the live keys become the player's commands.
    std::vector<int32_t> heard;
    rig.engine.onPlay = [&] {
        rig.control.notify(notice(NoticeCurrentTime, 40));
        for (Qt::Key key : {Qt::Key_Right, Qt::Key_Left, Qt::Key_Plus, Qt::Key_Minus,
                            Qt::Key_BracketRight, Qt::Key_BracketLeft})
            press(rig.window.get(), key);
        int32_t argument = 0;
        while (rig.control.commandQueue().count() > 0) {
            heard.push_back(rig.control.readCommand(argument));
            if (heard.back() == CmdJump) heard.push_back(argument);
        }
        rig.control.queue(CmdQuit);
    };
    rig.control.queue(CmdLoadFile);
    rig.control.runPlaylist({});
    EXPECT_EQ(heard, (std::vector<int32_t>{CmdJump, 45000, CmdJump, 35000, CmdKeyUp, CmdKeyDown,
                                           CmdSpeedUp, CmdSpeedDown}));

    rig.services.choose({rig.dir.write("b.mid", std::string("MThd"))});
    press(rig.window.get(), Qt::Key_O, Qt::ControlModifier);
    ASSERT_EQ(rig.services.dialogs.size(), 1u) << "Ctrl+O opens the dialog";
    EXPECT_EQ(rig.queuedCodes(), std::vector<int32_t>{FcOpenFiles});

    // A letter outside the table reaches no song control, whichever widget has the focus.
    rig.window->activateWindow();
    press(rig.window.get(), Qt::Key_Tab);
    QApplication::processEvents();
    const int keyItem = rig.window->keyBox()->currentIndex();
    press(QApplication::focusWidget() ? QApplication::focusWidget() : rig.window.get(), Qt::Key_F,
          Qt::AltModifier);
    EXPECT_EQ(rig.window->keyBox()->currentIndex(), keyItem);
    EXPECT_NE(QApplication::focusWidget(), rig.window->keyBox());

    press(rig.window.get(), Qt::Key_F1);
    EXPECT_EQ(rig.services.opened.size() + rig.services.messages.size(), 1u)
        << "F1 opens the user guide, or says where it should be";
}

TEST(MainWindowKeys, QuitAsksAndNoKeepsRunning) {
    WindowRig rig;
    rig.answer = false;
    press(rig.window.get(), Qt::Key_Q);
    ASSERT_EQ(rig.questions.size(), 1u);
    EXPECT_EQ(rig.questions[0], "Do you really want to quit the program?");
    EXPECT_TRUE(rig.window->isVisible());
    EXPECT_TRUE(rig.queuedCodes().empty());

    AppSettings saved;
    rig.window->model().saveSettings = [&](const AppSettings& s) { saved = s; };
    rig.settings.uiMainX = 77;
    rig.answer = true;
    press(rig.window.get(), Qt::Key_Q);
    EXPECT_FALSE(rig.window->isVisible());
    EXPECT_EQ(saved.uiMainX, 77) << "closing saves the settings";

    WindowRig compact(MainWindow::Form::Compact);
    compact.window->close();
    EXPECT_TRUE(compact.questions.empty()) << "the compact window closes without asking";
    EXPECT_FALSE(compact.window->isVisible());
}

TEST(MainWindowBars, PendingValuesApplyWhenTheMovementEnds) {
    WindowRig rig;
    rig.listSongs({"a.mid"});  // original tempo 120, C major
    QScrollBar* tempo = rig.window->tempoBar();
    ASSERT_TRUE(tempo->isEnabled());
    tempo->setSliderDown(true);
    tempo->setSliderPosition(150);
    EXPECT_EQ(rig.window->newTempoField()->text(), "150 bpm");
    EXPECT_TRUE(rig.queuedCodes().empty()) << "nothing is sent while the bar moves";
    tempo->setSliderDown(false);
    EXPECT_EQ(rig.window->newTempoField()->text(), "150 bpm (125%)");
    EXPECT_EQ(rig.queuedCodes(), std::vector<int32_t>{CmdSetTempo});

    tempo->triggerAction(QAbstractSlider::SliderPageStepSub);
    EXPECT_EQ(tempo->value(), 145) << "page step 5";
    EXPECT_EQ(rig.queuedCodes(), std::vector<int32_t>{CmdSetTempo})
        << "a click is a whole movement";

    QScrollBar* transpose = rig.window->transposeBar();
    transpose->setSliderDown(true);
    transpose->setSliderPosition(31);
    EXPECT_EQ(rig.window->semitonesField()->text(), "7");
    transpose->setSliderDown(false);
    EXPECT_EQ(rig.control.userTranspose(), 7);
    EXPECT_EQ(rig.window->keyBox()->currentIndex(), 8) << "C major up a fifth is G major";
    EXPECT_TRUE(rig.queuedCodes().empty()) << "transposition is not a command";
    transpose->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(transpose->value(), 38) << "page step 7";

    QScrollBar* volume = rig.window->volumeBar();
    volume->setSliderDown(true);
    volume->setSliderPosition(40);
    EXPECT_EQ(rig.engine.volume, 40) << "the volume applies while the bar moves";
    EXPECT_EQ(rig.window->volumeField()->text(), "40");
    volume->setSliderDown(false);

    // While the user holds the position bar, the song's time does not move it.
    rig.control.notify(notice(NoticePlayStart, 1000 * 300));
    rig.window->refreshPanel();
    QScrollBar* position = rig.window->positionBar();
    position->setSliderDown(true);
    position->setSliderPosition(100);
    rig.control.notify(notice(NoticeCurrentTime, 20));
    rig.window->refreshPanel();
    EXPECT_EQ(position->sliderPosition(), 100);
    EXPECT_EQ(rig.window->timeField()->text(), " 00:00:20 von 00:05:00");
    position->setSliderDown(false);
    int32_t argument = 0;
    EXPECT_EQ(rig.control.commandQueue().get(false, argument), CmdJump);
    EXPECT_EQ(argument, 100 * 1000);
    rig.control.notify(notice(NoticeCurrentTime, 101));
    rig.window->refreshPanel();
    EXPECT_EQ(position->value(), 101);

    // A click goes where it lands, not a page step of 10 s; the arrows at the ends take a
    // little of the width: three quarters of 300 s, give or take.
    rig.queuedCodes();
    QTest::mouseClick(position, Qt::LeftButton, Qt::NoModifier,
                      QPoint(position->width() * 3 / 4, position->height() / 2));
    ASSERT_EQ(rig.control.commandQueue().get(false, argument), CmdJump);
    EXPECT_NEAR(argument, 225 * 1000, 22 * 1000);
}

TEST(MainWindowPanel, MetersFollowNoteNoticesAndSongControlsLockWhilePlaying) {
    WindowRig rig;
    rig.listSongs({"a.mid"});
    rig.control.notify(notice(NoticePlayStart, 1000 * 60));
    for (int c = 0; c < 16; ++c) rig.control.notify(notice(NoticeNote, 2, c, 60, 8 * (c + 1)));
    rig.window->refreshPanel();
    EXPECT_EQ(rig.window->meters()->levels()[15], 50) << "the model's sum of velocities";
    EXPECT_FALSE(rig.window->tempoBar()->isEnabled());
    EXPECT_FALSE(rig.window->keyBox()->isEnabled());

    const int paints = rig.window->meters()->paintCount();
    for (int i = 0; i < 1000; ++i) {
        rig.control.notify(notice(NoticeNote, 2, 3, 60, 1));
        rig.control.notify(notice(NoticeNote, 1, 3, 60, 1));
    }
    rig.window->refreshPanel();
    QApplication::processEvents();
    EXPECT_LE(rig.window->meters()->paintCount(), paints + 1)
        << "a thousand notes between two refreshes cost at most one paint";

    rig.control.notify(notice(NoticePlayEnd, CmdTuneEnd));
    rig.window->refreshPanel();
    EXPECT_EQ(rig.window->meters()->levels()[15], 0);
    EXPECT_TRUE(rig.window->tempoBar()->isEnabled());
}

TEST(MainWindowPanel, MinimisingHidesThePlaylistWindowAndRestoringBringsItBack) {
    for (bool open : {true, false}) {
        WindowRig rig;
        if (open) rig.window->playlistWindow()->show();
        rig.window->showMinimized();
        QApplication::processEvents();
        EXPECT_FALSE(rig.window->playlistWindow()->isVisible());
        rig.window->showNormal();
        QApplication::processEvents();
        EXPECT_EQ(rig.window->playlistWindow()->isVisible(), open);
    }
}

std::vector<QString> menuTitles(QMenuBar* bar) {
    std::vector<QString> titles;
    for (QAction* a : bar->actions()) titles.push_back(a->text());
    return titles;
}

std::vector<QString> tooltips(MainWindow& window) {
    std::vector<QString> tips;
    for (QToolButton* b : window.findChildren<QToolButton*>())
        if (!b->toolTip().isEmpty()) tips.push_back(b->toolTip());
    return tips;
}

// The window's widgets outside the scrolling channel rows, as the user sees them.
std::vector<QWidget*> fixedWidgets(MainWindow& window) {
    std::vector<QWidget*> out;
    auto* scroller = window.findChild<QScrollArea*>();
    for (QWidget* w : window.centralWidget()->findChildren<QWidget*>()) {
        if (!w->isVisible() || (scroller && scroller->isAncestorOf(w)) || w == scroller) continue;
        out.push_back(w);
    }
    return out;
}

TEST(MainWindowLayout, SmallNothingIsCutOffAndLargeTheRowsGrow) {
    WindowRig rig;
    rig.window->placeFromSettings();
    auto* scroller = rig.window->findChild<QScrollArea*>();
    ASSERT_TRUE(scroller);
    QWidget* channels = scroller->widget();
    const QList<QComboBox*> boxes = channels->findChildren<QComboBox*>();
    ASSERT_EQ(boxes.size(), 16);

    rig.window->resize(700, 450);
    QApplication::processEvents();
    EXPECT_LE(rig.window->width(), 700);
    EXPECT_LE(rig.window->height(), 450) << "the window can be made this small";
    const QRect panel = rig.window->centralWidget()->rect();
    for (QWidget* w : fixedWidgets(*rig.window)) {
        const QRect at(w->mapTo(rig.window->centralWidget(), QPoint(0, 0)), w->size());
        EXPECT_TRUE(panel.contains(at)) << w->metaObject()->className() << " "
                                        << w->objectName().toStdString() << " lies outside";
        EXPECT_GE(w->height(), std::min(w->minimumSizeHint().height(), w->sizeHint().height()))
            << w->metaObject()->className() << " is squeezed";
    }
    // The sixteenth row is reached by scrolling, not cut away.
    EXPECT_GE(scroller->verticalScrollBar()->maximum() + scroller->viewport()->height(),
              boxes.last()->geometry().bottom());

    const int naturalSpread = boxes.last()->y() - boxes.first()->y();
    rig.window->resize(1600, 1100);
    QApplication::processEvents();
    EXPECT_EQ(scroller->verticalScrollBar()->maximum(), 0) << "everything fits";
    EXPECT_GT(boxes.last()->y() - boxes.first()->y(), naturalSpread + 100)
        << "the channel rows spread over the larger window";
    EXPECT_GT(boxes.last()->geometry().bottom(), channels->height() - 60)
        << "no empty block under the rows";
    auto* heading = channels->findChild<QLabel*>();
    ASSERT_TRUE(heading);
    EXPECT_LT(boxes.first()->y() - heading->geometry().bottom(), 30) << "the heading stays on top";
    int lowest = 0;
    for (QWidget* w : fixedWidgets(*rig.window))
        lowest =
            std::max(lowest, w->mapTo(rig.window->centralWidget(), QPoint(0, w->height())).y());
    EXPECT_GT(lowest, rig.window->centralWidget()->height() - 60)
        << "the panel's fields reach down the window";
}

QMenu* menuTitled(QMenuBar* bar, const QString& title) {
    for (QAction* a : bar->actions())
        if (a->text() == title) return a->menu();
    return nullptr;
}

// Which addresses count as real is the model's (MainWindowModel.LinkMenus...); here the menus
// show what it says: nothing for the shipped placeholders, the real ones when there are some.
TEST(MainWindowMenus, OnlyRealAddressesAreOffered) {
    WindowRig rig;
    EXPECT_FALSE(menuTitled(rig.window->menuBar(), "Downloads")->menuAction()->isVisible());
    EXPECT_FALSE(menuTitled(rig.window->menuBar(), "MIDI Links")->menuAction()->isVisible());
    rig.settings.links[3] = "https://classical.midi-archive.org/";
    rig.settings.linkUpdateUrl = "https://links.sorvanto.net/update";
    rig.window = std::make_unique<MainWindow>(rig.control, rig.settings, MainWindow::Form::Full,
                                              "/fonts/Test.sf2", &rig.services);
    QMenu* links = menuTitled(rig.window->menuBar(), "MIDI Links");
    ASSERT_TRUE(links);
    EXPECT_TRUE(links->menuAction()->isVisible());
    std::vector<QString> entries;
    for (QAction* a : links->actions()) {
        if (a->isSeparator()) continue;
        entries.push_back(a->text());
        if (a->menu())
            for (QAction* b : a->menu()->actions()) entries.push_back(b->text());
    }
    EXPECT_EQ(entries, (std::vector<QString>{"Classical", "Klassik 1...", "Update links..."}));
}

TEST(MainWindowLanguage, GermanReachesMenusTooltipsMessagesAndQtsOwnButtons) {
    {
        WindowRig rig(MainWindow::Form::Full, Language::German);
        EXPECT_EQ(menuTitles(rig.window->menuBar()),
                  (std::vector<QString>{"Datei", "Playliste", "Einstellungen", "Fenster",
                                        "Midi-Links", "Downloads", "?"}));
        const auto tips = tooltips(*rig.window);
        EXPECT_NE(std::find(tips.begin(), tips.end(), QString("Spielen")), tips.end());
        EXPECT_EQ(rig.window->tempoBar()->toolTip(), QString::fromUtf8("Tempo verändern"));
        EXPECT_EQ(rig.window->keyBox()->itemText(6), "F-dur / d-moll (1b)");
        press(rig.window.get(), Qt::Key_Space);
        ASSERT_EQ(rig.messages.size(), 1u);
        EXPECT_EQ(rig.messages[0].text,
                  "Die Tastenbefehle können erst benutzt werden, wenn eine Datei geladen wurde.");
        EXPECT_EQ(rig.window->playlistWindow()->windowTitle(), "Playliste");
    }
    QTranslator* german = gui::installQtTranslations(application(), Language::German);
    ASSERT_NE(german, nullptr) << "qtbase_de.qm (qt6-translations-l10n) is installed";
    {
        QMessageBox question;
        question.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        EXPECT_EQ(question.button(QMessageBox::Yes)->text().remove('&'), "Ja");
        EXPECT_EQ(question.button(QMessageBox::No)->text().remove('&'), "Nein");
    }
    QApplication::removeTranslator(german);
    delete german;
    EXPECT_EQ(gui::installQtTranslations(application(), Language::English), nullptr);
}

// The lightness of what a button's symbol draws (its opaque pixels), 0..255.
int symbolLightness(const QToolButton* button) {
    const QImage image = button->icon().pixmap(QSize(32, 32)).toImage();
    int64_t sum = 0, count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.alpha() < 200) continue;
            sum += c.lightness();
            ++count;
        }
    return count ? static_cast<int>(sum / count) : -1;
}

TEST(MainWindowPanel, TheTransportSymbolsFollowAChangeOfScheme) {
    WindowRig rig;
    gui::applyColorScheme(application(), ColorScheme::Light);
    QApplication::processEvents();
    const int light = symbolLightness(rig.window->playButton());
    gui::applyColorScheme(application(), ColorScheme::Dark);
    QApplication::processEvents();
    const int dark = symbolLightness(rig.window->playButton());
    gui::applyColorScheme(application(), ColorScheme::Light);
    QApplication::processEvents();
    EXPECT_LT(light, 128) << "dark symbols on the light scheme";
    EXPECT_GT(dark, 160) << "light symbols on the dark scheme";
    EXPECT_EQ(symbolLightness(rig.window->playButton()), light) << "and back";
}

}  // namespace
}  // namespace svt
