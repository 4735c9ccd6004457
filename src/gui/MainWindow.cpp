#include "gui/MainWindow.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
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
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "desktop/LinkList.h"
#include "desktop/MediaPlayerExport.h"
#include "desktop/PanelTexts.h"
#include "gui/ChannelMeters.h"
#include "gui/EncoderDialog.h"
#include "gui/LinkUpdater.h"
#include "gui/Taskbar.h"
#include "gui/Texts.h"
#include "output/EncoderLibrary.h"
#include "platform/Paths.h"

namespace svt::gui {
namespace {

constexpr int kRefreshMs = 33;  // about 30 redraws a second
constexpr const char* kHomepage = "https://www.calda-sorvanto.example/";
constexpr const char* kFamilyPage = "https://www.calda-sorvanto.example/family/";

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

QLineEdit* readOnlyField(QWidget* parent, int minimumChars = 0) {
    auto* field = new QLineEdit(parent);
    field->setReadOnly(true);
    field->setFocusPolicy(Qt::NoFocus);
    if (minimumChars > 0)
        field->setMinimumWidth(
            field->fontMetrics().horizontalAdvance(QLatin1Char('0')) * minimumChars + 12);
    return field;
}

QScrollBar* bar(QWidget* parent, int minimum, int maximum, int value, int line, int page) {
    auto* b = new QScrollBar(Qt::Horizontal, parent);
    b->setRange(minimum, maximum);
    b->setValue(value);
    b->setSingleStep(line);
    b->setPageStep(page);
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

// A bar whose movement ends either with a release or with one click or key step.
void watchBar(QScrollBar* b, BarPending& pending, const std::function<void(int)>& whileMoving,
              const std::function<void(int)>& whenDone) {
    QObject::connect(b, &QScrollBar::sliderMoved, b, [&pending, whileMoving](int value) {
        pending.value = value;
        if (whileMoving) whileMoving(value);
    });
    QObject::connect(b, &QScrollBar::actionTriggered, b, [b, &pending, whenDone](int action) {
        if (action == QAbstractSlider::SliderMove || b->isSliderDown()) return;
        pending.value = b->sliderPosition();
        whenDone(pending.value);
        pending.value = BarPending::kNoPending;
    });
    QObject::connect(b, &QScrollBar::sliderReleased, b, [b, &pending, whenDone] {
        pending.value = b->sliderPosition();
        whenDone(pending.value);
        pending.value = BarPending::kNoPending;
    });
}

}  // namespace

MainWindow::MainWindow(FrontControl& control, AppSettings& settings, Form form,
                       const std::string& soundFontName, QWidget* parent)
    : QMainWindow(parent), control_(control), settings_(settings), form_(form) {
    inform = [this](const QString& text, const QString& caption) {
        QMessageBox::information(this, caption, text);
    };
    confirm = [this](const QString& text) {
        return QMessageBox::question(this, tx(kProductCaption), text,
                                     QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    };
    setWindowTitle(form_ == Form::Full ? QStringLiteral("Calda Sorvanto")
                                       : QStringLiteral(" Calda Sorvanto"));
    setAcceptDrops(true);

    if (form_ == Form::Full) {
        buildMenus();
        setCentralWidget(buildFullPanel());
        // The playlist window is created hidden once and only shown and hidden afterwards.
        playlistWindow_ = new PlaylistWindow(control_, settings_, this);
        playlistWindow_->inform = [this](const QString& text, const QString& caption) {
            showMessage(text, caption);
        };
        playlistWindow_->confirm = [this](const QString& text) { return ask(text); };
        playlistWindow_->clearPlaylist = [this] { clearWithQuestion(); };
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
    connect(&link_, &WindowLink::messageSignal, this, &MainWindow::showEngineMessage,
            Qt::QueuedConnection);
    connect(&link_, &WindowLink::closeSignal, this, &QWidget::close, Qt::QueuedConnection);
    connect(&link_, &WindowLink::conversionEndedSignal, this, &MainWindow::conversionEnded,
            Qt::QueuedConnection);
    connect(&link_, &WindowLink::mediaListSignal, this, &MainWindow::openMediaList,
            Qt::QueuedConnection);
    openExternal = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    chooseConversionFile = [this](const QString& suggested) -> std::pair<QString, int> {
        QFileDialog dialog(this, QString(), suggested);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
        const QStringList filters = {tx("Wave file (*.wav)") + QStringLiteral(" (*.wav *.wave)"),
                                     tx("MP3 file (*.mp3)") + QStringLiteral(" (*.mp3)")};
        dialog.setNameFilters(filters);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
        return {dialog.selectedFiles().front(), dialog.selectedNameFilter() == filters[1] ? 2 : 1};
    };
    chooseExportFile = [this]() -> QString {
        QFileDialog dialog(this, QStringLiteral("Playliste speichern"), lastFolder_,
                           tx("Mediaplayer file (*.wpl)") + QStringLiteral(" (*.wpl)"));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(QStringLiteral("wpl"));
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
        return dialog.selectedFiles().front();
    };
    ensureEncoder = [this] {
        const output::EncoderSearch search = output::EncoderSearch::forThisProgram();
        if (output::encoderAvailable(search)) return true;
        EncoderDialog dialog(
            [search](const std::string& path) {
                return output::storeEncoderLocation(search, path);
            },
            [this] { openExternal(QUrl(qs(settings_.linkMp3Encoder))); }, this);
        if (dialog.exec() != QDialog::Accepted) return false;
        if (output::encoderAvailable(search)) return true;
        showMessage(tx("Error loading MP3-Encoder!"));
        return false;
    };
    linkUpdater_ = new LinkUpdater(this);
    connect(linkUpdater_, &LinkUpdater::finished, this, &MainWindow::linkReply);

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
    QMenuBar* bar = menuBar();
    QMenu* file = bar->addMenu(tx("File"));
    file->addAction(tx("Open..."), this, &MainWindow::openFileDialog);
    file->addAction(tx("Open folder..."), this, &MainWindow::openFolderDialog);
    file->addAction(tx("Convert file to..."), this, &MainWindow::convertFileTo);
    file->addAction(tx("Close file"), this, [this] { control_.closeCurrentFile(); });
    file->addSeparator();
    file->addAction(tx("Quit"), this, &QWidget::close);

    QMenu* list = bar->addMenu(tx("Playlist"));
    list->addAction(tx("Open..."), this, &MainWindow::openPlaylistDialog);
    list->addAction(tx("Save..."), this, &MainWindow::savePlaylistDialog);
    list->addAction(tx("Clear"), this, [this] {
        if (ask(tx("Do you really want to clear the playlist?"))) control_.clearPlaylist();
    });
    QMenu* exportMenu = list->addMenu(tx("Export"));
    exportMenu->addAction(tx("Media Player..."), this, &MainWindow::exportPlaylist);

    QMenu* prefs = bar->addMenu(tx("Preferences"));
    prefs->addAction(tx("Change soundfont..."), this, &MainWindow::changeSoundFontDialog);
    QMenu* drag = prefs->addMenu(tx("Drag and Drop"));
    auto* formats = new QActionGroup(this);
    wavFormat_ = drag->addAction(tx("Wave"), this, [this] { setDragDropFormat(1); });
    mp3Format_ = drag->addAction(tx("MP3"), this, [this] { setDragDropFormat(2); });
    for (QAction* a : {wavFormat_, mp3Format_}) {
        a->setCheckable(true);
        formats->addAction(a);
    }
    formats->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    wavFormat_->setChecked(settings_.dragDropFormat == 1);
    mp3Format_->setChecked(settings_.dragDropFormat == 2);

    QMenu* windows = bar->addMenu(tx("Windows"));
    windows->addAction(tx("Playlist"), this, &MainWindow::togglePlaylistWindow);

    QMenu* links = bar->addMenu(tx("MIDI Links"));
    for (int group = 0; group < kLinkGroupCount; ++group) {
        QMenu* sub = links->addMenu(qs(linkGroupMenuText(group, control_.language())));
        for (int item = 0; item < kLinksPerGroup; ++item) {
            const int slot = group * kLinksPerGroup + item;
            if (slot == kHiddenLinkSlot) continue;
            sub->addAction(qs(linkItemText(slot)), this, [this, slot] { openLink(slot); });
        }
    }
    links->addSeparator();
    links->addAction(tx("Update links..."), this, &MainWindow::updateLinks);

    QMenu* downloads = bar->addMenu(tx("Downloads"));
    downloads->addAction(tx("Gogo Encoder..."), this, [this] {
        if (ask(tx("Do you want to download the MP3 Encoder Gogo (gogo.dll)?")) && openExternal)
            openExternal(QUrl(qs(settings_.linkMp3Encoder)));
    });
    downloads->addAction(tx("Calda Sorvanto family..."), this, [this] {
        if (ask(tx("Do you want to open the download page of the Calda Sorvanto family?")) &&
            openExternal)
            openExternal(QUrl(QLatin1String(kFamilyPage)));
    });

    QMenu* help = bar->addMenu(QStringLiteral("?"));
    help->addAction(tx("Help"), this, [] {
        QDesktopServices::openUrl(
            QUrl::fromLocalFile(qs(platform::programFolder()) + QStringLiteral("/Sorvanto.chm")));
    });
    help->addAction(tx("Keyboard shortcuts..."), this,
                    [this] { showMessage(shortcutText(), tx("Keyboard shortcuts")); });
    help->addAction(tx("About..."), this,
                    [this] { showMessage(aboutText(), QStringLiteral("CALDA Sorvanto")); });
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
    buttons->addWidget(imageButton(st->standardIcon(QStyle::SP_DialogOpenButton), tx("Open file"),
                                   [this] { openFileDialog(); }));
    buttons->addWidget(imageButton(labelledIcon(fileIcon, QStringLiteral("WAV"), wavColour),
                                   tx("Save as wave"), [this] { convertSong(1); }));
    buttons->addWidget(imageButton(labelledIcon(fileIcon, QStringLiteral("MP3"), mp3Colour),
                                   tx("Save as mp3"), [this] { convertSong(2); }));
    buttons->addSpacing(10);
    buttons->addWidget(imageButton(st->standardIcon(QStyle::SP_DirOpenIcon), tx("Open folder"),
                                   [this] { openFolderDialog(); }));
    buttons->addSpacing(10);
    buttons->addWidget(
        imageButton(listIcon, tx("Open playlist"), [this] { openPlaylistDialog(); }));
    QToolButton* listAsWav =
        imageButton(labelledIcon(listIcon, QStringLiteral("WAV"), wavColour),
                    tx("Save as wave", "playlist"), [this] { convertWholePlaylist(1); });
    listAsWav->setObjectName(QStringLiteral("playlist-as-wav"));
    buttons->addWidget(listAsWav);
    buttons->addWidget(imageButton(labelledIcon(listIcon, QStringLiteral("MP3"), mp3Colour),
                                   tx("Save as mp3", "playlist"),
                                   [this] { convertWholePlaylist(2); }));
    buttons->addWidget(imageButton(st->standardIcon(QStyle::SP_DialogSaveButton),
                                   tx("Save playlist"), [this] { savePlaylistDialog(); }));
    buttons->addSpacing(16);
    buttons->addWidget(imageButton(st->standardIcon(QStyle::SP_MediaSkipBackward), tx("Previous"),
                                   [this] { control_.pressPrevious(); }));
    playButton_ = imageButton(st->standardIcon(QStyle::SP_MediaPlay), tx("Play"),
                              [this] { outcome(control_.pressPlay()); });
    pauseButton_ = imageButton(st->standardIcon(QStyle::SP_MediaPause), tx("Pause"),
                               [this] { control_.pressPause(); });
    buttons->addWidget(playButton_);
    buttons->addWidget(pauseButton_);
    buttons->addWidget(imageButton(st->standardIcon(QStyle::SP_MediaStop), tx("Stop"),
                                   [this] { control_.pressStop(); }));
    buttons->addWidget(imageButton(st->standardIcon(QStyle::SP_MediaSkipForward), tx("Next"),
                                   [this] { control_.pressNext(); }));
    loopButton_ = imageButton(st->standardIcon(QStyle::SP_BrowserReload), tx("Loop file"), [this] {
        showImage(loopButton_, loopImages_, control_.pressLoop());
    });
    const QColor on(40, 150, 70);
    playImages_ = {playButton_->icon(), activeIcon(playButton_->icon(), on)};
    pauseImages_ = {pauseButton_->icon(), activeIcon(pauseButton_->icon(), QColor(220, 140, 30))};
    loopImages_ = {loopButton_->icon(), activeIcon(loopButton_->icon(), on)};
    showImage(loopButton_, loopImages_, (control_.interfaceFlags() & kFlagRepeat) != 0);
    buttons->addWidget(loopButton_);
    buttons->addStretch(1);
    QToolButton* logo = imageButton(logoIcon(), QString(), [this] {
        if (ask(tx("Do you want to visit the CALDA homepage?")) && openExternal)
            openExternal(QUrl(QLatin1String(kHomepage)));
    });
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
    title_->setToolTip(tx("Show title"));
    QFont titleFont = title_->font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.15);
    title_->setFont(titleFont);
    path_ = readOnlyField(panel);
    playlist_ = readOnlyField(panel);
    soundFont_ = new QLabel(panel);
    song->addWidget(title_, 0, 0, 1, 4);
    song->addWidget(new QLabel(tx("Path"), panel), 1, 0);
    song->addWidget(path_, 1, 1, 1, 3);
    song->addWidget(new QLabel(tx("Playlist"), panel), 2, 0);
    song->addWidget(playlist_, 2, 1);
    song->addWidget(new QLabel(tx("Soundfont"), panel), 2, 2);
    song->addWidget(soundFont_, 2, 3);
    song->setColumnStretch(1, 1);
    song->setColumnStretch(3, 1);
    left->addLayout(song);

    // Position: time, bar, measure and beat.
    auto* position = new QHBoxLayout;
    time_ = readOnlyField(panel, 22);
    positionBar_ = bar(panel, 0, 0, 0, 1, 10);
    measure_ = readOnlyField(panel, 9);
    measure_->setToolTip(tx("Show meter"));
    position->addWidget(time_, 1);
    position->addWidget(measure_);
    left->addLayout(position);
    left->addWidget(positionBar_);
    watchBar(positionBar_, positionPending_, nullptr,
             [this](int value) { control_.positionReleased(value); });

    // Controls: volume, tempo, transposition, key.
    auto* controls = new QGridLayout;
    controls->setHorizontalSpacing(8);
    controls->setVerticalSpacing(4);
    volumeBar_ = bar(panel, 0, 100, 100, 1, 10);
    volumeBar_->setToolTip(tx("Change volume"));
    volumeNumber_ = readOnlyField(panel, 4);
    controls->addWidget(new QLabel(tx("Volume:"), panel), 0, 0);
    controls->addWidget(volumeBar_, 0, 1);
    controls->addWidget(volumeNumber_, 0, 2);
    auto volumeNow = [this](int value) {
        control_.setVolumePercent(value);
        volumeNumber_->setText(QString::number(value));
    };
    watchBar(volumeBar_, volumePending_, volumeNow, volumeNow);

    tempoBar_ = bar(panel, 30, 240, 120, 1, 5);
    tempoBar_->setToolTip(tx("Change tempo"));
    newTempo_ = readOnlyField(panel, 14);
    originalTempo_ = readOnlyField(panel, 8);
    controls->addWidget(new QLabel(tx("New tempo:"), panel), 1, 0);
    controls->addWidget(tempoBar_, 1, 1);
    controls->addWidget(newTempo_, 1, 2);
    controls->addWidget(new QLabel(tx("Orig. tempo:"), panel), 2, 0);
    controls->addWidget(originalTempo_, 2, 2);
    watchBar(
        tempoBar_, tempoPending_, [this](int value) { newTempo_->setText(qs(formatBpm(value))); },
        [this](int value) {
            control_.tempoReleased(value);
            const int percent = originalTempoBpm_ > 0 ? value * 100 / originalTempoBpm_ : 100;
            newTempo_->setText(qs(formatPlayingTempo(value, percent)));
        });

    transposeBar_ = bar(panel, 0, 48, 24, 1, 7);
    transposeBar_->setToolTip(tx("Transpose"));
    semitones_ = readOnlyField(panel, 4);
    semitones_->setToolTip(tx("Transpose half tone"));
    controls->addWidget(new QLabel(tx("Half tones:"), panel), 3, 0);
    controls->addWidget(transposeBar_, 3, 1);
    controls->addWidget(semitones_, 3, 2);
    watchBar(
        transposeBar_, transposePending_,
        [this](int value) { semitones_->setText(QString::number(value - 24)); },
        [this](int value) {
            semitones_->setText(QString::number(value - 24));
            const int item = control_.transposeReleased(value);
            if (item >= 0) {
                keyBoxGuard_ = true;
                keyBox_->setCurrentIndex(item);
                keyBoxGuard_ = false;
            }
        });

    keyBox_ = new QComboBox(panel);
    keyBox_->setToolTip(tx("Change key signature"));
    for (int item = 0; item < kKeyItems; ++item)
        keyBox_->addItem(qs(std::string(keyBoxText(item, control_.language()))));
    keyBox_->setCurrentIndex(kUnknownKeyItem);
    connect(keyBox_, &QComboBox::activated, this, [this](int item) {
        if (keyBoxGuard_) return;
        if (std::optional<int> shift = control_.keyBoxChosen(item)) {
            semitones_->setText(QString::number(*shift));
            transposeBar_->setValue(*shift + 24);
        }
    });
    originalKey_ = readOnlyField(panel, 14);
    meter_ = readOnlyField(panel, 5);
    controls->addWidget(keyBox_, 4, 1, 1, 2);
    controls->addWidget(new QLabel(tx("Original key:"), panel), 5, 0);
    controls->addWidget(originalKey_, 5, 1, 1, 2);
    controls->addWidget(new QLabel(tx("Meter:"), panel), 6, 0);
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
    auto* header = new QLabel(tx("Track name"), channels);
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
    positionBar_ = bar(panel, 0, 0, 0, 1, 10);
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
    showProgress();
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
        positionBar_->setEnabled(v.positionEnabled && form_ == Form::Full);
        if (!positionPending_.moving() && !positionBar_->isSliderDown())
            positionBar_->setValue(v.position);
    }
    if (form_ == Form::Compact) return;
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
        if (!tempoPending_.moving()) tempoBar_->setValue(v.tempoBar);
        if (!transposePending_.moving()) transposeBar_->setValue(v.transposeBar);
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
        const std::string& tempo = v.originalTempo;
        originalTempoBpm_ = tempo.empty() ? -1 : std::atoi(tempo.c_str());
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

void MainWindow::showMessage(const QString& text, const QString& caption) {
    if (inform) inform(text, caption.isEmpty() ? tx(kProductCaption) : caption);
}

bool MainWindow::ask(const QString& text) {
    return confirm && confirm(text);
}

void MainWindow::showEngineMessage(int message, const QString& argument) {
    switch (static_cast<FrontMessage>(message)) {
        case FrontMessage::NoMidiFileOpen:
            showMessage(tx("No MIDI file open."));
            break;
        case FrontMessage::ShortcutsNeedAFile:
            showMessage(tx("You have to load a file to use keyboard shortcuts."));
            break;
        case FrontMessage::FileNotFound:
            showMessage(tx("File not found"));
            break;
        case FrontMessage::CouldNotPlay:
            showMessage(tx("The file could not be played."));
            break;
        case FrontMessage::CouldNotCreate:
            showMessage(tx("The file \"%1\" could not be created!").arg(argument));
            break;
        case FrontMessage::OperationCompleted:
            showMessage(tx("Operation completed!"));
            break;
        case FrontMessage::EngineError:
            showMessage(argument);
            break;
        case FrontMessage::SoundFontChanged:
            break;
        case FrontMessage::SoundFontRefused:
            showMessage(tx("The soundfont \"%1\" cannot be used.").arg(argument));
            break;
        case FrontMessage::ExportFailed:
            showMessage(argument);
            break;
        case FrontMessage::NotSongs:
            showMessage(tx("These files are not MIDI songs and were not added:") +
                        QStringLiteral("\n") + argument);
            break;
    }
}

void MainWindow::outcome(UiOutcome result) {
    switch (result) {
        case UiOutcome::None:
            break;
        case UiOutcome::NoMidiFileOpen:
            showEngineMessage(static_cast<int>(FrontMessage::NoMidiFileOpen), {});
            break;
        case UiOutcome::ShortcutsNeedAFile:
            showEngineMessage(static_cast<int>(FrontMessage::ShortcutsNeedAFile), {});
            break;
        case UiOutcome::TogglePlaylist:
            togglePlaylistWindow();
            break;
        case UiOutcome::ShowShortcuts:
            showMessage(shortcutText(), tx("Keyboard shortcuts"));
            break;
        case UiOutcome::Quit:
            close();
            break;
    }
}

void MainWindow::togglePlaylistWindow() {
    if (!playlistWindow_) return;
    if (playlistWindow_->isVisible()) {
        playlistWindow_->hide();
    } else {
        playlistWindow_->place(frameGeometry());
        playlistWindow_->show();
        control_.queue(FcRefreshList);
    }
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || form_ != Form::Full) return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget) return false;
    QWidget* top = widget->window();
    if (top != this && top != playlistWindow_) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->modifiers() & Qt::KeypadModifier) return false;
    // In the playlist these keys play the line under the caret and ask their own question.
    if (top == playlistWindow_ && (key->key() == Qt::Key_Space || key->key() == Qt::Key_Q))
        return false;
    std::optional<ShortcutKey> shortcut;
    switch (key->key()) {
        case Qt::Key_Space:
            shortcut = ShortcutKey::Space;
            break;
        case Qt::Key_MediaPlay:
        case Qt::Key_MediaPause:
        case Qt::Key_MediaTogglePlayPause:
            shortcut = ShortcutKey::MediaPlay;
            break;
        case Qt::Key_A:
            shortcut = ShortcutKey::A;
            break;
        case Qt::Key_H:
            shortcut = ShortcutKey::H;
            break;
        case Qt::Key_N:
            shortcut = ShortcutKey::N;
            break;
        case Qt::Key_MediaNext:
            shortcut = ShortcutKey::MediaNext;
            break;
        case Qt::Key_P:
            shortcut = ShortcutKey::P;
            break;
        case Qt::Key_MediaPrevious:
            shortcut = ShortcutKey::MediaPrevious;
            break;
        case Qt::Key_Q:
            shortcut = ShortcutKey::Q;
            break;
        case Qt::Key_S:
            shortcut = ShortcutKey::S;
            break;
        case Qt::Key_MediaStop:
            shortcut = ShortcutKey::MediaStop;
            break;
        default:
            return false;
    }
    // Letters act whatever Shift and Caps Lock say, but a key that auto-repeats acts once.
    if (key->isAutoRepeat()) return true;
    outcome(control_.pressKey(*shortcut));
    return true;
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (form_ == Form::Full && !ask(tx("Do you really want to quit the program?"))) {
        event->ignore();
        return;
    }
    if (saveSettings) saveSettings(settings_);
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
    if (form_ == Form::Full) resize(std::max(width(), 1040), height());
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
    if (names.empty() || control_.dialogBusy()) return;
    control_.openFiles(names);
    if (form_ == Form::Full) {
        title_->setText(QStringLiteral("ohne Titel"));
        time_->setText(QStringLiteral("00:00:00"));
        newTempo_->setText(QStringLiteral("---  ---"));
        semitones_->setText(QStringLiteral("0"));
    }
}

void MainWindow::openFileDialog() {
    if (control_.dialogBusy()) return;
    const QStringList files = QFileDialog::getOpenFileNames(
        this, QString(), lastFolder_,
        tx("MIDI files (*.mid)") + QStringLiteral(" (*.mid *.smf *.kar)"));
    if (files.isEmpty()) return;
    lastFolder_ = QFileInfo(files.front()).absolutePath();
    openPaths(files);
}

void MainWindow::openFolderDialog() {
    if (control_.dialogBusy()) return;
    const QString folder = QFileDialog::getExistingDirectory(
        this, QStringLiteral("Wählen Sie einen Ordner mit Midi-Dateien!"), lastFolder_);
    if (folder.isEmpty()) return;
    lastFolder_ = folder;
    openPaths({folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/')});
}

void MainWindow::openPlaylistDialog() {
    if (control_.dialogBusy()) return;
    const QString file = QFileDialog::getOpenFileName(
        this, QString(), lastFolder_, tx("Playlist files (*.pli)") + QStringLiteral(" (*.pli)"));
    if (file.isEmpty()) return;
    if (playlistWindow_) {
        playlistWindow_->place(frameGeometry());
        playlistWindow_->show();
    }
    control_.openListFile(file.toStdString());
    control_.queue(FcRefreshList);
    control_.queue(FcRemoveInvalid);
    control_.queue(FcRemoveDuplicates);
}

void MainWindow::savePlaylistDialog() {
    if (control_.dialogBusy()) return;
    if (control_.playlistCount() == 0) {
        showEngineMessage(static_cast<int>(FrontMessage::NoMidiFileOpen), {});
        return;
    }
    QFileDialog dialog(this, QStringLiteral("Playliste speichern"), lastFolder_,
                       tx("Playlist file (*.pli)") + QStringLiteral(" (*.pli)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("pli"));
    // The question below replaces the dialog's own.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    const QString file = dialog.selectedFiles().front();
    if (QFileInfo::exists(file) &&
        !ask(tx("The file \"%1\" already exists.\n\nDo you want to replace it?").arg(file)))
        return;
    control_.savePlaylist(file.toStdString());
}

void MainWindow::changeSoundFontDialog() {
    const QString file = QFileDialog::getOpenFileName(this, QString(), lastFolder_,
                                                      QStringLiteral("Soundfonts (*.sf2)"));
    if (file.isEmpty()) return;
    control_.changeSoundFont(file.toStdString());
}

void MainWindow::setDragDropFormat(int format) {
    // The format is for songs dropped on the program's icon; what Play does stays as it is.
    settings_.dragDropFormat = format;
    wavFormat_->setChecked(format == 1);
    mp3Format_->setChecked(format == 2);
    if (saveSettings) saveSettings(settings_);
}

}  // namespace svt::gui

namespace svt::gui {

void MainWindow::clearWithQuestion() {
    if (control_.playlistCount() == 0) {
        showEngineMessage(static_cast<int>(FrontMessage::NoMidiFileOpen), {});
        return;
    }
    if (!ask(tx("Are you sure you want to clear the whole playlist?"))) return;
    control_.clearPlaylist();
}

void MainWindow::convertSong(int output) {
    if (control_.playlistCount() > 0 && !control_.converting() && output == 2 &&
        !(ensureEncoder && ensureEncoder()))
        return;
    outcome(control_.convertCurrent(output));
}

void MainWindow::convertWholePlaylist(int output) {
    if (control_.playlistCount() > 0 && !control_.converting() && output == 2 &&
        !(ensureEncoder && ensureEncoder()))
        return;
    outcome(control_.convertPlaylist(output));
}

void MainWindow::convertFileTo() {
    if (control_.playlistCount() == 0) {
        showEngineMessage(static_cast<int>(FrontMessage::NoMidiFileOpen), {});
        return;
    }
    if (control_.converting() || !chooseConversionFile) return;
    const auto snapshot = control_.playlistSnapshot();
    QString song;
    if (snapshot->current >= 0)
        song = qs((*snapshot->lines)[static_cast<size_t>(snapshot->current)].path);
    const QFileInfo songFile(song);
    // The suggestion is the song's name as a WAV file: the song itself is never offered.
    const QString folder =
        lastConvertFolder_.isEmpty() ? songFile.absolutePath() : lastConvertFolder_;
    auto [path, format] = chooseConversionFile(
        QDir(folder).filePath(songFile.completeBaseName() + QStringLiteral(".wav")));
    if (path.isEmpty()) return;
    const QString wanted = format == 2 ? QStringLiteral("mp3") : QStringLiteral("wav");
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix != wanted && !(format == 1 && suffix == QLatin1String("wave")))
        path += QLatin1Char('.') + wanted;
    if (QFileInfo(path).absoluteFilePath() == songFile.absoluteFilePath()) return;
    if (QFileInfo::exists(path) &&
        !ask(tx("The file \"%1\" already exists.\n\nDo you want to replace it?").arg(path)))
        return;
    if (format == 2 && !(ensureEncoder && ensureEncoder())) return;
    lastConvertFolder_ = QFileInfo(path).absolutePath();
    outcome(control_.convertTo(format, path.toStdString()));
}

void MainWindow::exportPlaylist() {
    if (control_.dialogBusy() || !chooseExportFile) return;
    const QString chosen = chooseExportFile();
    if (chosen.isEmpty()) return;
    if (QFileInfo::exists(chosen) &&
        !ask(tx("The file \"%1\" already exists.\n\nDo you want to replace it?").arg(chosen)))
        return;
    const QFileInfo info(chosen);
    lastFolder_ = info.absolutePath();
    control_.exportMediaPlayer(QDir(info.absolutePath())
                                   .filePath(info.completeBaseName() + QStringLiteral(".wpl"))
                                   .toStdString());
}

void MainWindow::openMediaList(const QString& path) {
    if (!openExternal || !openExternal(QUrl::fromLocalFile(path)))
        showMessage(tx("No program is set up to open \"%1\".").arg(path));
}

void MainWindow::conversionEnded(bool singleFile, const QString& lastOutput, int outputIndex,
                                 bool tooLongForCd) {
    setTaskbarProgress(-1);
    shownProgress_ = -1;
    if (form_ == Form::Full) statusBar()->clearMessage();
    if (singleFile) {
        if (ask(tx("Do you want to listen to the audio file?"))) openMediaList(lastOutput);
        return;
    }
    if (!ask(tx("Do you want to listen to the files or burn them to a CD?"))) return;
    if (tooLongForCd) showMessage(tx("Too long for an audio CD."));
    const std::string list = temporaryWplPath();
    if (!list.empty()) control_.exportMediaPlayer(list, outputIndex);
}

void MainWindow::showProgress() {
    if (!control_.converting()) {
        if (shownProgress_ >= 0) {
            setTaskbarProgress(-1);
            if (form_ == Form::Full) statusBar()->clearMessage();
            shownProgress_ = -1;
        }
        return;
    }
    const auto snapshot = control_.playlistSnapshot();
    const double song = positionBar_ && positionBar_->maximum() > 0
                            ? static_cast<double>(positionBar_->value()) / positionBar_->maximum()
                            : 0.0;
    const bool single = control_.convertingSingleFile() || snapshot->count() <= 1;
    const int index = std::max(snapshot->current, 0);
    const int count = single ? 1 : snapshot->count();
    const double progress =
        std::clamp((single ? song : (index + song) / std::max(count, 1)), 0.0, 1.0);
    if (std::abs(progress - shownProgress_) < 0.005) return;
    shownProgress_ = progress;
    setTaskbarProgress(progress);
    const QString text = tx("Converting file %1 of %2: %3 %")
                             .arg(single ? 1 : index + 1)
                             .arg(count)
                             .arg(static_cast<int>(progress * 100));
    if (form_ == Form::Full)
        statusBar()->showMessage(text);
    else
        setWindowTitle(
            QStringLiteral(" Calda Sorvanto - %1 %").arg(static_cast<int>(progress * 100)));
}

void MainWindow::openLink(int slot) {
    if (slot < 0 || slot >= kLinkSlots) return;
    const std::string& link = settings_.links[static_cast<size_t>(slot)];
    // Only web addresses are handed on; anything else in the settings is not opened.
    if (!isSaneLink(link)) return;
    if (ask(tx("Do you want to connect to this site?\n\n%1").arg(qs(link))) && openExternal)
        openExternal(QUrl(qs(link)));
}

void MainWindow::updateLinks() {
    if (linkUpdater_->busy()) return;
    linkUpdater_->start(
        qs(settings_.linkUpdateUrl),
        QByteArray::fromStdString(linkUpdateBody(settings_.linkListVersion, control_.language())));
}

void MainWindow::linkReply(bool ok, const QByteArray& body, const QString& error) {
    if (!ok) {
        showMessage(qs(linkFailureMessage(error.toStdString(), control_.language())));
        return;
    }
    const LinkReplyOutcome outcome =
        applyLinkReply(std::string_view(body.constData(), static_cast<size_t>(body.size())),
                       settings_, control_.language());
    showMessage(qs(linkReplyMessage(outcome, control_.language())));
    if (outcome.changed && saveSettings) saveSettings(settings_);
}

}  // namespace svt::gui
