#include "gui/ChannelMeters.h"

#include <QPainter>
#include <algorithm>

namespace svt::gui {

ChannelMeters::ChannelMeters(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void ChannelMeters::setLevels(const std::array<int, 16>& levels) {
    if (levels == levels_) return;
    levels_ = levels;
    update();
}

void ChannelMeters::paintEvent(QPaintEvent*) {
    ++paints_;
    QPainter p(this);
    const QPalette& pal = palette();
    p.fillRect(rect(), pal.window());
    const int barWidth = width() - 4;
    for (int row = 0; row < 16; ++row) {
        int top = 0, height = 0;
        if (static_cast<size_t>(row) < rows_.size() && rows_[static_cast<size_t>(row)]) {
            const QWidget* anchor = rows_[static_cast<size_t>(row)];
            const QPoint at = anchor->mapTo(window(), QPoint(0, 0)) - mapTo(window(), QPoint(0, 0));
            top = at.y() + 3;
            height = anchor->height() - 6;
        } else {
            top = row * this->height() / 16 + 2;
            height = this->height() / 16 - 4;
        }
        if (height < 2) height = 2;
        const QRect frame(2, top, barWidth, height);
        p.fillRect(frame, pal.base());
        const int level = std::clamp(levels_[static_cast<size_t>(row)], 0, 100);
        if (level > 0) {
            const int filled = (frame.width() - 2) * level / 100;
            QLinearGradient shade(frame.left(), 0, frame.left() + frame.width(), 0);
            shade.setColorAt(0.0, QColor(40, 160, 70));
            shade.setColorAt(0.75, QColor(210, 200, 40));
            shade.setColorAt(1.0, QColor(220, 60, 40));
            p.fillRect(QRect(frame.left() + 1, frame.top() + 1, filled, frame.height() - 2), shade);
        }
        p.setPen(pal.mid().color());
        p.drawRect(frame.adjusted(0, 0, -1, -1));
    }
}

}  // namespace svt::gui
