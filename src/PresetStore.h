// Named presets in the settings file, and the shipped ones.
#ifndef PRESETSTORE_H
#define PRESETSTORE_H

#include "Placement.h"
#include "RenderRun.h"

#include <wx/arrstr.h>
#include <wx/confbase.h>

// The settings the program offers and how named presets keep them in the
// settings file. Every group and key name, every encoding and every default
// lives here; the window and the command line only map their own controls and
// options to and from a Preset.
//
// File layout, per preset NAME:
//   /Presets/NAME/Watermark Settings:  Start, RepeatEvery (choice indexes),
//                                      WatermarkLevel (whole dB, or LU against the
//                                      music), LevelMode ("recorded", "track" or
//                                      "around"; missing: "recorded"), Duck (dB)
//   /Presets/NAME/ Output Settings:    IsMono, IsAppend, OutputFormat, Bitrate (slider
//                                      position), OutputFolder, PrefixOrSuffix,
//                                      PrefixOrSuffixString   (the leading blank is stored),
//                                      ClipLength (seconds, 0 or missing: the whole
//                                      track), ClipStart, ClipFade (seconds)
//   /Presets/NAME/Watermark Settings/WatermarkFiles: File0, File1, ... (no gaps)

// The protected preset, loaded at start-up.
extern const wxString g_defaultPreset;

// The watermark level's range in whole dB or LU; 0 dB plays the files as recorded.
constexpr int g_minWatermarkLevel = -24;
constexpr int g_maxWatermarkLevel = 6;
// The deepest dip of the music under a copy, in dB.
constexpr int g_maxDuck = 12;

// Entries of the Start After and Repeat Every selectors, positions of the quality slider.
constexpr int g_startChoiceCount = 13;
constexpr int g_repeatChoiceCount = 7;
constexpr int g_qualityPositionCount = 10;
// Seconds before the first watermark for a Start After entry; -1 for an index with no entry.
int StartSecondsForIndex(int index);
// Entries of the Clip selector (the first is the whole track), and the
// longest start and fade the window offers.
constexpr int g_clipChoiceCount = 5;
constexpr int g_maxClipFade = 5;
// Seconds of a Clip entry, 0 for the whole track; -1 for an index with no entry.
int ClipSecondsForIndex(int index);
int IndexForClipSeconds(int seconds);
// Seconds between watermarks for a Repeat Every entry; -1 for an index with no entry.
int RepeatSecondsForIndex(int index);
// MP3 bitrate in kbit/s for a quality slider position; -1 for a position outside the slider.
int BitrateForSliderPosition(int position);
// The entry or position offering a value; -1 when none does.
int IndexForStartSeconds(int seconds);
int IndexForRepeatSeconds(int seconds);
int SliderPositionForBitrate(int kbits);

// One preset's settings, in the units the run uses: the run's own, the
// affix as the window offers it (before or after the name), the watermarks.
struct Preset : WatermarkSettings {
    bool suffix = false; // the affix goes after the name instead of before it
    wxString affix;
    wxArrayString watermarks;
};

// The settings the window opens with and velisto-batch starts from before
// any preset is stored: the first watermark after 5 s, every 5 s, names with
// a suffix, MP3 at 320 kbit/s.
Preset InitialPreset();

// The run's settings for a preset; the merged file's name is left empty.
RenderSettings SettingsFromPreset(const Preset& preset);

// The name a typed preset name is stored under (blanks trimmed at both ends).
// error is empty when the name can be used, else says why not.
wxString CheckPresetName(const wxString& typed, wxString& error);

class PresetStore {
public:
    // presetsFolder is the absolute path of the shipped watermark sounds.
    // Stored values are read back as written: no environment variables expanded.
    PresetStore(wxConfigBase& config, const wxString& presetsFolder);

    // Names of the stored presets, in the file's order.
    wxArrayString Names() const;
    bool Exists(const wxString& name) const;
    // Reads a preset over preset. A stored value that no control offers falls
    // back to its key's default (the slider position, the clip's start and
    // fade are clamped); a missing clip key means the whole track; an unknown
    // output format leaves preset.format as it was. A watermark file that no
    // longer exists but is one of the shipped sounds is taken from the
    // presets folder, and the corrected path is stored. False, with preset
    // untouched, when there is no such preset.
    bool Load(const wxString& name, Preset& preset);
    // Writes the preset whole, replacing any stored one of that name, and
    // flushes the file; false when the file was not written.
    bool Save(const wxString& name, const Preset& preset);
    void Remove(const wxString& name);
    // Adds each shipped preset that is not stored yet.
    void AddShippedPresets();

private:
    wxConfigBase& m_config;
    wxString m_presetsFolder;
};

#endif
