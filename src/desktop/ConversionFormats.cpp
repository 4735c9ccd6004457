#include "desktop/ConversionFormats.h"

namespace svt {
namespace {

constexpr ConversionFormat kFormats[] = {
    {OutputKind::WavFile, 'w', UiText::Wave, UiText::WaveFileFilter, UiText::SavedAsWave},
    {OutputKind::Mp3File, 'g', UiText::Mp3, UiText::Mp3FileFilter, UiText::SavedAsMp3},
    {OutputKind::FlacFile, 'f', UiText::Flac, UiText::FlacFileFilter, UiText::SavedAsFlac},
    {OutputKind::VorbisFile, 'v', UiText::OggVorbis, UiText::OggFileFilter, UiText::SavedAsOgg},
    {OutputKind::OpusFile, 'o', UiText::Opus, UiText::OpusFileFilter, UiText::SavedAsOpus},
};

}  // namespace

std::span<const ConversionFormat> conversionFormats() {
    return kFormats;
}

const ConversionFormat* conversionFormatOf(OutputKind output) {
    for (const ConversionFormat& f : kFormats)
        if (f.output == output) return &f;
    return nullptr;
}

}  // namespace svt
