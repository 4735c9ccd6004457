#pragma once
// The file formats the desktop program converts into, in the order its menus and dialogs
// offer them: WAV and MP3 first, then FLAC, Ogg Vorbis and Opus. Each names its output, the
// file format behind it (extension and endings) and the window's texts for it.

#include <span>

#include "app/OutputFormats.h"
#include "desktop/FrontCommands.h"
#include "desktop/WindowTexts.h"

namespace svt {

struct ConversionFormat {
    OutputKind output;
    char formatId;    // the file format's output character (app/OutputFormats.h)
    UiText menuText;  // its entry under "Drag and Drop"
    UiText filter;    // its filter in the "Convert file to..." dialog
    UiText savedAs;   // the message before songs named on the command line are converted
    const OutputFormat& format() const { return *formatOfId(formatId); }
};

std::span<const ConversionFormat> conversionFormats();
// nullptr for the live output.
const ConversionFormat* conversionFormatOf(OutputKind output);

}  // namespace svt
