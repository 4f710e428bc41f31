// SoX's command lines as text (quoting, options, the watermark beds) and
// what SoX prints back (its failures and clipped samples).
#include "SoxCommand.h"

#include "FfmpegCommand.h"
#include "Placement.h"

#include <wx/filename.h>

#include <algorithm>
#include <cmath>

namespace {

// Backslash-escapes every character of text that appears in specials.
wxString Escape(const wxString& text, const wxString& specials) {
    wxString escaped;
    escaped.reserve(text.length());
    for (wxUniChar c : text) {
        if (specials.Find(c) != wxNOT_FOUND)
            escaped += '\\';
        escaped += c;
    }
    return escaped;
}

// SoX ignores how the commands of its pipe inputs end: one killed half-way
// just ends that input early, and the mix still succeeds. Each such command
// reports its own failure on the shared error stream, with what it was for.
const wxString kInputFailed = "velisto-input-failed";

// The reason for a guarded pipe input that failed, or empty.
wxString InputFailure(const wxArrayString& errors) {
    for (const wxString& line : errors) {
        if (!line.StartsWith(kInputFailed + " "))
            continue;
        const wxString role = line.AfterFirst(' ').BeforeFirst(' ');
        const wxString status = line.AfterLast(' ');
        const wxString what = role == "track"       ? "the SoX process decoding the track"
                              : role == "watermark" ? "a SoX process playing the watermark copies"
                              : role == "decoder"   ? "ffmpeg, decoding one of the files,"
                              : role == "render"    ? "the SoX process mixing the track"
                                                    : "a SoX process converting a file to join";
        return what + " ended abnormally (exit status " + status +
               "), so the output would be incomplete.";
    }
    return wxString();
}

// SoX's words when it could not write and does not know why (a full disk).
const wxString kUnknownWriteError = "Unknown error -1";

const wxString kNotWritten = "the output file could not be written.";
const wxString kNothingDecoded = "ffmpeg found no sound in it that it can decode.";

long long Gcd(long long a, long long b) {
    return b == 0 ? a : Gcd(b, a % b);
}

// Ogg Vorbis's quality level whose nominal bitrate (44.1 kHz stereo) is
// nearest to kbits.
int VorbisQuality(int kbits) {
    static const int nominal[] = {64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 500};
    int best = 0;
    for (int q = 1; q < 11; ++q) {
        if (std::abs(nominal[q] - kbits) < std::abs(nominal[best] - kbits))
            best = q;
    }
    return best;
}

} // namespace

// SoX reads "-..." as an option, "|..." as a command to run and
// "http:"/"https:"/"ftp:" names through wget; "./" keeps such a relative
// name a plain file.
wxString PlainFileName(const wxString& path) {
    const wxString lower = path.Lower();
    if (path.StartsWith("-") || path.StartsWith("|") || lower.StartsWith("http:") ||
        lower.StartsWith("https:") || lower.StartsWith("ftp:"))
        return "./" + path;
    return path;
}

// One argument for the command splitter, which takes a backslash as "next
// character literal": only backslashes and double quotes need escaping.
wxString SplitterWord(const wxString& text) {
    return "\"" + Escape(text, "\\\"") + "\"";
}

// One word for /bin/sh, which runs the command of a pipe input; inside double
// quotes $, backtick, " and \ stay special.
wxString ShellWord(const wxString& text) {
    return "\"" + Escape(text, "\\\"$`") + "\"";
}

wxString FailureReport(const wxString& role, const wxString& status) {
    return "echo " + kInputFailed + " " + role + " " + status + " >&2";
}

wxString GuardedInput(const wxString& shellCommand, const wxString& role) {
    return shellCommand + " || " + FailureReport(role);
}

// The digits at the start of text, after blanks ("16-bit" -> 16); -1 when none.
long long LeadingNumber(const wxString& text) {
    const wxString trimmed = wxString(text).Trim(false);
    long long number = -1;
    for (wxUniChar c : trimmed) {
        if (!wxIsdigit(c))
            break;
        number = (number < 0 ? 0 : number * 10) + (c.GetValue() - '0');
    }
    return number;
}

wxString QuoteSoxPath(const wxString& rawPath, bool insidePipe) {
    const wxString path = PlainFileName(rawPath);
    if (!insidePipe)
        return SplitterWord(path);
    // Shell quoting first, then escaped for the splitter: the caller puts it
    // inside a double-quoted pipe argument.
    return Escape(ShellWord(path), "\\\"");
}

wxString ShellInput(const wxString& path, long long frames) {
    if (DecodedByFfmpeg(path))
        return "-t sox " + ShellWord(DecodeInput(path, frames));
    return ShellWord(PlainFileName(path));
}

wxString QuoteSoxInput(const wxString& path, bool insidePipe, long long frames) {
    if (insidePipe)
        return Escape(ShellInput(path, frames), "\\\"");
    return DecodedByFfmpeg(path) ? "-t sox " + SplitterWord(DecodeInput(path, frames))
                                 : QuoteSoxPath(path);
}

wxString SoxFailure(const wxArrayString& errors) {
    // "sox FAIL formats: can't open ...": program, FAIL, module, reason.
    for (const wxString& line : errors) {
        const wxString rest = line.AfterFirst(' ');
        if (!rest.StartsWith("FAIL "))
            continue;
        wxString reason = rest.Mid(5);
        const int colon = reason.Find(": ");
        if (colon != wxNOT_FOUND && reason.Left(colon).Find(' ') == wxNOT_FOUND)
            reason = reason.Mid(colon + 2);
        reason.Trim(true).Trim(false);
        if (reason.empty())
            return "SoX failed.";
        // A pipe input decoding with ffmpeg that gave nothing: ffmpeg found
        // no sound in the file.
        if (reason.Contains("`| ffmpeg "))
            return kNothingDecoded;
        // "can't open input file `x.mp3': " with nothing after it: SoX found
        // no format in it.
        if (reason.EndsWith(":"))
            return reason + " it is not an audio file SoX can read.";
        if (reason.EndsWith(kUnknownWriteError))
            return kNotWritten;
        return reason;
    }
    return wxString();
}

// What a run that failed tells the user: SoX's FAIL reason, else its first
// line that is not a warning, else how it ended. Empty for a run that did not fail.
wxString RunFailure(const SoxOutput& out) {
    if (out.status == -1)
        return "SoX could not be started.";
    wxString failure = SoxFailure(out.errors);
    // SoX fails to write when the encoder it writes to gave up: ffmpeg's
    // words tell why (a full disk).
    const wxString encoder = EncoderFailure(out.errors);
    if (!encoder.empty() && (failure.empty() || failure.Contains("Broken pipe")))
        return encoder;
    // ffmpeg killed before it gave anything: its death is the reason.
    const wxString input = InputFailure(out.errors);
    if (failure.empty() || (failure == kNothingDecoded && !input.empty()))
        failure = input;
    if (!failure.empty() || out.status == 0)
        return failure;
    for (const wxString& line : out.errors)
        if (!line.AfterFirst(' ').StartsWith("WARN ") && !wxString(line).Trim().empty() &&
            !line.StartsWith(kInputFailed))
            return line;
    return wxString::Format("SoX failed with status %ld.", out.status);
}

bool IsUnexplainedWriteFailure(const wxString& reason) {
    return reason == kNotWritten;
}

// The options that set a format's size or quality from the slider's bitrate,
// each followed by a blank; empty for the formats without one.
wxString CompressionOptions(OutputFormat format, int kbits) {
    if (kbits <= 0)
        return wxString();
    if (format == OutputFormat::Mp3)
        return wxString::Format("-C %d ", kbits);
    if (format == OutputFormat::Ogg)
        return wxString::Format("-C %d ", VorbisQuality(kbits));
    return wxString();
}

// The sample size to write a lossless format in, when SoX would not keep the
// source's on its own: samples that came through a pipe arrive as 32 bits,
// and FLAC holds at most 24. Empty when there is nothing to set.
wxString SampleSizeOption(OutputFormat format, long bits, bool piped) {
    const bool lossless =
        format == OutputFormat::Wav || format == OutputFormat::Aiff || format == OutputFormat::Flac;
    if (!lossless || bits <= 0)
        return wxString();
    if (format == OutputFormat::Flac && bits > 24)
        return "-b 24 ";
    return piped ? wxString::Format("-b %ld ", bits) : wxString();
}

// SoX copies what comments it can and adds its own; the tags are written
// afterwards, from the track, so its output carries none.
const char* const kNoComment = "--comment \"\" ";

// Pipe inputs (top-level arguments) that together sound copy k of
// sounds[k mod N] at start + k * interval seconds, k < copies, each
// sample-exact. Each bed is one SoX run: the sounds of one period, each
// followed by silence up to the spacing, repeated, trimmed where its last
// copy ends and preceded by its start. A sound longer than the interval
// would overlap the next copy, so the copies are dealt to as many beds
// (phases) as it takes for every sound to fit its spacing; the mix sums them.
// A bed that would sound past cutAt frames (a clip's end; -1: none) is cut
// there, its last fade frames faded out with the clip's.
namespace {

// The start of a bed's command: SoX reading the cycle's sounds one after
// another into a pipe, each converted to the track's signal.
wxString BedInputs(const std::vector<const BedSound*>& cycle) {
    // -V1: a bed's warnings would only garble the mix's own lines, which
    // share the one error stream.
    wxString bed = "./sox -V1";
    if (cycle.size() == 1) {
        // One sound: converted by this run's own effects.
        bed += " " + ShellInput(cycle[0]->path) + " -p";
        if (!cycle[0]->effects.empty())
            bed += " " + cycle[0]->effects;
        return bed;
    }
    // Concatenated inputs must share one signal: a sound that needs
    // converting comes through a run of its own.
    for (const BedSound* sound : cycle) {
        const wxString file = ShellInput(sound->path);
        bed += " " +
               (sound->effects.empty()
                    ? file
                    : ShellWord("| " + GuardedInput("./sox -V1 " + file + " -p " + sound->effects,
                                                    "watermark")));
    }
    return bed + " -p";
}

// A bed that would sound past cutAt frames (-1: never cut) is cut there,
// faded out with the clip; end is where its last copy ends.
wxString BedCut(long long end, long long cutAt, long long fade) {
    if (cutAt < 0 || end <= cutAt)
        return wxString();
    return fade > 0 ? " fade t 0 " + Samples(cutAt) + " " + Samples(std::min(fade, cutAt))
                    : " trim 0 " + Samples(cutAt);
}

// The guarded bed with its copies at gains of their own: each copy's span
// (spans[j] frames from its start; the last runs on) at its gain, after a
// lead left as it is.
wxString BedWithGains(const wxString& bed, long long lead, const std::vector<long long>& spans,
                      const std::vector<double>& gains) {
    wxString chains = lead > 0 ? "trim 0 " + Samples(lead) : wxString();
    bool differ = false;
    for (size_t j = 0; j < gains.size(); ++j) {
        differ = differ || std::fabs(gains[j] - gains[0]) > 0.005;
        chains += (chains.empty() ? "" : " : ") +
                  (j + 1 < gains.size() ? "trim 0 " + Samples(spans[j]) + " " : wxString()) +
                  "vol " + VolumeFactor(gains[j]);
    }
    if (differ)
        return "{ " + GuardedInput(bed, "watermark") + "; } | " +
               GuardedInput("./sox -V1 -p -p " + chains, "watermark");
    if (!gains.empty() && std::fabs(gains[0]) > 0.005)
        return GuardedInput(bed + " vol " + VolumeFactor(gains[0]), "watermark");
    return GuardedInput(bed, "watermark");
}

} // namespace

wxArrayString WatermarkBeds(const std::vector<BedSound>& sounds, long rate, int start, int interval,
                            size_t copies, long long cutAt, long long fade,
                            const std::vector<double>* gains) {
    wxArrayString beds;
    const long long n = static_cast<long long>(sounds.size());
    const long long slot = static_cast<long long>(interval) * rate;
    long long longest = 0;
    for (const BedSound& sound : sounds)
        longest = std::max(longest, sound.frames);
    const long long phases =
        std::min<long long>(std::max<long long>(1, (longest + slot - 1) / slot), copies);
    const long long spacing = phases * slot;
    for (long long phase = 0; phase < phases; ++phase) {
        const long long count = (static_cast<long long>(copies) - phase + phases - 1) / phases;
        // Copy j of this phase plays sound (phase + j * phases) mod n; that
        // sequence repeats after n / gcd(n, phases) copies.
        const long long cycle = std::min(count, n / Gcd(n, phases));
        auto soundOf = [&](long long j) -> const BedSound& {
            return sounds[WatermarkOfCopy(phase + j * phases, n)];
        };

        const long long period = cycle * spacing;
        const long long length = (count - 1) * spacing + soundOf(count - 1).frames;
        if (length == 0)
            continue; // a single empty sound: nothing to hear
        const long long repeats = (length + period - 1) / period - 1;

        std::vector<const BedSound*> inputs;
        for (long long j = 0; j < cycle; ++j)
            inputs.push_back(&soundOf(j));
        wxString bed = BedInputs(inputs);
        // Silence after each sound up to the spacing, at positions in the
        // sounds' own samples. The last sound's only when the period repeats:
        // otherwise the bed ends with it (and padding that a trim cut off
        // before it began would be reported as not applied).
        wxString pads;
        long long at = 0;
        for (long long j = 0; j < cycle; ++j) {
            at += soundOf(j).frames;
            const wxString gap = " " + Samples(spacing - soundOf(j).frames);
            if (j + 1 < cycle)
                pads += gap + "@" + Samples(at);
            else if (repeats > 0)
                pads += cycle == 1 ? " 0" + gap : gap;
        }
        if (!pads.empty())
            bed += " pad" + pads;
        if (repeats > 0)
            bed += wxString::Format(" repeat %lld trim 0 ", repeats) + Samples(length);
        const long long lead = static_cast<long long>(start) * rate + phase * slot;
        if (lead > 0)
            bed += " pad " + Samples(lead);
        bed += BedCut(lead + length, cutAt, fade);
        // Copies of one bed at gains of their own: each spacing of the bed's
        // sound at its copy's gain, in a run that reads it.
        if (gains && gains->size() >= copies) {
            std::vector<double> own;
            for (long long j = 0; j < count; ++j)
                own.push_back((*gains)[phase + j * phases]);
            beds.Add(SplitterWord(
                "| " + BedWithGains(bed, lead, std::vector<long long>(count, spacing), own)));
        } else {
            beds.Add(SplitterWord("| " + GuardedInput(bed, "watermark")));
        }
    }
    return beds;
}

wxArrayString PlacedBed(const std::vector<BedSound>& sounds, const std::vector<long long>& starts,
                        long long cutAt, long long fade, const std::vector<double>* gains) {
    wxArrayString beds;
    const size_t count = starts.size();
    if (count == 0 || sounds.empty())
        return beds;
    auto soundOf = [&](size_t j) -> const BedSound& {
        return sounds[WatermarkOfCopy(j, sounds.size())];
    };
    // The copies back to back (the list of sounds repeated), then silence
    // inserted before each, at positions in those samples.
    std::vector<const BedSound*> inputs;
    long long perCycle = 0, total = 0;
    for (size_t j = 0; j < count; ++j) {
        if (j < sounds.size()) {
            inputs.push_back(&soundOf(j));
            perCycle += soundOf(j).frames;
        }
        total += soundOf(j).frames;
    }
    if (total == 0)
        return beds;
    wxString bed = BedInputs(inputs);
    if (total > perCycle)
        bed += wxString::Format(" repeat %lld trim 0 ", (total + perCycle - 1) / perCycle - 1) +
               Samples(total);
    wxString pads;
    long long at = 0, end = 0;
    std::vector<long long> spans;
    for (size_t j = 0; j < count; ++j) {
        const long long gap = starts[j] - end;
        if (gap > 0)
            pads += " " + Samples(gap) + "@" + Samples(at);
        at += soundOf(j).frames;
        end = std::max(end, starts[j]) + soundOf(j).frames;
        if (j + 1 < count)
            spans.push_back(starts[j + 1] - starts[j]);
    }
    if (!pads.empty())
        bed += " pad" + pads;
    bed += BedCut(end, cutAt, fade);
    if (gains && gains->size() >= count)
        beds.Add(SplitterWord(
            "| " + BedWithGains(bed, starts[0], spans,
                                std::vector<double>(gains->begin(), gains->begin() + count))));
    else
        beds.Add(SplitterWord("| " + GuardedInput(bed, "watermark")));
    return beds;
}

long long SoxClippedSamples(const wxArrayString& errors) {
    // SoX's own stages: "sox WARN sox: mix-combining clipped 120 samples;
    // decrease volume?", and "`NAME' balancing clipped ..." (an input's -v),
    // "`NAME' output clipped ...", "`NAME' input clipped ...". NAME may hold
    // anything, so the count is read after the last " clipped ".
    const wxString module = "WARN sox: ";
    long long largest = 0;
    for (const wxString& line : errors) {
        const wxString rest = line.AfterFirst(' ');
        const size_t at = rest.rfind(" clipped ");
        if (!rest.StartsWith(module) || at == wxString::npos)
            continue;
        const wxString stage = rest.Mid(module.length(), at - module.length());
        if (stage != "mix-combining" && !stage.EndsWith("' balancing") &&
            !stage.EndsWith("' output") && !stage.EndsWith("' input"))
            continue;
        const wxString count = rest.Mid(at + 9);
        const long long samples = LeadingNumber(count);
        if (samples > 0 && count.AfterFirst(' ').StartsWith("samples"))
            largest = std::max(largest, samples);
    }
    return largest;
}

wxString Samples(long long count) {
    return wxString::Format("%llds", count);
}

wxString VolumeFactor(double dB) {
    return wxString::FromCDouble(std::pow(10.0, dB / 20.0), 6);
}
