#include "gui/MainWindow.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "desktop/ConversionFormats.h"
#include "desktop/LinkList.h"
#include "gui/ChannelMeters.h"
#include "gui/QtDesktopServices.h"

namespace svt::gui {
namespace {

constexpr int kRefreshMs = 33;  // about 30 redraws a second

QLineEdit* readOnlyField(QWidget* parent, int minimumChars = 0) {
    auto* field = new QLineEdit(parent);
    field->setReadOnly(true);
    field->setFocusPolicy(Qt::NoFocus);
    if (minimumChars > 0)
        field->setMinimumWidth(
            field->fontMetrics().horizontalAdvance(QLatin1Char('0')) * minimumChars + 12);
    return field;
}

QScrollBar* bar(QWidget* parent, PanelBar which) {
    const BarRange range = barRange(which);
    auto* b = new QScrollBar(Qt::Horizontal, parent);
    b->setRange(range.minimum, range.maximum);
    b->setValue(range.initial);
    b->setSingleStep(range.line);
    b->setPageStep(range.page);
    b->setMinimumWidth(120);
    return b;
}

// A small page with a word on it: the file-format buttons.
QIcon labelledIcon(const QIcon& base, const QString& word, const QColor& colour) {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    base.paint(&p, QRect(0, 0, 24, 24));
    QFont font = p.font();
    font.setPixelSize(11);
    font.setBold(true);
    p.setFont(font);
    const QRect badge(4, 18, 28, 13);
    p.setBrush(colour);
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(badge, 3, 3);
    p.setPen(Qt::white);
    p.drawText(badge, Qt::AlignCenter, word);
    return QIcon(pixmap);
}

// The second image of a two-state button: the first with a coloured bar beneath.
QIcon activeIcon(const QIcon& base, const QColor& colour) {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    base.paint(&p, QRect(2, 0, 28, 26));
    p.fillRect(QRect(3, 28, 26, 4), colour);
    return QIcon(pixmap);
}

QIcon logoIcon() {
    QPixmap pixmap(40, 40);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(30, 90, 160));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QRect(2, 2, 36, 36));
    QFont font = p.font();
    font.setPixelSize(24);
    font.setBold(true);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRect(2, 2, 36, 36), Qt::AlignCenter, QStringLiteral("S"));
    return QIcon(pixmap);
}

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

void MainWindow::showImage(QToolButton* button, const std::array<QIcon, 2>& images, bool second) {
    button->setIcon(images[second ? 1 : 0]);
    button->setProperty("second", second);
}

QToolButton* MainWindow::imageButton(const QIcon& icon, const QString& tooltip,
                                     const std::function<void()>& action) {
    auto* button = new QToolButton(this);
    button->setIcon(icon);
    button->setIconSize(QSize(24, 24));
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    if (!tooltip.isEmpty()) button->setToolTip(tooltip);
    connect(button, &QToolButton::clicked, this, action);
    return button;
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

    QMenu* links = bar->addMenu(t(UiText::MidiLinks));
    for (int group = 0; group < kLinkGroupCount; ++group) {
        QMenu* sub = links->addMenu(qs(linkGroupMenuText(group, control_.language())));
        for (int item = 0; item < kLinksPerGroup; ++item) {
            const int slot = group * kLinksPerGroup + item;
            if (slot == kHiddenLinkSlot) continue;
            sub->addAction(qs(linkItemText(slot)), this, [&m, slot] { m.openLink(slot); });
        }
    }
    links->addSeparator();
    links->addAction(t(UiText::UpdateLinks), this, [&m] { m.updateLinks(); });

    QMenu* downloads = bar->addMenu(t(UiText::Downloads));
    downloads->addAction(t(UiText::GogoEncoder), this, [&m] { m.downloadEncoder(); });
    downloads->addAction(t(UiText::FamilyMenu), this, [&m] { m.openFamilyPage(); });

    QMenu* help = bar->addMenu(QStringLiteral("?"));
    help->addAction(t(UiText::Help), this, [&m] { m.openHelp(); });
    help->addAction(t(UiText::ShortcutsMenu), this, [&m] { m.showShortcuts(); });
    help->addAction(t(UiText::About), this, [&m] { m.showAbout(); });
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

QWidget* MainWindow::buildFullPanel() {
    auto* panel = new QWidget(this);
    auto* outer = new QVBoxLayout(panel);
    outer->setContentsMargins(8, 4, 8, 8);
    outer->setSpacing(6);
    QStyle* st = style();

    // Image buttons.
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(2);
    const QIcon fileIcon = st->standardIcon(QStyle::SP_FileIcon);
    const QIcon listIcon = st->standardIcon(QStyle::SP_FileDialogListView);
    const QColor wavColour(40, 120, 60), mp3Colour(170, 70, 30);
    buttons->addWidget(imageButton(st->standardIcon(QStyle::SP_DialogOpenButton),
                                   t(UiText::OpenFile),
                                   [this] { showOpenedFields(model_.openFileDialog()); }));
    buttons->addWidget(imageButton(labelledIcon(fileIcon, QStringLiteral("WAV"), wavColour),
                                   t(UiText::SaveAsWave),
                                   [this] { model_.convertSong(OutputKind::WavFile); }));
    buttons->addWidget(imageButton(labelledIcon(fileIcon, QStringLiteral("MP3"), mp3Colour),
                                   t(UiText::SaveAsMp3),
                                   [this] { model_.convertSong(OutputKind::Mp3File); }));
    buttons->addSpacing(10);
    buttons->addWidget(imageButton(st->standardIcon(QStyle::SP_DirOpenIcon), t(UiText::OpenFolder),
                                   [this] { showOpenedFields(model_.openFolderDialog()); }));
    buttons->addSpacing(10);
    buttons->addWidget(imageButton(listIcon, t(UiText::OpenPlaylist),
                                   [this] { act(model_.openPlaylistDialog()); }));
    QToolButton* listAsWav = imageButton(
        labelledIcon(listIcon, QStringLiteral("WAV"), wavColour), t(UiText::SaveListAsWave),
        [this] { model_.convertWholePlaylist(OutputKind::WavFile); });
    listAsWav->setObjectName(QStringLiteral("playlist-as-wav"));
    buttons->addWidget(listAsWav);
    buttons->addWidget(imageButton(labelledIcon(listIcon, QStringLiteral("MP3"), mp3Colour),
                                   t(UiText::SaveListAsMp3),
                                   [this] { model_.convertWholePlaylist(OutputKind::Mp3File); }));
    buttons->addWidget(imageButton(st->standardIcon(QStyle::SP_DialogSaveButton),
                                   t(UiText::SavePlaylist),
                                   [this] { model_.savePlaylistDialog(); }));
    buttons->addSpacing(16);
    buttons->addWidget(imageButton(st->standardIcon(QStyle::SP_MediaSkipBackward),
                                   t(UiText::Previous), [this] { control_.pressPrevious(); }));
    playButton_ = imageButton(st->standardIcon(QStyle::SP_MediaPlay), t(UiText::Play),
                              [this] { act(model_.play()); });
    pauseButton_ = imageButton(st->standardIcon(QStyle::SP_MediaPause), t(UiText::Pause),
                               [this] { control_.pressPause(); });
    buttons->addWidget(playButton_);
    buttons->addWidget(pauseButton_);
    buttons->addWidget(imageButton(st->standardIcon(QStyle::SP_MediaStop), t(UiText::Stop),
                                   [this] { control_.pressStop(); }));
    buttons->addWidget(imageButton(st->standardIcon(QStyle::SP_MediaSkipForward), t(UiText::Next),
                                   [this] { control_.pressNext(); }));
    loopButton_ =
        imageButton(st->standardIcon(QStyle::SP_BrowserReload), t(UiText::LoopFile),
                    [this] { showImage(loopButton_, loopImages_, control_.pressLoop()); });
    const QColor on(40, 150, 70);
    playImages_ = {playButton_->icon(), activeIcon(playButton_->icon(), on)};
    pauseImages_ = {pauseButton_->icon(), activeIcon(pauseButton_->icon(), QColor(220, 140, 30))};
    loopImages_ = {loopButton_->icon(), activeIcon(loopButton_->icon(), on)};
    showImage(loopButton_, loopImages_, (control_.interfaceFlags() & kFlagRepeat) != 0);
    buttons->addWidget(loopButton_);
    buttons->addStretch(1);
    QToolButton* logo = imageButton(logoIcon(), QString(), [this] { model_.openHomepage(); });
    logo->setIconSize(QSize(32, 32));
    buttons->addWidget(logo);
    outer->addLayout(buttons);
    auto* body = new QHBoxLayout;
    body->setSpacing(12);
    auto* left = new QVBoxLayout;
    left->setSpacing(6);
    body->addLayout(left, 5);
    outer->addLayout(body, 1);

    // Song: title, path, playlist, soundfont.
    auto* song = new QGridLayout;
    song->setHorizontalSpacing(6);
    song->setVerticalSpacing(4);
    title_ = readOnlyField(panel);
    title_->setToolTip(t(UiText::ShowTitle));
    QFont titleFont = title_->font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.15);
    title_->setFont(titleFont);
    path_ = readOnlyField(panel);
    playlist_ = readOnlyField(panel);
    soundFont_ = new QLabel(panel);
    song->addWidget(title_, 0, 0, 1, 4);
    song->addWidget(new QLabel(t(UiText::Path), panel), 1, 0);
    song->addWidget(path_, 1, 1, 1, 3);
    song->addWidget(new QLabel(t(UiText::Playlist), panel), 2, 0);
    song->addWidget(playlist_, 2, 1);
    song->addWidget(new QLabel(t(UiText::SoundFont), panel), 2, 2);
    song->addWidget(soundFont_, 2, 3);
    song->setColumnStretch(1, 1);
    song->setColumnStretch(3, 1);
    left->addLayout(song);

    // Position: time, bar, measure and beat.
    auto* position = new QHBoxLayout;
    time_ = readOnlyField(panel, 22);
    positionBar_ = bar(panel, PanelBar::Position);
    measure_ = readOnlyField(panel, 9);
    measure_->setToolTip(t(UiText::ShowMeter));
    position->addWidget(time_, 1);
    position->addWidget(measure_);
    left->addLayout(position);
    left->addWidget(positionBar_);
    watchBar(positionBar_, PanelBar::Position, nullptr);

    // Controls: volume, tempo, transposition, key.
    auto* controls = new QGridLayout;
    controls->setHorizontalSpacing(8);
    controls->setVerticalSpacing(4);
    volumeBar_ = bar(panel, PanelBar::Volume);
    volumeBar_->setToolTip(t(UiText::ChangeVolume));
    volumeNumber_ = readOnlyField(panel, 4);
    controls->addWidget(new QLabel(t(UiText::Volume), panel), 0, 0);
    controls->addWidget(volumeBar_, 0, 1);
    controls->addWidget(volumeNumber_, 0, 2);
    watchBar(volumeBar_, PanelBar::Volume, volumeNumber_);

    tempoBar_ = bar(panel, PanelBar::Tempo);
    tempoBar_->setToolTip(t(UiText::ChangeTempo));
    newTempo_ = readOnlyField(panel, 14);
    originalTempo_ = readOnlyField(panel, 8);
    controls->addWidget(new QLabel(t(UiText::NewTempo), panel), 1, 0);
    controls->addWidget(tempoBar_, 1, 1);
    controls->addWidget(newTempo_, 1, 2);
    controls->addWidget(new QLabel(t(UiText::OriginalTempo), panel), 2, 0);
    controls->addWidget(originalTempo_, 2, 2);
    watchBar(tempoBar_, PanelBar::Tempo, newTempo_);

    transposeBar_ = bar(panel, PanelBar::Transpose);
    transposeBar_->setToolTip(t(UiText::Transpose));
    semitones_ = readOnlyField(panel, 4);
    semitones_->setToolTip(t(UiText::TransposeHalfTone));
    controls->addWidget(new QLabel(t(UiText::HalfTones), panel), 3, 0);
    controls->addWidget(transposeBar_, 3, 1);
    controls->addWidget(semitones_, 3, 2);
    watchBar(transposeBar_, PanelBar::Transpose, semitones_);

    keyBox_ = new QComboBox(panel);
    keyBox_->setToolTip(t(UiText::ChangeKey));
    for (int item = 0; item < kKeyItems; ++item)
        keyBox_->addItem(qs(keyBoxText(item, control_.language())));
    keyBox_->setCurrentIndex(kUnknownKeyItem);
    connect(keyBox_, &QComboBox::activated, this, [this](int item) {
        if (keyBoxGuard_) return;
        if (const std::optional<KeyBoxChoice> choice = bars_.keyBoxChosen(item)) {
            semitones_->setText(qs(choice->semitones));
            transposeBar_->setValue(choice->transposeBar);
        }
    });
    originalKey_ = readOnlyField(panel, 14);
    meter_ = readOnlyField(panel, 5);
    controls->addWidget(keyBox_, 4, 1, 1, 2);
    controls->addWidget(new QLabel(t(UiText::OriginalKey), panel), 5, 0);
    controls->addWidget(originalKey_, 5, 1, 1, 2);
    controls->addWidget(new QLabel(t(UiText::Meter), panel), 6, 0);
    controls->addWidget(meter_, 6, 2);
    controls->setColumnStretch(1, 1);
    left->addLayout(controls);
    left->addStretch(1);

    // The sixteen channel rows.
    auto* channels = new QGroupBox(panel);
    auto* grid = new QGridLayout(channels);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(1);
    grid->setContentsMargins(8, 6, 8, 6);
    auto* header = new QLabel(t(UiText::TrackName), channels);
    grid->addWidget(header, 0, 3);
    meters_ = new ChannelMeters(channels);
    std::vector<QWidget*> rows;
    for (int c = 0; c < 16; ++c) {
        auto* mute =
            new QCheckBox(QStringLiteral("%1").arg(c + 1, 2, 10, QLatin1Char('0')), channels);
        mute->setFocusPolicy(Qt::NoFocus);
        connect(mute, &QCheckBox::clicked, this,
                [this, c](bool checked) { control_.muteClicked(c, checked); });
        auto* instrument = new QComboBox(channels);
        instrument->setFocusPolicy(Qt::NoFocus);
        for (int program = 1; program < 128; ++program)
            instrument->addItem(qs(std::string(instrumentName(program))));
        instrument->setCurrentIndex(-1);
        instrument->setMinimumContentsLength(16);
        instrument->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        connect(instrument, &QComboBox::activated, this,
                [this, c](int item) { control_.instrumentChosen(c, item); });
        auto* name = readOnlyField(channels);
        grid->addWidget(mute, c + 1, 0);
        grid->addWidget(instrument, c + 1, 2);
        grid->addWidget(name, c + 1, 3);
        mutes_[static_cast<size_t>(c)] = mute;
        instruments_[static_cast<size_t>(c)] = instrument;
        trackNames_[static_cast<size_t>(c)] = name;
        rows.push_back(instrument);
    }
    meters_->setRows(rows);
    grid->addWidget(meters_, 1, 1, 16, 1);
    grid->setColumnMinimumWidth(1, 110);
    grid->setColumnStretch(1, 2);
    grid->setColumnStretch(3, 2);
    grid->setColumnMinimumWidth(3, 120);
    body->addWidget(channels, 6);
    setSongControlsEnabled(false);
    return panel;
}

QWidget* MainWindow::buildCompactPanel() {
    auto* panel = new QWidget(this);
    auto* layout = new QGridLayout(panel);
    title_ = readOnlyField(panel);
    path_ = readOnlyField(panel);
    time_ = readOnlyField(panel, 22);
    positionBar_ = bar(panel, PanelBar::Position);
    positionBar_->setEnabled(false);
    layout->addWidget(title_, 0, 0, 1, 2);
    layout->addWidget(path_, 1, 0, 1, 2);
    layout->addWidget(time_, 2, 0);
    layout->addWidget(positionBar_, 2, 1);
    layout->setColumnStretch(1, 1);
    panel->setMinimumWidth(520);
    return panel;
}

void MainWindow::setSongControlsEnabled(bool enabled) {
    if (!tempoBar_) return;
    tempoBar_->setEnabled(enabled);
    transposeBar_->setEnabled(enabled);
    keyBox_->setEnabled(enabled);
    for (int c = 0; c < 16; ++c) {
        mutes_[static_cast<size_t>(c)]->setEnabled(enabled);
        instruments_[static_cast<size_t>(c)]->setEnabled(enabled);
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
    const auto* found = std::find_if(std::begin(kKeys), std::end(kKeys),
                                     [key](const auto& k) { return k.first == key->key(); });
    if (found == std::end(kKeys)) return false;
    KeyPress press;
    press.key = found->second;
    press.inPlaylistWindow = top == playlistWindow_;
    press.autoRepeat = key->isAutoRepeat();
    press.keypad = (key->modifiers() & Qt::KeypadModifier) != 0;
    const KeyVerdict verdict = model_.keyPressed(press);
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
    if (form() == Form::Full) resize(std::max(width(), 1040), height());
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
