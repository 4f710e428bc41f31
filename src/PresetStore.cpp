// Named presets in the settings file, and the shipped ones.
#include "PresetStore.h"

#include "Placement.h"
#include "SettingsFile.h"
#include "SoxHandler.h"

#include <wx/filefn.h>
#include <wx/filename.h>
#include <wx/utils.h>

const wxString g_defaultPreset = "Default Preset";

namespace {

const int kStartSeconds[g_startChoiceCount] = {0, 1, 2, 3, 4, 5, 10, 15, 20, 25, 30, 35, 40};
// New intervals are appended: stored indexes keep their meaning.
const int kRepeatSeconds[g_repeatChoiceCount] = {5, 10, 15, 20, 30, 45, 60};
const int kClipSeconds[g_clipChoiceCount] = {0, 30, 45, 60, 90};
const int kBitrates[g_qualityPositionCount] = {64, 80, 96, 112, 128, 160, 192, 224, 256, 320};

const wxString kWatermarkGroup = "/Watermark Settings";
// The leading blank is part of the stored format.
const wxString kOutputGroup = "/ Output Settings";
const wxString kFilesGroup = "/Watermark Settings/WatermarkFiles";

// The presets that come with the program, each with one of its sounds.
struct ShippedPreset {
    const char* name;
    const char* sound;
};
const ShippedPreset kShippedPresets[] = {
    {"Market-Tag", "Market Tag Watermark.mp3"},
    {"Beep #1", "Beep Sound 1.mp3"},
    {"Beep #2", "Beep Sound 2.mp3"},
    {"Lo-Fi Preview", "Low-Fi Preview.mp3"},
    {"Sine+Delay", "Sine+Delay.mp3"},
    {"This Is A PF", "This Is A PF.mp3"},
    {"Whispering", "Whispering.mp3"},
    {"Alex(Mac) Preview", "Alex(Mac) Preview File.mp3"},
};

// Defaults of keys that are missing or hold an index no control has.
const long kDefaultStartIndex = 0;
const long kDefaultRepeatIndex = 1;
const long kDefaultSliderPosition = g_qualityPositionCount - 1;
const long kDefaultAffixIndex = 0;

// The output format is stored by name. Files written by earlier versions hold
// the identifiers of the format buttons instead; those still load.
struct LegacyFormatCode {
    long code;
    OutputFormat format;
};
const LegacyFormatCode kLegacyFormatCodes[] = {
    {1001, OutputFormat::Mp3},
    {1002, OutputFormat::Wav},
    {1003, OutputFormat::Aiff},
};

int Lookup(const int* table, int count, int index) {
    return index >= 0 && index < count ? table[index] : -1;
}

int IndexOf(const int* table, int count, int value) {
    for (int i = 0; i < count; ++i) {
        if (table[i] == value)
            return i;
    }
    return -1;
}

bool IsShippedSound(const wxString& fileName) {
    for (const ShippedPreset& shipped : kShippedPresets) {
        if (fileName == shipped.sound)
            return true;
    }
    return false;
}

wxString Group(const wxString& name) {
    return g_presetsGroup + "/" + name;
}

// A stored index that no entry has falls back to the key's default.
long IndexOrDefault(long value, int count, long fallback) {
    return value >= 0 && value < count ? value : fallback;
}

} // namespace

int StartSecondsForIndex(int index) {
    return Lookup(kStartSeconds, g_startChoiceCount, index);
}

int RepeatSecondsForIndex(int index) {
    return Lookup(kRepeatSeconds, g_repeatChoiceCount, index);
}

int ClipSecondsForIndex(int index) {
    return Lookup(kClipSeconds, g_clipChoiceCount, index);
}

int IndexForClipSeconds(int seconds) {
    return IndexOf(kClipSeconds, g_clipChoiceCount, seconds);
}

int BitrateForSliderPosition(int position) {
    return Lookup(kBitrates, g_qualityPositionCount, position);
}

int IndexForStartSeconds(int seconds) {
    return IndexOf(kStartSeconds, g_startChoiceCount, seconds);
}

int IndexForRepeatSeconds(int seconds) {
    return IndexOf(kRepeatSeconds, g_repeatChoiceCount, seconds);
}

int SliderPositionForBitrate(int kbits) {
    return IndexOf(kBitrates, g_qualityPositionCount, kbits);
}

namespace {

// The level a fresh start and the shipped presets give: a little below the
// music where each copy lands, over a small dip, so every tag stands out
// alike on a quiet ballad and a loud master without covering either.
void SetShippedLevel(Preset& preset) {
    preset.levelMode = LevelMode::AgainstMusicThere;
    preset.level = -6;
    preset.duck = 3;
}

} // namespace

Preset InitialPreset() {
    Preset preset;
    SetShippedLevel(preset);
    preset.start = 5;
    preset.interval = 5;
    preset.suffix = true;
    return preset;
}

RenderSettings SettingsFromPreset(const Preset& preset) {
    RenderSettings settings;
    static_cast<WatermarkSettings&>(settings) = preset;
    (preset.suffix ? settings.suffix : settings.prefix) = preset.affix;
    return settings;
}

wxString CheckPresetName(const wxString& typed, wxString& error) {
    wxString name = typed;
    name.Trim(true).Trim(false);
    error.clear();
    if (name.empty())
        error = "Please type a name for the preset.";
    else if (name.Find('/') != wxNOT_FOUND)
        error = "A preset name cannot contain \"/\".";
    else if (name == "." || name == "..")
        // The settings file would take them for folders of its own.
        error = "A preset cannot be named \".\" or \"..\".";
    return name;
}

PresetStore::PresetStore(wxConfigBase& config, const wxString& presetsFolder)
    : m_config(config), m_presetsFolder(presetsFolder) {
    // A stored "$HOME" or "${X}" in a file name must come back as written.
    m_config.SetExpandEnvVars(false);
}

wxArrayString PresetStore::Names() const {
    wxArrayString names;
    const wxString oldPath = m_config.GetPath();
    m_config.SetPath(g_presetsGroup);
    wxString name;
    long cookie;
    for (bool more = m_config.GetFirstGroup(name, cookie); more;
         more = m_config.GetNextGroup(name, cookie))
        names.Add(name);
    m_config.SetPath(oldPath);
    return names;
}

bool PresetStore::Exists(const wxString& name) const {
    // A preset is there when its watermark settings are.
    return m_config.HasGroup(Group(name) + kWatermarkGroup);
}

bool PresetStore::Load(const wxString& name, Preset& preset) {
    if (!Exists(name))
        return false;
    const wxString group = Group(name);
    const wxString watermark = group + kWatermarkGroup + "/";
    const wxString output = group + kOutputGroup + "/";

    preset.start =
        StartSecondsForIndex(IndexOrDefault(m_config.Read(watermark + "Start", kDefaultStartIndex),
                                            g_startChoiceCount, kDefaultStartIndex));
    preset.interval = RepeatSecondsForIndex(
        IndexOrDefault(m_config.Read(watermark + "RepeatEvery", kDefaultRepeatIndex),
                       g_repeatChoiceCount, kDefaultRepeatIndex));
    // Presets from before the level existed play the files as recorded.
    preset.level = static_cast<int>(wxClip(m_config.Read(watermark + "WatermarkLevel", 0L),
                                           static_cast<long>(g_minWatermarkLevel),
                                           static_cast<long>(g_maxWatermarkLevel)));
    if (!LevelModeNamed(m_config.Read(watermark + "LevelMode", wxString()), preset.levelMode))
        preset.levelMode = LevelMode::AsRecorded;
    preset.duck =
        static_cast<int>(wxClip(m_config.Read(watermark + "Duck", 0L), 0L, long{g_maxDuck}));
    preset.vary =
        static_cast<int>(wxClip(m_config.Read(watermark + "VaryBy", 0L), 0L, long{g_maxVary}));
    // Written as text: a long may not hold every seed.
    unsigned long long seed = 0;
    if (m_config.Read(watermark + "Seed", wxString()).ToULongLong(&seed) && seed <= UINT32_MAX)
        preset.seed = static_cast<uint32_t>(seed);
    else
        preset.seed = Preset().seed;

    preset.mono = m_config.Read(output + "IsMono", 0L) != 0;
    preset.merge = m_config.Read(output + "IsAppend", 0L) != 0;
    const wxString format = m_config.Read(output + "OutputFormat", "mp3");
    long code = 0;
    if (!format.ToLong(&code)) {
        FormatNamed(format, preset.format);
    } else {
        for (const LegacyFormatCode& legacy : kLegacyFormatCodes) {
            if (code == legacy.code)
                preset.format = legacy.format;
        }
    }
    const long position = m_config.Read(output + "Bitrate", kDefaultSliderPosition);
    preset.bitrate = BitrateForSliderPosition(
        static_cast<int>(wxClip(position, 0L, static_cast<long>(g_qualityPositionCount - 1))));
    preset.folder = m_config.Read(output + "OutputFolder", wxString());
    preset.suffix = IndexOrDefault(m_config.Read(output + "PrefixOrSuffix", kDefaultAffixIndex), 2,
                                   kDefaultAffixIndex) == 1;
    preset.affix = m_config.Read(output + "PrefixOrSuffixString", wxString());
    const long clip = m_config.Read(output + "ClipLength", 0L);
    preset.clipLength =
        IndexForClipSeconds(static_cast<int>(clip)) < 0 ? 0 : static_cast<int>(clip);
    preset.clipStart =
        static_cast<int>(wxClip(m_config.Read(output + "ClipStart", 0L), 0L, long{g_maxClipStart}));
    preset.clipFade = static_cast<int>(wxClip(
        m_config.Read(output + "ClipFade", long{Preset().clipFade}), 0L, long{g_maxClipFade}));

    preset.watermarks.Clear();
    const wxString files = group + kFilesGroup + "/";
    for (int i = 0;; ++i) {
        const wxString key = files + wxString::Format("File%d", i);
        if (!m_config.HasEntry(key))
            break;
        wxString path = m_config.Read(key, wxString());
        // The program may have moved since the preset was stored.
        const wxString fileName = wxFileName(path).GetFullName();
        const wxString shipped = wxFileName(m_presetsFolder, fileName).GetFullPath();
        if (!wxFileExists(path) && IsShippedSound(fileName) && wxFileExists(shipped)) {
            path = shipped;
            m_config.Write(key, path);
            m_config.Flush(false);
        }
        preset.watermarks.Add(path);
    }
    return true;
}

void PresetStore::AddShippedPresets() {
    for (const ShippedPreset& shipped : kShippedPresets) {
        if (Exists(shipped.name))
            continue;
        Preset preset;
        SetShippedLevel(preset);
        preset.start = 5;
        preset.suffix = true;
        preset.watermarks.Add(wxFileName(m_presetsFolder, shipped.sound).GetFullPath());
        Save(shipped.name, preset);
    }
}

bool PresetStore::Save(const wxString& name, const Preset& preset) {
    // Replaced whole, so no watermark entries of an older preset survive.
    Remove(name);
    const wxString group = Group(name);
    const wxString watermark = group + kWatermarkGroup + "/";
    const wxString output = group + kOutputGroup + "/";

    m_config.Write(watermark + "Start", wxString::Format("%d", IndexForStartSeconds(preset.start)));
    m_config.Write(watermark + "RepeatEvery",
                   wxString::Format("%d", IndexForRepeatSeconds(preset.interval)));
    m_config.Write(watermark + "WatermarkLevel", static_cast<long>(preset.level));
    m_config.Write(watermark + "LevelMode", LevelModeName(preset.levelMode));
    m_config.Write(watermark + "Duck", static_cast<long>(preset.duck));
    m_config.Write(watermark + "VaryBy", static_cast<long>(preset.vary));
    m_config.Write(watermark + "Seed", wxString::Format("%u", preset.seed));

    m_config.Write(output + "IsMono", preset.mono);
    m_config.Write(output + "IsAppend", preset.merge);
    m_config.Write(output + "OutputFormat", FormatExtension(preset.format));
    m_config.Write(output + "Bitrate", static_cast<long>(SliderPositionForBitrate(preset.bitrate)));
    m_config.Write(output + "OutputFolder", preset.folder);
    m_config.Write(output + "PrefixOrSuffix", preset.suffix ? 1L : 0L);
    m_config.Write(output + "PrefixOrSuffixString", preset.affix);
    m_config.Write(output + "ClipLength", static_cast<long>(preset.clipLength));
    m_config.Write(output + "ClipStart", static_cast<long>(preset.clipStart));
    m_config.Write(output + "ClipFade", static_cast<long>(preset.clipFade));

    // The group exists even with no watermark file, as it always has.
    const wxString files = group + kFilesGroup;
    m_config.SetPath(files);
    m_config.SetPath("/");
    for (size_t i = 0; i < preset.watermarks.size(); ++i)
        m_config.Write(files + wxString::Format("/File%zu", i), preset.watermarks[i]);
    return m_config.Flush(false);
}

void PresetStore::Remove(const wxString& name) {
    m_config.DeleteGroup(Group(name));
}
