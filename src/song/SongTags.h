#pragma once
// What a file rendered from a song says about it in its tags: the song's title, its copyright
// notice and composer where it has them, and the song's file name as the source. Texts are
// cleaned UTF-8 (song/CleanText.h), empty where the song says nothing.

#include <string>

namespace svt {

struct SongInfo;
class SongInfoList;

struct SongTags {
    std::string title;
    std::string copyright;
    std::string composer;
    std::string source;  // the song's file name without its folder
};

SongTags songTagsOf(const SongInfo& info, const std::string& songPath);
// From a quick look at the song's first tracks (the file is read at most once per list).
SongTags readSongTags(SongInfoList& infos, const std::string& songPath);

}  // namespace svt
