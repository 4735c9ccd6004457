// The main window's widgets: the image buttons, the player panel with its bars, fields and
// the sixteen channel rows, and the compact form; what they do is bound to the model here and
// shown by MainWindow.cpp.

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QProxyStyle>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include "gui/ChannelMeters.h"
#include "gui/MainWindow.h"

namespace svt::gui {
namespace {

QLineEdit* readOnlyField(QWidget* parent, int minimumChars = 0) {
    auto* field = new QLineEdit(parent);
    field->setReadOnly(true);
    field->setFocusPolicy(Qt::NoFocus);
    if (minimumChars > 0)
        field->setMinimumWidth(
            field->fontMetrics().horizontalAdvance(QLatin1Char('0')) * minimumChars + 12);
    return field;
}

// The position bar goes where it is clicked, as a music player's does, rather than a page.
class ClickToPlaceStyle final : public QProxyStyle {
  public:
    using QProxyStyle::QProxyStyle;
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returned) const override {
        if (hint == QStyle::SH_ScrollBar_LeftClickAbsolutePosition) return 1;
        return QProxyStyle::styleHint(hint, option, widget, returned);
    }
};

// Fields and boxes keep their height in a taller row and sit in its middle (without an
// alignment a layout puts them at the top of the row).
void centreVertically(QGridLayout* grid) {
    for (int i = 0; i < grid->count(); ++i) grid->itemAt(i)->setAlignment(Qt::AlignVCenter);
}

// The channel rows scroll when the window is too short for them, and ask for their whole
// height otherwise, so a window opened at its natural size shows every row.
class ChannelScroller final : public QScrollArea {
  public:
    using QScrollArea::QScrollArea;
    QSize sizeHint() const override {
        const QSize inner = widget() ? widget()->sizeHint() : QSize();
        const int bar = verticalScrollBar()->sizeHint().width();
        return inner + QSize(2 * frameWidth() + bar, 2 * frameWidth());
    }
};

QScrollBar* bar(QWidget* parent, PanelBar which) {
    const BarRange range = barRange(which);
    auto* b = new QScrollBar(Qt::Horizontal, parent);
    b->setRange(range.minimum, range.maximum);
    b->setValue(range.initial);
    b->setSingleStep(range.line);
    b->setPageStep(range.page);
    b->setMinimumWidth(120);
    if (which == PanelBar::Position) {
        auto* style = new ClickToPlaceStyle;
        style->setParent(b);
        b->setStyle(style);
    }
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

void MainWindow::tintTransportIcons() {
    // The style's transport symbols are drawn dark; on a dark scheme they take the text's
    // colour so that they can be seen.
    const QColor text = palette().color(QPalette::WindowText);
    const bool dark = palette().color(QPalette::Window).lightness() < 128;
    for (size_t i = 0; i < transportButtons_.size() && i < transportIcons_.size(); ++i) {
        QIcon icon = style()->standardIcon(transportIcons_[i]);
        if (dark) {
            QPixmap pixmap = icon.pixmap(QSize(32, 32));
            QPainter p(&pixmap);
            p.setCompositionMode(QPainter::CompositionMode_SourceIn);
            p.fillRect(pixmap.rect(), text);
            p.end();
            icon = QIcon(pixmap);
        }
        transportButtons_[i]->setIcon(icon);
    }
}

QWidget* MainWindow::buildFullPanel() {
    auto* panel = new QWidget(this);
    const auto transportIcon = [this](QStyle::StandardPixmap which) {
        transportIcons_.push_back(which);
        return QIcon();
    };
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
    transportButtons_.push_back(imageButton(transportIcon(QStyle::SP_MediaSkipBackward),
                                            t(UiText::Previous),
                                            [this] { control_.pressPrevious(); }));
    buttons->addWidget(transportButtons_.back());
    playButton_ = imageButton(transportIcon(QStyle::SP_MediaPlay), t(UiText::Play),
                              [this] { act(model_.play()); });
    pauseButton_ = imageButton(transportIcon(QStyle::SP_MediaPause), t(UiText::Pause),
                               [this] { control_.pressPause(); });
    transportButtons_.push_back(playButton_);
    transportButtons_.push_back(pauseButton_);
    buttons->addWidget(playButton_);
    buttons->addWidget(pauseButton_);
    transportButtons_.push_back(imageButton(transportIcon(QStyle::SP_MediaStop), t(UiText::Stop),
                                            [this] { control_.pressStop(); }));
    buttons->addWidget(transportButtons_.back());
    transportButtons_.push_back(imageButton(transportIcon(QStyle::SP_MediaSkipForward),
                                            t(UiText::Next), [this] { control_.pressNext(); }));
    buttons->addWidget(transportButtons_.back());
    tintTransportIcons();
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
    position->addWidget(new QLabel(t(UiText::Measure), panel));
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
    // As the other song controls it takes no keys: a letter typed for a shortcut (Alt+F for a
    // menu) must not choose a key by its first letter.
    keyBox_->setFocusPolicy(Qt::NoFocus);
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
    // Enlarged, the rows spread over the height instead of leaving a block empty below; each
    // field sits in the middle of its row.
    for (int row = 0; row < controls->rowCount(); ++row) controls->setRowStretch(row, 1);
    centreVertically(controls);
    left->addLayout(controls, 1);

    // The sixteen channel rows.
    auto* scroller = new ChannelScroller(panel);
    scroller->setWidgetResizable(true);
    scroller->setFrameShape(QFrame::NoFrame);
    scroller->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* channels = new QGroupBox;
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
        instrument->setMinimumContentsLength(10);
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
    grid->setColumnMinimumWidth(1, 60);
    grid->setColumnStretch(1, 2);
    grid->setColumnStretch(3, 2);
    grid->setColumnMinimumWidth(3, 80);
    // The rows take the height the window gives them; the heading stays on the first row.
    for (int c = 1; c <= 16; ++c) grid->setRowStretch(c, 1);
    centreVertically(grid);
    grid->setAlignment(header, Qt::AlignBottom | Qt::AlignLeft);
    grid->setAlignment(meters_, {});  // the meters span the rows and draw beside each
    scroller->setWidget(channels);
    body->addWidget(scroller, 6);
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

}  // namespace svt::gui
