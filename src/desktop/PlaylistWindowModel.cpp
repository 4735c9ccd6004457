#include "desktop/PlaylistWindowModel.h"

#include <algorithm>

namespace svt {

void PlaylistWindowModel::inform(UiText id, UiText caption) {
    services_.inform(text(id), text(caption));
}

bool PlaylistWindowModel::maySearch(int rowCount) {
    if (rowCount > 0) return true;
    inform(UiText::NoMidiFileOpen);
    return false;
}

std::optional<int> PlaylistWindowModel::search(const PlaylistSnapshot& snapshot,
                                               const std::string& text, bool next,
                                               int selectedRow) {
    const int found =
        findInPlaylist(snapshot, text, searchStart(next, selectedRow), control_.language());
    if (found >= 0) return found;
    inform(UiText::EndOfSearch, UiText::SearchCaption);
    return std::nullopt;
}

void PlaylistWindowModel::playSelected(int selectedRow, int caretRow, int rowCount) {
    const int row = selectedRow >= 0 ? selectedRow : caretRow;
    if (row < 0) return;
    control_.playIndex(std::min(row, rowCount - 1));
}

void PlaylistWindowModel::removeSelected(int selectedRow) {
    if (selectedRow >= 0) control_.removeEntry(selectedRow);
}

ListAction PlaylistWindowModel::key(ListKey key, int selectedRow, int caretRow) {
    switch (key) {
        case ListKey::Play:
            if (caretRow >= 0) control_.playIndex(caretRow);
            return ListAction::None;
        case ListKey::Remove:
            removeSelected(selectedRow);
            return ListAction::None;
        case ListKey::Clear:
            return ListAction::ClearPlaylist;
        case ListKey::Hide:
            return ListAction::Hide;
        case ListKey::Quit:
            break;
    }
    const bool quit =
        services_.confirm(text(UiText::PlaylistQuitQuestion), text(UiText::ProductCaption));
    return quit ? ListAction::Quit : ListAction::None;
}

void PlaylistWindowModel::toggleRandom() {
    switch (control_.toggleRandom()) {
        case RandomOutcome::OneTitle:
            inform(UiText::OneTitle);
            break;
        case RandomOutcome::On:
            inform(UiText::RandomOn);
            break;
        case RandomOutcome::Off:
            inform(UiText::RandomOff);
            break;
    }
}

}  // namespace svt
