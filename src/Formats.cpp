// The audio formats the programs read and write: their names, extensions and
// which of them take a bitrate.
#include "Formats.h"

#include <wx/dir.h>
#include <wx/filename.h>

namespace {

struct FormatName {
    OutputFormat format;
    const char* name;
};
const FormatName kFormats[] = {
    {OutputFormat::Mp3, "mp3"},   {OutputFormat::Wav, "wav"}, {OutputFormat::Aiff, "aiff"},
    {OutputFormat::Flac, "flac"}, {OutputFormat::Ogg, "ogg"}, {OutputFormat::Opus, "opus"},
    {OutputFormat::M4a, "m4a"},
};

// What the tracks and watermarks users list may be: SoX reads the most,
// ffmpeg the rest.
const char* const kAudioExtensions[] = {"mp3", "wav", "aif", "aiff", "flac", "ogg",
                                        "oga", "wv",  "m4a", "mp4",  "opus", "wma"};

// Name order as a file browser shows it: case only breaks ties.
int CompareNames(const wxString& a, const wxString& b) {
    const int order = a.CmpNoCase(b);
    return order != 0 ? order : a.Cmp(b);
}

} // namespace

wxString FormatExtension(OutputFormat format) {
    for (const FormatName& known : kFormats) {
        if (known.format == format)
            return known.name;
    }
    return kFormats[0].name;
}

bool FormatNamed(const wxString& name, OutputFormat& format) {
    for (const FormatName& known : kFormats) {
        if (name.IsSameAs(known.name, false)) {
            format = known.format;
            return true;
        }
    }
    return false;
}

wxString FormatNames() {
    wxString names;
    const size_t count = sizeof kFormats / sizeof kFormats[0];
    for (size_t i = 0; i < count; ++i)
        names += (i == 0 ? "" : i + 1 == count ? " or " : ", ") + wxString(kFormats[i].name);
    return names;
}

bool FormatTakesBitrate(OutputFormat format) {
    return format == OutputFormat::Mp3 || format == OutputFormat::Ogg ||
           format == OutputFormat::Opus || format == OutputFormat::M4a;
}

bool IsAudioFileName(const wxString& path) {
    const wxString extension = wxFileName(path).GetExt();
    for (const char* known : kAudioExtensions) {
        if (extension.IsSameAs(known, false))
            return true;
    }
    return false;
}

wxString AudioFileWildcard() {
    wxString patterns;
    for (const char* known : kAudioExtensions)
        patterns += (patterns.empty() ? "*." : ";*.") + wxString(known);
    // GTK matches a filter case-sensitively: upper-case names are listed too.
    const wxString all = patterns + ";" + patterns.Upper();
    return "Audio files (MP3, WAV, AIFF, FLAC, Ogg, WavPack, M4A, Opus, WMA)|" + all;
}

wxArrayString AudioFilesIn(const wxString& folder) {
    wxArrayString files;
    wxDir dir(folder);
    wxString name;
    for (bool more = dir.IsOpened() && dir.GetFirst(&name, wxEmptyString, wxDIR_FILES); more;
         more = dir.GetNext(&name)) {
        if (IsAudioFileName(name))
            files.Add(wxFileName(folder, name).GetFullPath());
    }
    files.Sort(CompareNames);
    return files;
}
