#pragma once
// The main window: menu bar, image buttons, the player panel and the sixteen channel rows
// (full form), or position, time, title and path only (compact form, for songs given on the
// command line). It draws what the engine thread's panel view says and turns clicks and keys
// into the control interface's actions; it never waits for the engine.

#include <QIcon>
#include <QMainWindow>
#include <QPointer>
#include <array>
#include <cstdio>
#include <functional>
#include <memory>

#include "desktop/AppSettings.h"
#include "desktop/FrontControl.h"
#include "desktop/PanelState.h"
#include "gui/PlaylistWindow.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QScrollBar;
class QTimer;
class QToolButton;
class QAction;
class QActionGroup;

namespace svt::gui {

class ChannelMeters;

// A horizontal bar whose value is applied when the user's movement ends; while it moves the
// value waits as pending (kNoPending when none).
struct BarPending {
    static constexpr int kNoPending = -1000;
    int value = kNoPending;
    bool moving() const { return value != kNoPending && value != -1; }
};

// The window's link to the engine thread: the engine's calls become queued signals.
class WindowLink final : public QObject, public FrontView {
    Q_OBJECT
  public:
    void panelChanged() override { Q_EMIT panelChangedSignal(); }
    void showMessage(FrontMessage message, const std::string& argument) override {
        Q_EMIT messageSignal(static_cast<int>(message), QString::fromStdString(argument));
    }
    void closeWindow() override { Q_EMIT closeSignal(); }
    void playlistChanged() override { Q_EMIT playlistChangedSignal(); }
    void conversionEnded(const ConversionEnd& end) override {
        Q_EMIT conversionEndedSignal(end.singleFile, QString::fromStdString(end.lastOutputPath),
                                     end.outputIndex, end.tooLongForCd);
    }
    void mediaListWritten(const std::string& path) override {
        Q_EMIT mediaListSignal(QString::fromStdString(path));
    }
  Q_SIGNALS:
    void panelChangedSignal();
    void messageSignal(int message, QString argument);
    void closeSignal();
    void playlistChangedSignal();
    void conversionEndedSignal(bool singleFile, QString lastOutput, int outputIndex,
                               bool tooLongForCd);
    void mediaListSignal(QString path);
};

class LinkUpdater;

class MainWindow final : public QMainWindow {
    Q_OBJECT
  public:
    enum class Form { Full, Compact };

    MainWindow(FrontControl& control, AppSettings& settings, Form form,
               const std::string& soundFontName, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Message boxes go through these, so tests can answer them.
    std::function<void(const QString& text, const QString& caption)> inform;
    std::function<bool(const QString& text)> confirm;
    // Where settings are saved when the window closes; none in tests unless set.
    std::function<void(const AppSettings&)> saveSettings;
    // Hands a web page, an audio file or a media-player list to the desktop; false when no
    // application takes it.
    std::function<bool(const QUrl&)> openExternal;
    // Save dialogs of the conversion and the export; tests answer them. Empty: cancelled.
    // The second value is the chosen filter (1 WAV, 2 MP3).
    std::function<std::pair<QString, int>(const QString& suggested)> chooseConversionFile;
    std::function<QString()> chooseExportFile;
    // Whether the MP3 encoder library can be loaded; asks for it when it cannot.
    std::function<bool()> ensureEncoder;

    Form form() const { return form_; }
    // Takes the engine's latest view and shows what changed.
    void refreshPanel();
    // Places the window from "UIMainX"/"UIMainY" on its screen's available area.
    void placeFromSettings();
    PlaylistWindow* playlistWindow() const { return playlistWindow_; }
    // The conversion actions of the buttons and the menu (output 1 WAV, 2 MP3).
    void convertSong(int output);
    void convertWholePlaylist(int output);
    void convertFileTo();
    void exportPlaylist();
    void openLink(int slot);
    void updateLinks();
    LinkUpdater* linkUpdater() const { return linkUpdater_; }
    // The clear question of the playlist window's button and keys.
    void clearWithQuestion();
    // Opens files as the open dialog would (also used for the command line).
    void openPaths(const QStringList& paths);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void buildMenus();
    QWidget* buildFullPanel();
    QWidget* buildCompactPanel();
    QToolButton* imageButton(const QIcon& icon, const QString& tooltip,
                             const std::function<void()>& action);
    void applyView(const PanelView& view);
    static void showImage(QToolButton* button, const std::array<QIcon, 2>& images, bool second);
    void setSongControlsEnabled(bool enabled);
    void showEngineMessage(int message, const QString& argument);
    void conversionEnded(bool singleFile, const QString& lastOutput, int outputIndex,
                         bool tooLongForCd);
    void openMediaList(const QString& path);
    void showProgress();
    void linkReply(bool ok, const QByteArray& body, const QString& error);
    void outcome(UiOutcome result);
    void togglePlaylistWindow();
    void openFileDialog();
    void openFolderDialog();
    void openPlaylistDialog();
    void savePlaylistDialog();
    void changeSoundFontDialog();
    void setDragDropFormat(int format);
    void showMessage(const QString& text, const QString& caption = QString());
    bool ask(const QString& text);

    FrontControl& control_;
    AppSettings& settings_;
    const Form form_;
    WindowLink link_;
    QTimer* refreshTimer_ = nullptr;
    QPointer<PlaylistWindow> playlistWindow_;
    LinkUpdater* linkUpdater_ = nullptr;
    QString lastConvertFolder_;
    double shownProgress_ = -1;
    bool playlistWasVisible_ = false;
    QString lastFolder_;

    // Fields.
    QLineEdit* title_ = nullptr;
    QLineEdit* path_ = nullptr;
    QLineEdit* playlist_ = nullptr;
    QLineEdit* time_ = nullptr;
    QScrollBar* positionBar_ = nullptr;
    QLineEdit* measure_ = nullptr;
    QScrollBar* volumeBar_ = nullptr;
    QLineEdit* volumeNumber_ = nullptr;
    QLineEdit* newTempo_ = nullptr;
    QLineEdit* originalTempo_ = nullptr;
    QScrollBar* tempoBar_ = nullptr;
    QScrollBar* transposeBar_ = nullptr;
    QLineEdit* semitones_ = nullptr;
    QComboBox* keyBox_ = nullptr;
    QLineEdit* originalKey_ = nullptr;
    QLineEdit* meter_ = nullptr;
    QLabel* soundFont_ = nullptr;
    std::array<QCheckBox*, 16> mutes_{};
    std::array<QComboBox*, 16> instruments_{};
    std::array<QLineEdit*, 16> trackNames_{};
    ChannelMeters* meters_ = nullptr;
    QToolButton* playButton_ = nullptr;
    QToolButton* pauseButton_ = nullptr;
    QToolButton* loopButton_ = nullptr;
    std::array<QIcon, 2> playImages_, pauseImages_, loopImages_;
    QAction* wavFormat_ = nullptr;
    QAction* mp3Format_ = nullptr;

    BarPending positionPending_, volumePending_, transposePending_, tempoPending_;
    bool keyBoxGuard_ = false;
    FILE* timeLog_ = nullptr;
    int originalTempoBpm_ = -1;

  public:
    // For tests: the widgets by role.
    QScrollBar* positionBar() const { return positionBar_; }
    QScrollBar* volumeBar() const { return volumeBar_; }
    QScrollBar* tempoBar() const { return tempoBar_; }
    QScrollBar* transposeBar() const { return transposeBar_; }
    QLineEdit* timeField() const { return time_; }
    QLineEdit* semitonesField() const { return semitones_; }
    QLineEdit* newTempoField() const { return newTempo_; }
    QLineEdit* volumeField() const { return volumeNumber_; }
    QComboBox* keyBox() const { return keyBox_; }
    ChannelMeters* meters() const { return meters_; }
    QToolButton* playButton() const { return playButton_; }
    QToolButton* loopButton() const { return loopButton_; }
    const BarPending& positionPending() const { return positionPending_; }
    const BarPending& tempoPending() const { return tempoPending_; }
    const BarPending& transposePending() const { return transposePending_; }
};

}  // namespace svt::gui
