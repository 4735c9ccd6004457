// Chunk walk over a SoundFont's RIFF structure. Every size and index comes from the
// file and is checked before it is used; tables grow with the bytes that actually
// arrive, never with a size a header claims.

#include "instruments/SoundFontFile.h"

#include <algorithm>
#include <cstring>

#include "instruments/Instrument.h"
#include "streams/streams.h"

namespace svt {
namespace {

constexpr size_t kMaxProblems = 64;
constexpr long kReadPiece = 1 << 20;

uint16_t le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// Byte 19 is forced to NUL, then trailing blanks go.
std::string readName(const uint8_t* p) {
    size_t n = 0;
    while (n < 19 && p[n] != 0) ++n;
    std::string s(reinterpret_cast<const char*>(p), n);
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

std::string fourcc(const uint8_t* id) {
    std::string s;
    for (int i = 0; i < 4; ++i) {
        unsigned char c = id[i];
        s += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '?';
    }
    return s;
}

class Walker {
  public:
    Walker(InputStream& in, SoundFontFile& file) : in_(in), file_(file) {}

    void problem(std::string text) {
        if (file_.problems.size() < kMaxProblems) {
            file_.problems.push_back({std::move(text)});
        } else if (file_.problems.size() == kMaxProblems) {
            file_.problems.push_back({"further problems not listed"});
        }
    }

    bool readExact(uint8_t* buffer, long n) { return in_.readFully(buffer, n) == n; }

    // The body of a sub-chunk, as much of it as the file holds.
    std::vector<uint8_t> readBody(uint32_t size, const std::string& id) {
        std::vector<uint8_t> body;
        uint64_t want = size;
        while (body.size() < want) {
            long piece = static_cast<long>(std::min<uint64_t>(kReadPiece, want - body.size()));
            size_t old = body.size();
            body.resize(old + static_cast<size_t>(piece));
            long got = in_.readFully(body.data() + old, piece);
            body.resize(old + static_cast<size_t>(std::max(got, 0L)));
            if (got < piece) break;
        }
        if (body.size() < want) {
            problem("the \"" + id + "\" chunk is cut short: " + std::to_string(body.size()) +
                    " of " + std::to_string(size) + " bytes are in the file");
            truncated_ = true;
        }
        return body;
    }

    // Records of `recordSize` bytes; a remainder is ignored.
    std::vector<uint8_t> readTable(uint32_t size, size_t recordSize, const std::string& id,
                                   size_t& count) {
        std::vector<uint8_t> body = readBody(size, id);
        if (size % recordSize != 0 && !truncated_) {
            problem("the \"" + id + "\" chunk's size " + std::to_string(size) +
                    " is not a multiple of " + std::to_string(recordSize) + "; the last " +
                    std::to_string(size % recordSize) + " bytes are ignored");
        }
        count = body.size() / recordSize;
        return body;
    }

    void skipBody(uint32_t size) { in_.skip(static_cast<long>(size)); }

    Status walk();

  private:
    bool walkList(const std::string& type, int64_t remaining);
    void handle(const std::string& list, const std::string& id, uint32_t size);
    void buildZones();

    InputStream& in_;
    SoundFontFile& file_;
    bool truncated_ = false;

    std::vector<uint16_t> presetBags_, instrumentBags_;
    std::vector<uint16_t> presetModBags_, instrumentModBags_;  // each bag's first modulator
    std::vector<Generator> presetGens_, instrumentGens_;
    std::vector<Modulator> presetMods_, instrumentMods_;
    bool havePbag_ = false, haveIbag_ = false, havePgen_ = false, haveIgen_ = false;
    bool havePhdr_ = false, haveInst_ = false, haveShdr_ = false, haveSmpl_ = false;
    size_t snamCount_ = 0;
};

Status Walker::walk() {
    uint8_t header[12];
    long got = in_.readFully(header, 12);
    if (got <= 0) return makeError("not a SoundFont: the file is empty");
    if (got < 4 || std::memcmp(header, "RIFF", 4) != 0)
        return makeError("not a SoundFont: no RIFF header");
    if (got < 12) return makeError("not a SoundFont: the file ends inside its RIFF header");
    if (std::memcmp(header + 8, "sfbk", 4) != 0) {
        return makeError("not a SoundFont: a RIFF file of the form \"" + fourcc(header + 8) + "\"");
    }

    bool sawPdta = false;
    for (;;) {
        uint8_t chunk[8];
        if (!readExact(chunk, 8)) break;
        uint32_t size = le32(chunk + 4);
        if (std::memcmp(chunk, "LIST", 4) != 0) {
            skipBody(size);
            continue;
        }
        uint8_t type[4];
        if (size < 4 || !readExact(type, 4)) {
            problem("a LIST chunk ends before its type");
            break;
        }
        std::string t(reinterpret_cast<const char*>(type), 4);
        int64_t remaining = static_cast<int64_t>(size) - 4;
        if (t == "INFO" || t == "sdta" || t == "pdta") {
            if (t == "pdta") sawPdta = true;
            if (!walkList(t, remaining)) {
                problem("the file ends inside the \"" + t + "\" list");
                break;
            }
        } else {
            skipBody(static_cast<uint32_t>(remaining));
        }
        if (truncated_) break;
    }

    file_.hasPdta = sawPdta;
    if (!file_.hasVersion) problem("no version (ifil chunk); taken as version 2.01");
    if (!haveSmpl_) problem("no sample data (smpl chunk)");
    if (!sawPdta) problem("no preset data (pdta list): the font holds no presets");
    buildZones();
    return Ok{};
}

bool Walker::walkList(const std::string& list, int64_t remaining) {
    while (remaining > 0) {
        uint8_t sub[8];
        if (!readExact(sub, 8)) return false;
        uint32_t size = le32(sub + 4);
        remaining -= 8 + static_cast<int64_t>(size);
        handle(list, std::string(reinterpret_cast<const char*>(sub), 4), size);
        if (truncated_) return false;
        // SoundFont 2 sub-chunks are even-sized, but the sample data of a compressed font
        // need not be: a list whose size counts the pad byte after an odd chunk has it skipped.
        if (size % 2 != 0 && remaining % 2 != 0) {
            skipBody(1);
            --remaining;
        }
    }
    return true;
}

void Walker::handle(const std::string& list, const std::string& id, uint32_t size) {
    size_t count = 0;
    if (list == "INFO") {
        if (id == "ifil") {
            uint8_t v[4];
            if (size < 4) {
                problem("the \"ifil\" chunk is shorter than 4 bytes");
                skipBody(size);
                return;
            }
            if (!readExact(v, 4)) {
                truncated_ = true;
                return;
            }
            file_.versionMajor = le16(v);
            file_.versionMinor = le16(v + 2);
            file_.hasVersion = true;
            skipBody(size - 4);
        } else if (id == "INAM") {
            std::vector<uint8_t> body = readBody(size, id);
            size_t n = 0;
            while (n < body.size() && body[n] != 0) ++n;
            file_.name.assign(reinterpret_cast<const char*>(body.data()), n);
            file_.hasName = true;
        } else {
            skipBody(size);
        }
        return;
    }
    if (list == "sdta") {
        if (id == "smpl") {
            file_.sampleDataPos = in_.tell();
            int64_t size64 = size;
            if (const int64_t fileSize = in_.size(); fileSize >= 0) {
                int64_t room = fileSize - file_.sampleDataPos;
                if (size64 > room) {
                    problem("the sample data claims " + std::to_string(size) + " bytes but only " +
                            std::to_string(std::max<int64_t>(room, 0)) + " are in the file");
                    size64 = std::max<int64_t>(room, 0);
                }
            }
            file_.sampleDataSize = size64;
            haveSmpl_ = true;
            skipBody(size);
        } else if (id == "sm24") {
            file_.sample24Pos = in_.tell();
            file_.sample24Size = size;
            skipBody(size);
        } else if (id == "snam" && file_.versionMajor <= 1) {
            std::vector<uint8_t> body = readTable(size, 20, id, count);
            if (file_.sampleHeaders.empty() || file_.sampleHeaders.size() == count) {
                file_.sampleHeaders.resize(count);
                for (size_t i = 0; i < count; ++i)
                    file_.sampleHeaders[i].name = readName(&body[i * 20]);
                snamCount_ = count;
            }
        } else {
            skipBody(size);
        }
        return;
    }
    if (list != "pdta") {
        skipBody(size);
        return;
    }
    if (id == "phdr") {
        std::vector<uint8_t> body = readTable(size, 38, id, count);
        file_.presets.assign(count, PresetHeader{});
        for (size_t i = 0; i < count; ++i) {
            const uint8_t* r = &body[i * 38];
            PresetHeader& p = file_.presets[i];
            p.name = readName(r);
            p.program = le16(r + 20);
            p.bank = le16(r + 22);
            p.firstZone = le16(r + 24);
        }
        havePhdr_ = true;
    } else if (id == "inst") {
        std::vector<uint8_t> body = readTable(size, 22, id, count);
        file_.instruments.assign(count, InstrumentHeader{});
        for (size_t i = 0; i < count; ++i) {
            file_.instruments[i].name = readName(&body[i * 22]);
            file_.instruments[i].firstZone = le16(&body[i * 22 + 20]);
        }
        haveInst_ = true;
    } else if (id == "pbag" || id == "ibag") {
        std::vector<uint8_t> body = readTable(size, 4, id, count);
        std::vector<uint16_t>& bags = id == "pbag" ? presetBags_ : instrumentBags_;
        std::vector<uint16_t>& modBags = id == "pbag" ? presetModBags_ : instrumentModBags_;
        bags.resize(count);
        modBags.resize(count);
        for (size_t i = 0; i < count; ++i) {
            bags[i] = le16(&body[i * 4]);
            modBags[i] = le16(&body[i * 4 + 2]);
        }
        (id == "pbag" ? havePbag_ : haveIbag_) = true;
    } else if (id == "pgen" || id == "igen") {
        std::vector<uint8_t> body = readTable(size, 4, id, count);
        std::vector<Generator>& gens = id == "pgen" ? presetGens_ : instrumentGens_;
        gens.resize(count);
        for (size_t i = 0; i < count; ++i)
            gens[i] = Generator{le16(&body[i * 4]), le16(&body[i * 4 + 2])};
        (id == "pgen" ? havePgen_ : haveIgen_) = true;
    } else if (id == "pmod" || id == "imod") {
        std::vector<uint8_t> body = readTable(size, 10, id, count);
        std::vector<Modulator>& mods = id == "pmod" ? presetMods_ : instrumentMods_;
        mods.resize(count);
        for (size_t i = 0; i < count; ++i) {
            const uint8_t* r = &body[i * 10];
            mods[i] = Modulator{le16(r), le16(r + 2), static_cast<int16_t>(le16(r + 4)),
                                le16(r + 6), le16(r + 8)};
        }
    } else if (id == "shdr") {
        bool v2 = file_.versionMajor > 1;
        size_t recordSize = v2 ? 46 : 16;
        std::vector<uint8_t> body = readTable(size, recordSize, id, count);
        std::vector<SampleHeader>& headers = file_.sampleHeaders;
        if (v2) headers.assign(count, SampleHeader{});
        if (!v2) {
            // Names came from snam; the table follows the shdr count.
            if (snamCount_ != 0 && snamCount_ != count) {
                problem("the sample name table (snam) has " + std::to_string(snamCount_) +
                        " names for " + std::to_string(count) + " sample headers");
            }
            size_t named = std::min(headers.size(), count);
            headers.resize(count);
            for (size_t i = named; i < count; ++i) headers[i].name = "#" + std::to_string(i);
        }
        bool ramFromHere = false;
        for (size_t i = 0; i < count; ++i) {
            const uint8_t* r = &body[i * recordSize];
            SampleHeader& h = headers[i];
            if (v2) {
                h.name = readName(r);
                r += 20;
            }
            h.start = le32(r);
            h.end = le32(r + 4);
            h.loopStart = le32(r + 8);
            h.loopEnd = le32(r + 12);
            if (v2) {
                h.sampleRate = le32(r + 16);
                h.originalKey = r[20];
                h.pitchCorrection = static_cast<int8_t>(r[21]);
                h.sampleLink = le16(r + 22);
                h.sampleType = le16(r + 24);
            } else {
                h.sampleRate = 44100;
                h.originalKey = 60;
                h.pitchCorrection = 0;
                h.sampleLink = 0;
                if (h.start == 0) ramFromHere = true;
                h.sampleType =
                    ramFromHere ? kSampleMono : static_cast<uint16_t>(kSampleRomBit | kSampleMono);
            }
        }
        haveShdr_ = true;
    } else {
        skipBody(size);  // anything unknown
    }
}

// Cuts the headers' runs of bags into zones of generators. An index past its table
// ends the zones of that header there; a bag whose generator index goes backwards does
// the same.
// Modulators only add to a zone: a bag whose run of them is broken keeps its generators
// and loses its modulators.
template <class Header>
void cutZones(std::vector<Header>& headers, const std::vector<uint16_t>& bags,
              const std::vector<Generator>& gens, const std::vector<uint16_t>& modBags,
              const std::vector<Modulator>& mods, const char* what, const char* bagId,
              const char* genId, Walker& w) {
    bool modsNoted = false;
    if (headers.empty()) return;
    for (size_t i = 0; i + 1 < headers.size(); ++i) {
        Header& h = headers[i];
        int first = h.firstZone;
        int next = headers[i + 1].firstZone;
        if (next - first <= 0) continue;
        if (static_cast<size_t>(next) >= bags.size()) {
            w.problem(std::string(what) + " \"" + h.name +
                      "\": its zones run past the end of the \"" + bagId + "\" table (" +
                      std::to_string(bags.size()) + " records)");
            next = static_cast<int>(bags.size()) - 1;
        }
        for (int j = first; j < next; ++j) {
            int from = bags[static_cast<size_t>(j)];
            int to = bags[static_cast<size_t>(j) + 1];
            if (to < from) {
                w.problem(std::string(what) + " \"" + h.name + "\": zone " +
                          std::to_string(j - first) +
                          " has a negative generator count; its zones end there");
                break;
            }
            if (static_cast<size_t>(to) > gens.size()) {
                w.problem(std::string(what) + " \"" + h.name + "\": zone " +
                          std::to_string(j - first) + " points past the end of the \"" + genId +
                          "\" table (" + std::to_string(gens.size()) +
                          " records); its zones end there");
                break;
            }
            Zone z;
            z.generators.assign(gens.begin() + from, gens.begin() + to);
            const size_t modFrom = modBags[static_cast<size_t>(j)];
            const size_t modTo = modBags[static_cast<size_t>(j) + 1];
            if (modFrom <= modTo && modTo <= mods.size()) {
                z.modulators.assign(mods.begin() + static_cast<std::ptrdiff_t>(modFrom),
                                    mods.begin() + static_cast<std::ptrdiff_t>(modTo));
            } else if (!modsNoted) {
                modsNoted = true;
                w.problem(std::string(what) + " \"" + h.name + "\": zone " +
                          std::to_string(j - first) +
                          "'s modulators lie outside the modulator table; they are left out");
            }
            h.zones.push_back(std::move(z));
        }
    }
}

void Walker::buildZones() {
    if (!file_.hasPdta) return;
    const char* missing = !havePhdr_   ? "phdr"
                          : !havePbag_ ? "pbag"
                          : !havePgen_ ? "pgen"
                          : !haveInst_ ? "inst"
                          : !haveIbag_ ? "ibag"
                          : !haveIgen_ ? "igen"
                          : !haveShdr_ ? "shdr"
                                       : nullptr;
    if (missing != nullptr)
        problem(std::string("the preset data lacks its \"") + missing + "\" chunk");
    if (!file_.presets.empty() && file_.presets.back().name != "EOP") {
        problem("the preset table has no closing \"EOP\" record; its last preset \"" +
                file_.presets.back().name + "\" is taken as the closing record");
    }
    if (!file_.instruments.empty() && file_.instruments.back().name != "EOI") {
        problem("the instrument table has no closing \"EOI\" record; its last instrument \"" +
                file_.instruments.back().name + "\" is taken as the closing record");
    }
    if (!(havePbag_ && havePgen_ && haveIbag_ && haveIgen_)) return;
    cutZones(file_.presets, presetBags_, presetGens_, presetModBags_, presetMods_, "preset", "pbag",
             "pgen", *this);
    cutZones(file_.instruments, instrumentBags_, instrumentGens_, instrumentModBags_,
             instrumentMods_, "instrument", "ibag", "igen", *this);
}

}  // namespace

Result<SoundFontFile> readSoundFont(InputStream& in) {
    SoundFontFile file;
    Walker walker(in, file);
    Status st = walker.walk();
    if (!st.ok()) return st.error();
    return file;
}

void correctSampleHeaders(SoundFontFile& file) {
    if (file.versionMajor > 1) return;
    for (SampleHeader& h : file.sampleHeaders) {
        h.loopStart += 1;
        h.loopEnd += 2;
    }
}

}  // namespace svt
