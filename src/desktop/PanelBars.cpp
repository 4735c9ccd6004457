#include "desktop/PanelBars.h"

namespace svt {

BarPending& PanelBars::slot(PanelBar bar) {
    switch (bar) {
        case PanelBar::Position:
            return position_;
        case PanelBar::Volume:
            return volume_;
        case PanelBar::Tempo:
            return tempo_;
        case PanelBar::Transpose:
            break;
    }
    return transpose_;
}

const BarPending& PanelBars::pending(PanelBar bar) const {
    return const_cast<PanelBars*>(this)->slot(bar);
}

BarEcho PanelBars::moved(PanelBar bar, int value) {
    slot(bar).value = value;
    switch (bar) {
        case PanelBar::Position:
            return {};
        case PanelBar::Volume:
            // The volume is heard while the bar moves.
            return apply(bar, value);
        case PanelBar::Tempo:
            return {formatBpm(value), std::nullopt};
        case PanelBar::Transpose:
            break;
    }
    return {std::to_string(value - 24), std::nullopt};
}

BarEcho PanelBars::released(PanelBar bar, int value) {
    slot(bar).value = value;
    const BarEcho echo = apply(bar, value);
    slot(bar).value = BarPending::kNoPending;
    return echo;
}

BarEcho PanelBars::apply(PanelBar bar, int value) {
    switch (bar) {
        case PanelBar::Position:
            control_.positionReleased(value);
            return {};
        case PanelBar::Volume:
            control_.setVolumePercent(value);
            return {std::to_string(value), std::nullopt};
        case PanelBar::Tempo: {
            control_.tempoReleased(value);
            const int percent = originalTempoBpm_ > 0 ? value * 100 / originalTempoBpm_ : 100;
            return {formatPlayingTempo(value, percent), std::nullopt};
        }
        case PanelBar::Transpose:
            break;
    }
    BarEcho echo{std::to_string(value - 24), std::nullopt};
    if (const int item = control_.transposeReleased(value); item >= 0) echo.keyItem = item;
    return echo;
}

std::optional<KeyBoxChoice> PanelBars::keyBoxChosen(int item) {
    const std::optional<int> shift = control_.keyBoxChosen(item);
    if (!shift) return std::nullopt;
    return KeyBoxChoice{*shift + 24, std::to_string(*shift)};
}

}  // namespace svt
