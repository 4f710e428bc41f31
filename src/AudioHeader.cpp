// What SoX tells of an audio file: its header and its measured length.
#include "AudioHeader.h"

#include "SoxCommand.h"

#include <wx/filename.h>

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

const wxString kLengthLabel = "Length (seconds):";

// Formats whose header states the length exactly.
bool HasExactHeader(const wxString& path) {
    const wxString ext = wxFileName(path).GetExt().Lower();
    return ext == "wav" || ext == "aif" || ext == "aiff" || ext == "aifc";
}

} // namespace

AudioHeader ParseHeader(const wxArrayString& lines, const wxString& path) {
    // "Channels       : 2", "Sample Rate    : 44100",
    // "Duration       : 00:03:05.34 = 8173494 samples ~ ...",
    // "Sample Encoding: 16-bit Signed Integer PCM".
    AudioHeader header;
    long long frames = -1, bits = -1;
    for (const wxString& line : lines) {
        const wxString label = line.BeforeFirst(':').Trim();
        const wxString value = line.AfterFirst(':');
        if (label == "Channels")
            header.channels = static_cast<long>(LeadingNumber(value));
        else if (label == "Sample Rate")
            header.rate = static_cast<long>(LeadingNumber(value));
        else if (label == "Duration") {
            const wxString count = value.AfterFirst('=').Trim(false);
            if (count.BeforeFirst(' ').IsNumber() && count.AfterFirst(' ').StartsWith("samples"))
                frames = LeadingNumber(count);
        } else if (label == "Precision") {
            header.bits = static_cast<long>(std::max(0LL, LeadingNumber(value)));
        } else if (label == "Sample Encoding" &&
                   wxString(value).Trim(false).BeforeFirst(' ').EndsWith("-bit"))
            bits = LeadingNumber(value);
    }
    // Trusted only where the format states it exactly and the file is long
    // enough to hold it (a cut-off file claims more than it has).
    header.statedFrames = frames;
    if (HasExactHeader(path) && frames >= 0 && bits > 0 && header.channels > 0 &&
        frames * header.channels * bits / 8 <=
            static_cast<long long>(wxFileName(path).GetSize().GetValue()))
        header.frames = frames;
    return header;
}

bool LengthFromHeader(const AudioHeader& header, int& seconds) {
    // Only an exact count: an estimate (an MP3's without its frame count)
    // may be off by junk before the first frame, and the watermarks'
    // places must not depend on it.
    if (header.frames < 0 || header.rate <= 0)
        return false;
    seconds = static_cast<int>(header.frames / header.rate);
    return true;
}

wxString MeasureCommand(const wxString& path) {
    return "./sox " + QuoteSoxInput(path) + " -n stat";
}

int ParseLength(const wxArrayString& errors) {
    // Warnings may come first: look for the label wherever it stands.
    for (const wxString& line : errors) {
        if (!line.StartsWith(kLengthLabel))
            continue;
        // Whole seconds: the digits before the decimal point, fraction dropped.
        const long long seconds = LeadingNumber(line.Mid(kLengthLabel.length()));
        return seconds < 0 || seconds > INT_MAX ? -1 : static_cast<int>(seconds);
    }
    return -1;
}

double ParseSeconds(const wxArrayString& errors) {
    for (const wxString& line : errors) {
        if (!line.StartsWith(kLengthLabel))
            continue;
        double seconds = -1;
        wxString text = line.Mid(kLengthLabel.length());
        return text.Trim(true).Trim(false).ToCDouble(&seconds) ? seconds : -1;
    }
    return -1;
}

double HeaderSeconds(const AudioHeader& header) {
    const long long frames = header.frames >= 0 ? header.frames : header.statedFrames;
    return frames >= 0 && header.rate > 0 ? static_cast<double>(frames) / header.rate : -1;
}

bool ParseSoundStat(const wxArrayString& errors, long long& samples, double& peak) {
    samples = -1;
    peak = -1;
    for (const wxString& line : errors) {
        double value = 0;
        if (line.StartsWith("Samples read:"))
            samples = LeadingNumber(line.Mid(13));
        else if ((line.StartsWith("Maximum amplitude:") || line.StartsWith("Minimum amplitude:")) &&
                 wxString(line.AfterFirst(':')).Trim(false).ToCDouble(&value))
            peak = std::max(peak, std::fabs(value));
    }
    return samples >= 0 && peak >= 0;
}

wxString SoundStatCommand(const wxString& path, const wxString& effects) {
    return "./sox " + QuoteSoxInput(path) + " -n " + effects + (effects.empty() ? "" : " ") +
           "stat";
}
