#include "song/SongTags.h"

#include "song/CleanText.h"
#include "song/SongInfo.h"

namespace svt {

SongTags songTagsOf(const SongInfo& info, const std::string& songPath) {
    SongTags tags;
    tags.title = cleanText(displayTitle(info).value_or(""));
    tags.copyright = cleanText(info.copyright.value_or(""));
    tags.composer = cleanText(info.composer.value_or(""));
    // Standard input has no name to give.
    if (songPath != "-") tags.source = cleanText(songPath.substr(songPath.find_last_of("/\\") + 1));
    return tags;
}

SongTags readSongTags(SongInfoList& infos, const std::string& songPath) {
    infos.quickTitle(songPath);
    return songTagsOf(*infos.find(songPath, true), songPath);
}

}  // namespace svt
