#pragma once
// The sixteen level meters in one widget: one paint for all of them, at most as often as the
// window's refresh timer asks, however many notes a dense song starts.

#include <QWidget>
#include <array>
#include <vector>

namespace svt::gui {

class ChannelMeters final : public QWidget {
    Q_OBJECT
  public:
    explicit ChannelMeters(QWidget* parent = nullptr);

    // Each bar is drawn level with its row's widget; without rows the height is split evenly.
    void setRows(std::vector<QWidget*> rows) { rows_ = std::move(rows); }
    // Levels 0..100; repaints only when one changed.
    void setLevels(const std::array<int, 16>& levels);
    const std::array<int, 16>& levels() const { return levels_; }
    int paintCount() const { return paints_; }

    QSize sizeHint() const override { return {140, 16 * 22}; }
    QSize minimumSizeHint() const override { return {60, 16 * 8}; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    std::array<int, 16> levels_{};
    std::vector<QWidget*> rows_;
    int paints_ = 0;
};

}  // namespace svt::gui
