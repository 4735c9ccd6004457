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

#include "app/AppSettings.h"
#include "app/FrontControl.h"
#include "app/PanelState.h"

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
  Q_SIGNALS:
    void panelChangedSignal();
    void messageSignal(int message, QString argument);
    void closeSignal();
    void playlistChangedSignal();
};

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

    Form form() const { return form_; }
    // Takes the engine's latest view and shows what changed.
    void refreshPanel();
    // Places the window from "UIMainX"/"UIMainY" on its screen's available area.
    void placeFromSettings();
    QWidget* playlistWindow() const { return playlistWindow_; }
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
    void notYet();
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
    QPointer<QWidget> playlistWindow_;
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
