#pragma once
// The instruments library: SoundFont reading, instrument construction, banks.
//   Instrument.h          Instrument and SampleRegion: what the player plays (units there)
//   InstrumentSettings.h  engine settings that shape the regions
//   SoundFontFile.h       the file reader (tables only, no sample data)
//   LoadedSoundFont.h     one font's preset index and instrument building
//   CompressedSamples.h   SoundFont 3 sample streams: probing and Vorbis decoding
//   DecodedSampleCache.h  decoded samples kept between songs, up to a limit
//   NoteSet.h             the notes a song plays on an instrument (what to decode)
//   SoundFontRegistry.h   the fonts an engine knows, in search order; default font
//   InstrumentBanks.h     melodic banks and drum sets, marking, loading, freeing
//   Tables.h              shared read-only tables (note frequencies, bends, volume curves)

#include "instruments/CompressedSamples.h"
#include "instruments/DecodedSampleCache.h"
#include "instruments/Instrument.h"
#include "instruments/InstrumentBanks.h"
#include "instruments/InstrumentSettings.h"
#include "instruments/LoadedSoundFont.h"
#include "instruments/NoteSet.h"
#include "instruments/SoundFontFile.h"
#include "instruments/SoundFontRegistry.h"
#include "instruments/Tables.h"
