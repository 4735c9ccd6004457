#include "gui/MainWindow.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "desktop/ConversionFormats.h"
#include "desktop/LinkList.h"
#include "desktop/WindowLayout.h"
#include "gui/ChannelMeters.h"
#include "gui/QtDesktopServices.h"

namespace svt::gui {
namespace {

constexpr int kRefreshMs = 33;  // about 30 redraws a second

}  // namespace

WindowLink::WindowLink() {
    qRegisterMetaType<FrontMessage>("svt::FrontMessage");
    qRegisterMetaType<ConversionEnd>("svt::ConversionEnd");
    qRegisterMetaType<std::string>("std::string");
}

MainWindow::MainWindow(FrontControl& control, AppSettings& settings, Form form,
                       const std::string& soundFontName, DesktopServices* services, QWidget* parent)
    : QMainWindow(parent),
      control_(control),
      settings_(settings),
      ownServices_(services ? nullptr
                            : std::make_unique<QtDesktopServices>(this, control.language())),
      model_(control, settings, services ? *services : *ownServices_, form),
      bars_(control) {
    setWindowTitle(qs(model_.windowTitle()));
    setAcceptDrops(true);
    model_.showProgress = [this](const ProgressView& progress) { showProgress(progress); };

    if (form == Form::Full) {
        buildMenus();
        setCentralWidget(buildFullPanel());
        // The playlist window is created hidden once and only shown and hidden afterwards.
        playlistWindow_ =
            new PlaylistWindow(control_, settings_, services ? *services : *ownServices_, this);
        playlistWindow_->clearPlaylist = [this] { model_.clearWithQuestion(); };
        playlistWindow_->quit = [this] { close(); };
        connect(&link_, &WindowLink::playlistChangedSignal, playlistWindow_,
                &PlaylistWindow::refresh, Qt::QueuedConnection);
    } else {
        setCentralWidget(buildCompactPanel());
    }

    control_.panel().setSoundFont(soundFontName);
    control_.setView(&link_);
    connect(&link_, &WindowLink::panelChangedSignal, this, &MainWindow::refreshPanel,
            Qt::QueuedConnection);
    connect(
        &link_, &WindowLink::messageSignal, this,
        [this](FrontMessage message, const std::string& argument) {
            model_.engineMessage(message, argument);
        },
        Qt::QueuedConnection);
    connect(&link_, &WindowLink::closeSignal, this, &QWidget::close, Qt::QueuedConnection);
    connect(
        &link_, &WindowLink::conversionEndedSignal, this,
        [this](const ConversionEnd& end) { model_.conversionEnded(end); }, Qt::QueuedConnection);
    connect(
        &link_, &WindowLink::mediaListSignal, this,
        [this](const std::string& path) { model_.mediaListWritten(path); }, Qt::QueuedConnection);

    PanelView first = control_.panel().view();
    first.changed = FieldAll;
    applyView(first);
    if (volumeBar_) {
        volumeBar_->setValue(control_.volumePercent());
        volumeNumber_->setText(QString::number(volumeBar_->value()));
    }

    // For whoever watches the program from outside (its end-to-end test): every text the time
    // field shows, one per line.
    if (const char* log = std::getenv("SORVANTO_TIME_LOG")) timeLog_ = std::fopen(log, "a");

    refreshTimer_ = new QTimer(this);
    connect(refreshTimer_, &QTimer::timeout, this, &MainWindow::refreshPanel);
    refreshTimer_->start(kRefreshMs);
    qApp->installEventFilter(this);
}

MainWindow::~MainWindow() {
    if (timeLog_) std::fclose(timeLog_);
    qApp->removeEventFilter(this);
    control_.setView(nullptr);
}

void MainWindow::buildMenus() {
    MainWindowModel& m = model_;
    QMenuBar* bar = menuBar();
    QMenu* file = bar->addMenu(t(UiText::File));
    file->addAction(t(UiText::Open), this, [this] { showOpenedFields(model_.openFileDialog()); });
    file->addAction(t(UiText::OpenFolderMenu), this,
                    [this] { showOpenedFields(model_.openFolderDialog()); });
    file->addAction(t(UiText::ConvertFileTo), this, [&m] { m.convertFileTo(); });
    file->addAction(t(UiText::CloseFile), this, [&m] { m.closeFile(); });
    file->addSeparator();
    QMenu* recent = file->addMenu(t(UiText::RecentFiles));
    connect(recent, &QMenu::aboutToShow, this, [this, recent] { fillRecentMenu(recent); });
    fillRecentMenu(recent);
    file->addSeparator();
    file->addAction(t(UiText::Quit), this, &QWidget::close);

    QMenu* list = bar->addMenu(t(UiText::Playlist));
    list->addAction(t(UiText::Open), this, [this] { act(model_.openPlaylistDialog()); });
    list->addAction(t(UiText::Save), this, [&m] { m.savePlaylistDialog(); });
    list->addAction(t(UiText::Clear), this, [&m] { m.clearPlaylist(); });
    QMenu* exportMenu = list->addMenu(t(UiText::Export));
    exportMenu->addAction(t(UiText::MediaPlayer), this, [&m] { m.exportPlaylist(); });

    QMenu* prefs = bar->addMenu(t(UiText::Preferences));
    prefs->addAction(t(UiText::ChangeSoundFont), this, [&m] { m.changeSoundFontDialog(); });
    QMenu* drag = prefs->addMenu(t(UiText::DragAndDrop));
    auto* formats = new QActionGroup(this);
    for (const ConversionFormat& f : conversionFormats()) {
        QAction* a = drag->addAction(t(f.menuText), this, [this, output = f.output] {
            model_.setDragDropFormat(output);
            showDragDropFormat();
        });
        a->setCheckable(true);
        a->setData(static_cast<int>(f.output));
        formats->addAction(a);
        dragDropFormats_.push_back(a);
    }
    formats->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    showDragDropFormat();

    QMenu* windows = bar->addMenu(t(UiText::Windows));
    windows->addAction(t(UiText::Playlist), this, &MainWindow::togglePlaylistWindow);

    linksMenu_ = bar->addMenu(t(UiText::MidiLinks));
    downloadsMenu_ = bar->addMenu(t(UiText::Downloads));
    fillLinkMenus();
    model_.linksChanged = [this] { fillLinkMenus(); };
    // The encoder may have been located since: its download entry goes then.
    connect(downloadsMenu_, &QMenu::aboutToShow, this, &MainWindow::fillLinkMenus);

    QMenu* help = bar->addMenu(QStringLiteral("?"));
    help->addAction(t(UiText::Help), this, [&m] { m.openHelp(); });
    help->addAction(t(UiText::ShortcutsMenu), this, [&m] { m.showShortcuts(); });
    help->addAction(t(UiText::About), this, [&m] { m.showAbout(); });
}

// The model says which entries have a real address; a menu left empty is not shown.
void MainWindow::fillLinkMenus() {
    MainWindowModel& m = model_;
    const LinkMenus menus = m.linkMenus();
    linksMenu_->clear();
    for (const LinkMenus::Group& group : menus.groups) {
        QMenu* sub = linksMenu_->addMenu(qs(linkGroupMenuText(group.group, control_.language())));
        for (const int slot : group.slots)
            sub->addAction(qs(linkItemText(slot)), this, [&m, slot] { m.openLink(slot); });
    }
    if (menus.update) {
        if (!menus.groups.empty()) linksMenu_->addSeparator();
        linksMenu_->addAction(t(UiText::UpdateLinks), this, [&m] { m.updateLinks(); });
    }
    linksMenu_->menuAction()->setVisible(menus.linksShown());

    downloadsMenu_->clear();
    if (menus.encoderDownload)
        downloadsMenu_->addAction(t(UiText::GogoEncoder), this, [&m] { m.downloadEncoder(); });
    if (menus.familyPage)
        downloadsMenu_->addAction(t(UiText::FamilyMenu), this, [&m] { m.openFamilyPage(); });
    downloadsMenu_->menuAction()->setVisible(menus.downloadsShown());
}

void MainWindow::fillRecentMenu(QMenu* menu) {
    menu->clear();
    const std::vector<std::string>& recent = model_.recentFiles();
    menu->setEnabled(!recent.empty());
    for (size_t i = 0; i < recent.size(); ++i) {
        // "&1 tune.mid", the full path as the tip.
        const QString path = qs(recent[i]);
        QAction* a =
            menu->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(QFileInfo(path).fileName()),
                            this, [this, index = static_cast<int>(i)] {
                                const RecentOpened opened = model_.openRecent(index);
                                showOpenedFields(opened.fields);
                                act(opened.action);
                            });
        a->setToolTip(path);
        a->setStatusTip(path);
    }
    menu->setToolTipsVisible(true);
}

void MainWindow::showDragDropFormat() {
    for (QAction* a : dragDropFormats_)
        a->setChecked(a->data().toInt() == static_cast<int>(model_.dragDropFormat()));
}

// A bar's movement ends either with a release or with one click or key step.
void MainWindow::watchBar(QScrollBar* b, PanelBar which, QLineEdit* field) {
    connect(b, &QScrollBar::sliderMoved, this,
            [this, which, field](int value) { showEcho(bars_.moved(which, value), field); });
    connect(b, &QScrollBar::actionTriggered, this, [this, b, which, field](int action) {
        if (action == QAbstractSlider::SliderMove || b->isSliderDown()) return;
        showEcho(bars_.released(which, b->sliderPosition()), field);
    });
    connect(b, &QScrollBar::sliderReleased, this, [this, b, which, field] {
        showEcho(bars_.released(which, b->sliderPosition()), field);
    });
}

void MainWindow::showEcho(const BarEcho& echo, QLineEdit* field) {
    if (echo.field && field) field->setText(qs(*echo.field));
    if (echo.keyItem) {
        keyBoxGuard_ = true;
        keyBox_->setCurrentIndex(*echo.keyItem);
        keyBoxGuard_ = false;
    }
}

void MainWindow::refreshPanel() {
    PanelView view;
    if (control_.mailbox().take(view)) applyView(view);
    const double song = positionBar_ && positionBar_->maximum() > 0
                            ? static_cast<double>(positionBar_->value()) / positionBar_->maximum()
                            : 0.0;
    model_.progressTick(song);
}

void MainWindow::applyView(const PanelView& v) {
    const uint32_t changed = v.changed;
    if (changed & FieldTitle) {
        title_->setText(qs(v.title));
        path_->setText(qs(v.path));
        title_->setCursorPosition(0);
    }
    if (changed & FieldTime) {
        time_->setText(qs(v.time));
        if (timeLog_) {
            std::fprintf(timeLog_, "%s\n", v.time.c_str());
            std::fflush(timeLog_);
        }
    }
    if (changed & FieldPosition) {
        if (positionBar_->maximum() != v.positionMax) positionBar_->setRange(0, v.positionMax);
        positionBar_->setEnabled(v.positionEnabled && form() == Form::Full);
        if (!bars_.holding(PanelBar::Position) && !positionBar_->isSliderDown())
            positionBar_->setValue(v.position);
    }
    if (form() == Form::Compact) return;
    if (changed & FieldMeters) meters_->setLevels(v.meters);
    if (changed & FieldMeasure) measure_->setText(qs(v.measure));
    if (changed & FieldPlaylist) playlist_->setText(qs(v.playlist));
    if (changed & FieldSoundFont) soundFont_->setText(qs(v.soundFont));
    if (changed & FieldTempo) {
        newTempo_->setText(qs(v.newTempo));
        originalTempo_->setText(qs(v.originalTempo));
    }
    if (changed & FieldSettings) {
        keyBoxGuard_ = true;
        if (!bars_.holding(PanelBar::Tempo)) tempoBar_->setValue(v.tempoBar);
        if (!bars_.holding(PanelBar::Transpose)) transposeBar_->setValue(v.transposeBar);
        semitones_->setText(qs(v.semitones));
        keyBox_->setCurrentIndex(v.keyItem);
        originalKey_->setText(qs(v.originalKey));
        meter_->setText(qs(v.meter));
        for (int c = 0; c < 16; ++c) {
            mutes_[static_cast<size_t>(c)]->setChecked(v.mute[static_cast<size_t>(c)]);
            instruments_[static_cast<size_t>(c)]->setCurrentIndex(
                v.instrument[static_cast<size_t>(c)]);
        }
        keyBoxGuard_ = false;
        bars_.settingsShown(v);
    }
    if (changed & FieldTrackNames)
        for (int c = 0; c < 16; ++c)
            trackNames_[static_cast<size_t>(c)]->setText(qs(v.trackNames[static_cast<size_t>(c)]));
    if (changed & FieldButtons) {
        setSongControlsEnabled(v.songControlsEnabled);
        showImage(playButton_, playImages_, v.playing);
        showImage(pauseButton_, pauseImages_, v.paused);
    }
}

void MainWindow::showOpenedFields(const std::optional<OpenedFields>& fields) {
    if (!fields) return;
    title_->setText(qs(fields->title));
    time_->setText(qs(fields->time));
    newTempo_->setText(qs(fields->newTempo));
    semitones_->setText(qs(fields->semitones));
}

void MainWindow::showProgress(const ProgressView& progress) {
    if (form() == Form::Full) {
        if (progress.visible)
            statusBar()->showMessage(qs(progress.status));
        else
            statusBar()->clearMessage();
    } else if (progress.visible) {
        setWindowTitle(qs(progress.title));
    }
}

void MainWindow::act(WindowAction action) {
    switch (action) {
        case WindowAction::None:
            break;
        case WindowAction::TogglePlaylist:
            togglePlaylistWindow();
            break;
        case WindowAction::ShowPlaylist:
            showPlaylistWindow();
            break;
        case WindowAction::Close:
            close();
            break;
    }
}

void MainWindow::showPlaylistWindow() {
    if (!playlistWindow_) return;
    playlistWindow_->place(frameGeometry());
    playlistWindow_->show();
}

void MainWindow::togglePlaylistWindow() {
    if (!playlistWindow_) return;
    if (playlistWindow_->isVisible()) {
        playlistWindow_->hide();
    } else {
        showPlaylistWindow();
        control_.queue(FcRefreshList);
    }
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || form() != Form::Full) return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget) return false;
    QWidget* top = widget->window();
    if (top != this && top != playlistWindow_) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    static constexpr std::pair<int, ShortcutKey> kKeys[] = {
        {Qt::Key_Space, ShortcutKey::Space},
        {Qt::Key_MediaPlay, ShortcutKey::MediaPlay},
        {Qt::Key_MediaPause, ShortcutKey::MediaPlay},
        {Qt::Key_MediaTogglePlayPause, ShortcutKey::MediaPlay},
        {Qt::Key_A, ShortcutKey::A},
        {Qt::Key_H, ShortcutKey::H},
        {Qt::Key_N, ShortcutKey::N},
        {Qt::Key_MediaNext, ShortcutKey::MediaNext},
        {Qt::Key_P, ShortcutKey::P},
        {Qt::Key_MediaPrevious, ShortcutKey::MediaPrevious},
        {Qt::Key_Q, ShortcutKey::Q},
        {Qt::Key_S, ShortcutKey::S},
        {Qt::Key_MediaStop, ShortcutKey::MediaStop},
    };
    // Keys held with Ctrl (or Alt) belong to menus, except Ctrl+O.
    static constexpr std::pair<int, ShortcutKey> kPlainKeys[] = {
        {Qt::Key_Left, ShortcutKey::SeekBack},
        {Qt::Key_Right, ShortcutKey::SeekForward},
        {Qt::Key_Up, ShortcutKey::VolumeUp},
        {Qt::Key_Down, ShortcutKey::VolumeDown},
        {Qt::Key_Plus, ShortcutKey::TransposeUp},
        {Qt::Key_Minus, ShortcutKey::TransposeDown},
        {Qt::Key_BracketRight, ShortcutKey::Faster},
        {Qt::Key_BracketLeft, ShortcutKey::Slower},
        {Qt::Key_F1, ShortcutKey::Help},
    };
    const Qt::KeyboardModifiers held = key->modifiers() & (Qt::ControlModifier | Qt::AltModifier);
    std::optional<ShortcutKey> chosen;
    if (held == Qt::ControlModifier && key->key() == Qt::Key_O) {
        chosen = ShortcutKey::Open;
    } else if (held == Qt::NoModifier) {
        const auto match = [key](const auto& k) { return k.first == key->key(); };
        if (const auto* f = std::find_if(std::begin(kKeys), std::end(kKeys), match);
            f != std::end(kKeys))
            chosen = f->second;
        else if (const auto* g = std::find_if(std::begin(kPlainKeys), std::end(kPlainKeys), match);
                 g != std::end(kPlainKeys))
            chosen = g->second;
    }
    if (!chosen) return false;
    KeyPress press;
    press.key = *chosen;
    press.inPlaylistWindow = top == playlistWindow_;
    press.autoRepeat = key->isAutoRepeat();
    press.keypad = (key->modifiers() & Qt::KeypadModifier) != 0;
    const KeyVerdict verdict = model_.keyPressed(press);
    if (verdict.volumeChanged && volumeBar_) {
        volumeBar_->setValue(control_.volumePercent());
        volumeNumber_->setText(QString::number(volumeBar_->value()));
    }
    showOpenedFields(verdict.opened);
    act(verdict.action);
    return verdict.taken;
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!model_.mayClose()) {
        event->ignore();
        return;
    }
    if (playlistWindow_) playlistWindow_->hide();
    event->accept();
}

void MainWindow::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) tintTransportIcons();
    if (event->type() != QEvent::WindowStateChange || !playlistWindow_) return;
    const auto* change = static_cast<QWindowStateChangeEvent*>(event);
    if (isMinimized()) {
        playlistWasVisible_ = playlistWindow_->isVisible();
        playlistWindow_->hide();
    } else if (change->oldState() & Qt::WindowMinimized) {
        if (playlistWasVisible_) playlistWindow_->show();
    }
}

void MainWindow::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    if (isMinimized() || !isVisible()) return;
    settings_.uiMainX = pos().x();
    settings_.uiMainY = pos().y();
}

void MainWindow::placeFromSettings() {
    adjustSize();
    if (form() == Form::Full) {
        setMinimumSize(kMainWindowSmallest.width, kMainWindowSmallest.height);
        resize(std::max(width(), kMainWindowStartWidth), height());
    }
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect desk = screen->availableGeometry();
    const QSize frame = frameGeometry().size();
    move(placeWindowAxis(settings_.uiMainX, frame.width(), desk.x(), desk.width()),
         placeWindowAxis(settings_.uiMainY, frame.height(), desk.y(), desk.height()));
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
    std::vector<std::string> names;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile()) names.push_back(url.toLocalFile().toStdString());
    if (names.empty()) return;
    control_.dropFiles(names);
    event->acceptProposedAction();
}

void MainWindow::openPaths(const QStringList& paths) {
    std::vector<std::string> names;
    for (const QString& p : paths) names.push_back(p.toStdString());
    showOpenedFields(model_.openPaths(names));
}

}  // namespace svt::gui
