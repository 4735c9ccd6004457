#pragma once
// The instruments library: SoundFont reading, instrument construction, banks.
//   Instrument.h          Instrument and SampleRegion: what the player plays (units there)
//   InstrumentSettings.h  engine settings that shape the regions
//   SoundFontFile.h       the file reader (tables only, no sample data)
//   LoadedSoundFont.h     one font's preset index and instrument building
//   SoundFontRegistry.h   the fonts an engine knows, in search order; default font
//   InstrumentBanks.h     melodic banks and drum sets, marking, loading, freeing
//   Tables.h              shared read-only tables (note frequencies, bends, volume curves)

#include "instruments/Instrument.h"
#include "instruments/InstrumentBanks.h"
#include "instruments/InstrumentSettings.h"
#include "instruments/LoadedSoundFont.h"
#include "instruments/SoundFontFile.h"
#include "instruments/SoundFontRegistry.h"
#include "instruments/Tables.h"
