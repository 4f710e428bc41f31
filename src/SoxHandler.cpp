#include "SoxHandler.h"

#include "TagCopy.h"

#include <wx/app.h>
#include <wx/apptrait.h>
#include <wx/evtloop.h>
#include <wx/filename.h>
#include <wx/log.h>
#include <wx/process.h>
#include <wx/thread.h>
#include <wx/timer.h>
#include <wx/utils.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <sys/stat.h>
#include <sys/statvfs.h>

const wxString g_resourceFolder = "Velisto.app/Contents/Resources/";
const size_t g_maxNameBytes = 255;

std::function<void(const wxString&)> CSoxHandler::s_commandObserver;

namespace {

const wxString kLengthLabel = "Length (seconds):";
// How far a stated length may be from the decoded one, in seconds.
const double kEstimateMargin = 0.1;
// Starts tried while no process is free and none of ours runs to free one.
const int kStartTries = 12;

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

// SoX ignores how the commands of its pipe inputs end: one killed half-way
// just ends that input early, and the mix still succeeds. Each such command
// reports its own failure on the shared error stream, with what it was for.
const wxString kInputFailed = "velisto-input-failed";
wxString GuardedInput(const wxString& shellCommand, const wxString& role) {
    return shellCommand + " || echo " + kInputFailed + " " + role + " $? >&2";
}

// The reason for a guarded pipe input that failed, or empty.
wxString InputFailure(const wxArrayString& errors) {
    for (const wxString& line : errors) {
        if (!line.StartsWith(kInputFailed + " "))
            continue;
        const wxString role = line.AfterFirst(' ').BeforeFirst(' ');
        const wxString status = line.AfterLast(' ');
        const wxString what = role == "track"       ? "the SoX process decoding the track"
                              : role == "watermark" ? "a SoX process playing the watermark copies"
                                                    : "a SoX process converting a file to join";
        return what + " ended abnormally (exit status " + status +
               "), so the output would be incomplete.";
    }
    return wxString();
}

// SoX's words when it could not write and does not know why (a full disk).
const wxString kUnknownWriteError = "Unknown error -1";
const wxString kNotWritten = "the output file could not be written.";

} // namespace

bool IsNameTooLong(const wxString& name) {
    return std::strlen(name.fn_str()) > g_maxNameBytes;
}

wxString QuoteSoxPath(const wxString& rawPath, bool insidePipe) {
    const wxString path = PlainFileName(rawPath);
    if (!insidePipe)
        return SplitterWord(path);
    // Shell quoting first, then escaped for the splitter: the caller puts it
    // inside a double-quoted pipe argument.
    return Escape(ShellWord(path), "\\\"");
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

wxString ClockText(int seconds) {
    return wxString::Format("%d:%02d", seconds / 60, seconds % 60);
}

std::vector<int> WatermarkPositions(int length, int start, int interval) {
    std::vector<int> positions;
    if (interval <= 0 || start < 0)
        return positions;
    for (long long at = start; at <= static_cast<long long>(length) - 1; at += interval)
        positions.push_back(static_cast<int>(at));
    return positions;
}

int ClipFrom(int length, int clipLength, int clipStart) {
    // length drops the fraction: the track holds at least that much.
    if (clipLength <= 0 || length < clipLength)
        return -1;
    return std::min(std::max(clipStart, 0), length - clipLength);
}

wxString WatermarkOutputPath(const wxString& track, const wxString& folder, const wxString& prefix,
                             const wxString& suffix, const wxString& format) {
    wxFileName name(track);
    name.SetPath(folder);
    name.SetName(prefix + name.GetName() + suffix);
    name.SetExt(format.Lower());
    return name.GetFullPath();
}

wxString MergedOutputPath(const wxString& folder, const wxString& name, const wxString& format) {
    wxFileName path(folder, name);
    path.SetExt(format.Lower());
    return path.GetFullPath();
}

bool IsUsableMergeName(const wxString& name) {
    const wxString trimmed = wxString(name).Trim(true).Trim(false);
    // A leading dot would hide the file from the user.
    if (trimmed.empty() || trimmed.StartsWith("."))
        return false;
    if (name.find_first_of(wxFileName::GetPathSeparators()) != wxString::npos)
        return false;
    return !wxFileName(name).GetName().empty();
}

FileStamp StampOf(const wxString& path) {
    FileStamp stamp;
    struct stat st;
    if (::stat(path.fn_str(), &st) != 0)
        return stamp;
    stamp.exists = true;
    stamp.device = st.st_dev;
    stamp.inode = st.st_ino;
    stamp.size = st.st_size;
    stamp.modified = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    return stamp;
}

namespace {

bool IsUtf8(const wxCharBuffer& bytes) {
    return bytes.data() && wxConvUTF8.ToWChar(nullptr, 0, bytes.data()) != wxCONV_FAILED;
}

// What a file that is not regular is, as a line names it.
wxString FileKind(mode_t mode) {
    if (S_ISFIFO(mode))
        return "a FIFO";
    if (S_ISDIR(mode))
        return "a folder";
    if (S_ISCHR(mode))
        return "a character device";
    if (S_ISBLK(mode))
        return "a block device";
    if (S_ISSOCK(mode))
        return "a socket";
    return "not a file";
}

} // namespace

wxString DisplayName(const wxString& path) {
    const wxString name = wxFileName(path).GetFullName();
    const wxCharBuffer bytes = name.fn_str();
    if (!bytes.data())
        return name;
    // Each UTF-8 sequence as it is, every other byte as \xHH; control
    // characters escaped too, so that the name stays on its line.
    const std::string raw(bytes.data());
    wxString shown;
    for (size_t at = 0; at < raw.size();) {
        const unsigned char lead = raw[at];
        if (lead < 0x20 || lead == 0x7f) {
            shown += lead == '\n'   ? wxString("\\n")
                     : lead == '\t' ? wxString("\\t")
                                    : wxString::Format("\\x%02x", lead);
            ++at;
            continue;
        }
        const size_t length = lead < 0x80                    ? 1
                              : lead >= 0xc2 && lead <= 0xdf ? 2
                              : lead >= 0xe0 && lead <= 0xef ? 3
                              : lead >= 0xf0 && lead <= 0xf4 ? 4
                                                             : 0;
        const wxString sequence = length && at + length <= raw.size()
                                      ? wxString::FromUTF8(raw.data() + at, length)
                                      : wxString();
        if (!sequence.empty()) {
            shown += sequence;
            at += length;
        } else {
            shown += wxString::Format("\\x%02x", lead);
            ++at;
        }
    }
    return shown;
}

namespace {

// UnreadableFileLine's line without the name.
wxString UnreadableReason(const wxString& path) {
    if (!IsUtf8(wxFileName(path).GetFullName().fn_str()))
        return "Not processed: its name is not valid UTF-8; rename the file.";
    const wxCharBuffer bytes = path.fn_str();
    if (!IsUtf8(bytes))
        return "Not processed: the name of its folder is not valid UTF-8; rename the folder.";
    struct stat st;
    if (::stat(bytes.data(), &st) != 0 || S_ISREG(st.st_mode))
        return wxString();
    return "Not processed: it is not a regular file (" + FileKind(st.st_mode) + ").";
}

} // namespace

wxString UnreadableFileLine(const wxString& path) {
    const wxString reason = UnreadableReason(path);
    return reason.empty() ? wxString() : DisplayName(path) + ": " + reason;
}

bool FileStamp::operator==(const FileStamp& other) const {
    return exists == other.exists && device == other.device && inode == other.inode &&
           size == other.size && modified == other.modified;
}

wxString FileIdentity(const wxString& path) {
    const FileStamp stamp = StampOf(path);
    if (stamp.exists)
        return wxString::Format("file %llu:%llu", stamp.device, stamp.inode);
    wxFileName name(path);
    name.Normalize(wxPATH_NORM_DOTS | wxPATH_NORM_ABSOLUTE);
    return "path " + name.GetFullPath();
}

wxString ForeignOutputText(const wxString& path) {
    return DisplayName(path) +
           " already exists and was not written by this program. Move or rename it, or choose "
           "another output folder, prefix or suffix, and run again.";
}

bool IsSameFile(const wxString& a, const wxString& b) {
    return FileIdentity(a) == FileIdentity(b);
}

namespace {

// Formats whose header states the length exactly.
bool HasExactHeader(const wxString& path) {
    const wxString ext = wxFileName(path).GetExt().Lower();
    return ext == "wav" || ext == "aif" || ext == "aiff" || ext == "aifc";
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

// What a run that failed tells the user: SoX's FAIL reason, else its first
// line that is not a warning, else how it ended. Empty for a run that did not fail.
wxString RunFailure(const SoxOutput& out) {
    if (out.status == -1)
        return "SoX could not be started.";
    wxString failure = SoxFailure(out.errors);
    if (failure.empty())
        failure = InputFailure(out.errors);
    if (!failure.empty() || out.status == 0)
        return failure;
    for (const wxString& line : out.errors)
        if (!line.AfterFirst(' ').StartsWith("WARN ") && !wxString(line).Trim().empty() &&
            !line.StartsWith(kInputFailed))
            return line;
    return wxString::Format("SoX failed with status %ld.", out.status);
}

// A watermark whose loudest sample is below -60 dBFS cannot be heard over music.
const double kAudiblePeak = 0.001;
const wxString kSilent = "silent or nearly silent (its loudest sample is below -60 dBFS): "
                         "choose a watermark sound that can be heard.";

long long Gcd(long long a, long long b) {
    return b == 0 ? a : Gcd(b, a % b);
}

wxString Samples(long long count) {
    return wxString::Format("%llds", count);
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

// The options that set a format's size or quality from the slider's bitrate,
// each followed by a blank; empty for the formats without one.
wxString CompressionOptions(const wxString& format, int kbits) {
    if (kbits <= 0)
        return wxString();
    if (format == "mp3")
        return wxString::Format("-C %d ", kbits);
    if (format == "ogg")
        return wxString::Format("-C %d ", VorbisQuality(kbits));
    return wxString();
}

// The sample size to write a lossless format in, when SoX would not keep the
// source's on its own: samples that came through a pipe arrive as 32 bits,
// and FLAC holds at most 24. Empty when there is nothing to set.
wxString SampleSizeOption(const wxString& format, long bits, bool piped) {
    const bool lossless = format == "wav" || format == "aiff" || format == "flac";
    if (!lossless || bits <= 0)
        return wxString();
    if (format == "flac" && bits > 24)
        return "-b 24 ";
    return piped ? wxString::Format("-b %ld ", bits) : wxString();
}

// SoX copies what comments it can and adds its own; the tags are written
// afterwards, from the track, so its output carries none.
const char* const kNoComment = "--comment \"\" ";

// A watermark file as the beds use it.
struct BedSound {
    wxString path;
    wxString effects; // converting it to the track's signal, or empty
    long long frames; // its length once converted
};

// Pipe inputs (top-level arguments) that together sound copy k of
// sounds[k mod N] at start + k * interval seconds, k < copies, each
// sample-exact. Each bed is one SoX run: the sounds of one period, each
// followed by silence up to the spacing, repeated, trimmed where its last
// copy ends and preceded by its start. A sound longer than the interval
// would overlap the next copy, so the copies are dealt to as many beds
// (phases) as it takes for every sound to fit its spacing; the mix sums them.
// A bed that would sound past cutAt frames (a clip's end; -1: none) is cut
// there, its last fade frames faded out with the clip's.
wxArrayString WatermarkBeds(const std::vector<BedSound>& sounds, long rate, int start, int interval,
                            size_t copies, long long cutAt = -1, long long fade = 0) {
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
            return sounds[(phase + j * phases) % n];
        };

        const long long period = cycle * spacing;
        const long long length = (count - 1) * spacing + soundOf(count - 1).frames;
        if (length == 0)
            continue; // a single empty sound: nothing to hear
        const long long repeats = (length + period - 1) / period - 1;

        // -V1: a bed's warnings would only garble the mix's own lines, which
        // share the one error stream.
        wxString bed = "./sox -V1";
        wxString effects;
        if (cycle == 1) {
            // One sound: converted by this run's own effects.
            bed += " " + ShellWord(PlainFileName(soundOf(0).path));
            effects = soundOf(0).effects;
        } else {
            // Concatenated inputs must share one signal: a sound that needs
            // converting comes through a run of its own.
            for (long long j = 0; j < cycle; ++j) {
                const BedSound& sound = soundOf(j);
                const wxString file = ShellWord(PlainFileName(sound.path));
                bed += " " + (sound.effects.empty()
                                  ? file
                                  : ShellWord("| " + GuardedInput("./sox -V1 " + file + " -p " +
                                                                      sound.effects,
                                                                  "watermark")));
            }
        }
        bed += " -p";
        if (!effects.empty())
            bed += " " + effects;
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
        if (cutAt >= 0 && lead + length > cutAt) {
            bed += fade > 0 ? " fade t 0 " + Samples(cutAt) + " " + Samples(std::min(fade, cutAt))
                            : " trim 0 " + Samples(cutAt);
        }
        beds.Add(SplitterWord("| " + GuardedInput(bed, "watermark")));
    }
    return beds;
}

} // namespace

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

wxString VolumeFactor(int dB) {
    return wxString::FromCDouble(std::pow(10.0, dB / 20.0), 6);
}

CSoxHandler::CSoxHandler()
    : m_operation(static_cast<SOX_FLAGS>(0)), m_resultLong(0), m_startTime(0),
      m_waterMarkInterval(0), m_bitrate(0), m_mono(false) {
}

CSoxHandler::~CSoxHandler() = default;

SoxOutput CSoxHandler::Execute(const wxString& command) {
    SoxOutput result;
    bool ended = false;
    const auto done = [&](const SoxOutput& out) {
        result = out;
        ended = true;
    };
    int error = 0;
    for (int tries = 0; !SoxQueue::Start(command, done, false, &error);) {
        if (error != EAGAIN || tries == kStartTries)
            return result; // status -1: could not be started
        if (!SoxQueue::PauseForProcesses(tries))
            ++tries;
    }
    SoxQueue::WaitUntil([&] { return ended; });
    return result;
}

CSoxHandler::Header CSoxHandler::ParseHeader(const wxArrayString& lines, const wxString& path) {
    // "Channels       : 2", "Sample Rate    : 44100",
    // "Duration       : 00:03:05.34 = 8173494 samples ~ ...",
    // "Sample Encoding: 16-bit Signed Integer PCM".
    Header header;
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

bool CSoxHandler::CachedHeader(const wxString& path, Header& header) const {
    const auto known = m_cache->headers.find(path);
    if (known == m_cache->headers.end() || known->second.stamp != StampOf(path))
        return false;
    header = known->second.header;
    return true;
}

bool CSoxHandler::ReadHeader(const wxString& path, Header& header, wxString& failure) {
    failure.clear();
    if (CachedHeader(path, header))
        return true;
    failure = UnreadableReason(path);
    if (!failure.empty())
        return false;
    const FileStamp stamp = StampOf(path);
    const SoxOutput info = Execute("./sox --i " + QuoteSoxPath(path));
    failure = RunFailure(info);
    if (!failure.empty())
        return false;
    header = ParseHeader(info.output, path);
    m_cache->headers[path] = {header, stamp};
    return true;
}

bool CSoxHandler::BeginReadHeaders(const wxArrayString& paths, wxString& command) {
    m_errors.Clear();
    m_headerPaths.Clear();
    m_headerStamps.clear();
    Header known;
    command = "./sox --i";
    for (const wxString& path : paths) {
        // SoX would wait for ever on a FIFO: such files are refused unread.
        if (CachedHeader(path, known) || !UnreadableReason(path).empty())
            continue;
        m_headerPaths.Add(path);
        m_headerStamps.push_back(StampOf(path));
        command += " " + QuoteSoxPath(path);
    }
    return !m_headerPaths.empty();
}

void CSoxHandler::EndReadHeaders(const SoxOutput& out) {
    // One block per file that SoX could read, in the order given, each
    // opening with "Input File     : 'NAME'"; the others are left for a read
    // of their own, which tells their reason.
    size_t next = 0;
    wxArrayString block;
    wxString name;
    auto store = [&] {
        for (size_t i = next; !name.empty() && i < m_headerPaths.size(); ++i) {
            if (PlainFileName(m_headerPaths[i]) == name) {
                m_cache->headers[m_headerPaths[i]] = {ParseHeader(block, m_headerPaths[i]),
                                                      m_headerStamps[i]};
                next = i + 1;
                break;
            }
        }
        block.Clear();
    };
    for (const wxString& line : out.output) {
        if (line.BeforeFirst(':').Trim() == "Input File") {
            store();
            const wxString value = line.AfterFirst(':').Trim(false);
            name = value.StartsWith("'") && value.EndsWith("'") && value.length() >= 2
                       ? value.Mid(1, value.length() - 2)
                       : wxString();
        } else {
            block.Add(line);
        }
    }
    store();
}

bool CSoxHandler::LengthFromHeader(const Header& header, int& seconds) {
    if (header.frames >= 0 && header.rate > 0) {
        seconds = static_cast<int>(header.frames / header.rate);
        return true;
    }
    // Other formats state an estimate at best, off by an encoder's delay and
    // padding (a frame or two of MP3). Away from a whole second that cannot
    // change the whole seconds; near one, only decoding the file tells.
    if (header.statedFrames >= 0 && header.rate > 0) {
        const double stated = static_cast<double>(header.statedFrames) / header.rate;
        const double fraction = stated - static_cast<long long>(stated);
        if (fraction > kEstimateMargin && fraction < 1 - kEstimateMargin) {
            seconds = static_cast<int>(stated);
            return true;
        }
    }
    return false;
}

bool CSoxHandler::Measure(const wxString& path, Header& header, int& seconds, wxString& failure,
                          double* exact, bool* estimated) {
    double exactSeconds = -1;
    bool estimate = false;
    if (!exact)
        exact = &exactSeconds;
    if (!estimated)
        estimated = &estimate;
    if (!ReadHeader(path, header, failure))
        return false;
    if (LengthFromHeader(header, seconds)) {
        *exact = HeaderSeconds(header);
        *estimated = header.frames < 0;
        return true;
    }
    const auto known = m_cache->lengths.find(path);
    if (known != m_cache->lengths.end() && known->second.stamp == StampOf(path)) {
        seconds = known->second.seconds;
        *exact = known->second.exactSeconds;
        *estimated = false;
        return true;
    }
    const FileStamp stamp = StampOf(path);
    const SoxOutput run = Execute(MeasureCommand(path));
    failure = RunFailure(run);
    if (!failure.empty())
        return false;
    seconds = ParseLength(run.errors);
    if (seconds < 0) {
        failure = "SoX did not report the length.";
        return false;
    }
    *exact = ParseSeconds(run.errors);
    *estimated = false;
    m_cache->lengths[path] = {seconds, *exact, stamp};
    return true;
}

bool CSoxHandler::WatermarkSound(const wxString& path, const Header& track, wxString& effects,
                                 long long& frames, wxString& failure) {
    Header sound;
    if (!ReadHeader(path, sound, failure)) {
        failure = wxFileName(path).GetFullName() + ": " + failure;
        return false;
    }
    // SoX mixes only inputs of one sample rate, and a mono copy in a stereo
    // mix would sound on one side. Channels are reduced before resampling
    // and added after it, as SoX's own conversion does.
    wxString rateEffect, channelsEffect;
    if (sound.rate > 0 && track.rate > 0 && sound.rate != track.rate)
        rateEffect = wxString::Format("rate %ld", track.rate);
    if (sound.channels > 0 && track.channels > 0 && sound.channels != track.channels)
        channelsEffect = wxString::Format("channels %ld", track.channels);
    effects = sound.channels > track.channels ? channelsEffect + " " + rateEffect
                                              : rateEffect + " " + channelsEffect;
    effects.Trim(true).Trim(false);

    double peak = 0;
    if (!SoundPeak(path, effects, peak, failure)) {
        failure = DisplayName(path) + ": " + failure;
        return false;
    }
    if (peak < kAudiblePeak) {
        failure = "Not processed: the watermark file " + DisplayName(path) + " is " + kSilent;
        return false;
    }
    frames = m_cache->sounds[path + "\n" + effects].frames / track.channels;
    return true;
}

bool CSoxHandler::SoundPeak(const wxString& path, const wxString& effects, double& peak,
                            wxString& failure) {
    const wxString key = path + "\n" + effects;
    auto known = m_cache->sounds.find(key);
    if (known == m_cache->sounds.end()) {
        // Its length once converted, counted by SoX itself, and its loudest sample.
        const SoxOutput run = Execute("./sox " + QuoteSoxPath(path) + " -n " + effects +
                                      (effects.empty() ? "" : " ") + "stat");
        failure = RunFailure(run);
        long long samples = -1;
        double loudest = -1;
        for (const wxString& line : run.errors) {
            double value = 0;
            if (line.StartsWith("Samples read:"))
                samples = LeadingNumber(line.Mid(13));
            else if ((line.StartsWith("Maximum amplitude:") ||
                      line.StartsWith("Minimum amplitude:")) &&
                     wxString(line.AfterFirst(':')).Trim(false).ToCDouble(&value))
                loudest = std::max(loudest, std::fabs(value));
        }
        if (failure.empty() && (samples < 0 || loudest < 0))
            failure = "SoX did not report the length.";
        if (!failure.empty())
            return false;
        // Frames of the converted sound times its channels: the caller divides.
        known = m_cache->sounds.emplace(key, Converted{effects, samples, loudest}).first;
    }
    peak = known->second.peak;
    return true;
}

wxString CSoxHandler::WatermarkProblem(const wxString& path) {
    double peak = 0;
    wxString failure;
    if (!SoundPeak(path, wxString(), peak, failure))
        return DisplayName(path) + ": " + failure;
    return peak < kAudiblePeak ? DisplayName(path) + ": " + kSilent : wxString();
}

wxString CSoxHandler::MeasureCommand(const wxString& path) {
    return "./sox " + QuoteSoxPath(path) + " -n stat";
}

int CSoxHandler::ParseLength(const wxArrayString& errors) {
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

namespace {

// Where a render writes until SoX has succeeded: a hidden name beside its
// output, unique to this process and host, so that a render killed outright
// (a host that goes down, SIGKILL) never leaves a cut-short file under the
// output's name, and two hosts rendering one track never write one file.
// A long output name is cut to fit, with a hash of it to tell it apart.
wxString PartialPath(const wxString& output) {
    static unsigned long counter = 0;
    const wxFileName name(output);
    const wxString tail = wxString::Format(".partial-%s-%lu-%lu.%s", wxGetHostName(),
                                           wxGetProcessId(), ++counter, name.GetExt());
    wxString base = name.GetFullName();
    wxString partial = "." + base + tail;
    if (IsNameTooLong(partial)) {
        std::uint32_t hash = 2166136261u; // FNV-1a
        for (const char c : std::string(base.utf8_str()))
            hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
        const wxString mark = wxString::Format("~%08x", hash);
        while (!base.empty() && IsNameTooLong("." + base + mark + tail))
            base.RemoveLast();
        partial = "." + base + mark + tail;
    }
    return wxFileName(name.GetPath(), partial).GetFullPath();
}

// Under this much free space a write that failed is taken for a full disk.
const unsigned long long kFullDiskBytes = 1 << 20;
bool IsDiskFull(const wxString& folder) {
    struct statvfs fs;
    return ::statvfs(folder.fn_str(), &fs) == 0 &&
           static_cast<unsigned long long>(fs.f_bavail) * fs.f_frsize < kFullDiskBytes;
}

// Seconds of the MP3 frames an encoder may add as delay and padding: what a
// written file may differ from its plan by.
double FrameSlack(long rate, int frames) {
    return rate > 0 ? frames * 1152.0 / rate : 0.1 * frames;
}

} // namespace
double CSoxHandler::ParseSeconds(const wxArrayString& errors) {
    for (const wxString& line : errors) {
        if (!line.StartsWith(kLengthLabel))
            continue;
        double seconds = -1;
        wxString text = line.Mid(kLengthLabel.length());
        return text.Trim(true).Trim(false).ToCDouble(&seconds) ? seconds : -1;
    }
    return -1;
}

double CSoxHandler::HeaderSeconds(const Header& header) {
    const long long frames = header.frames >= 0 ? header.frames : header.statedFrames;
    return frames >= 0 && header.rate > 0 ? static_cast<double>(frames) / header.rate : -1;
}

void CSoxHandler::AddMessage(const wxString& text) {
    m_errors.Add(DisplayName(m_inputFile) + ": " + text);
}

wxString CSoxHandler::GetOutputPath() const {
    return WatermarkOutputPath(m_inputFile, m_outputFile, m_prefix, m_suffix, m_fileFormat);
}

void CSoxHandler::RemoveIfWritten(const wxString& path, const FileStamp& before) {
    const FileStamp now = StampOf(path);
    if (now.exists && now != before)
        wxRemoveFile(path);
}

int CSoxHandler::GetTrackLength(const wxString& path) {
    Header header;
    int seconds = -1;
    wxString failure;
    if (!Measure(path, header, seconds, failure))
        return -1;
    m_resultLong = seconds;
    return seconds;
}

bool CSoxHandler::Run() {
    wxString command;
    if (!BeginRun(command))
        return false;
    SoxOutput nothingRan;
    nothingRan.status = 0;
    return EndRun(command.empty() ? nothingRan : Execute(command));
}

bool CSoxHandler::BeginRun(wxString& command) {
    m_errors.Clear();
    m_copies = 0;
    m_positions.clear();
    m_placedLength = -1;
    m_clipFrom = -1;
    m_clipNote.clear();
    m_writing.clear();
    m_plannedSeconds = -1;
    m_cutCopy = -1;
    m_knownLength = -1;
    m_knownSeconds = -1;
    if (m_operation == SOX_TRACK_LENGTH) {
        if (m_inputFile.empty())
            return false;
        // A header read ahead that states the length: nothing to run.
        Header header;
        if (CachedHeader(m_inputFile, header) && LengthFromHeader(header, m_knownLength)) {
            m_knownSeconds = HeaderSeconds(header);
            command.clear();
            return true;
        }
        m_knownLength = -1;
        m_measuredStamp = StampOf(m_inputFile);
        command = MeasureCommand(m_inputFile);
        return true;
    }
    if (m_operation == SOX_ADD_WATERMARK)
        return BuildWatermarkCommand(command);
    return false;
}

void CSoxHandler::AbandonRun() {
    if (!m_writing.empty())
        RemoveIfWritten(m_writing, m_writingBefore);
    m_writing.clear();
}

wxString CSoxHandler::FinishOutput(const wxString& tagsFrom, bool album, wxString& note) {
    note.clear();
    // Read back without decoding: a process that died, a full disk or a
    // writer that gave up show as a file shorter than planned.
    const double written = AudioSeconds(m_writing);
    if (written < 0)
        return "the written file cannot be read back as audio.";
    if (m_plannedSeconds >= 0 && std::fabs(written - m_plannedSeconds) > m_plannedMargin)
        return wxString::Format("the written file lasts %s s instead of %s s.",
                                wxString::FromCDouble(written, 2),
                                wxString::FromCDouble(m_plannedSeconds, 2));
    if (!tagsFrom.empty()) {
        bool tagged = false;
        note = CopyTags(tagsFrom, m_writing, album ? TagScope::Album : TagScope::Track, &tagged);
        // A tag that did not fit may have cut the file short while TagLib
        // still says it saved: SoX, which reads what users play it with,
        // must still take the file for what it was.
        Header header;
        wxString unreadable;
        if (tagged && (!ReadHeader(m_writing, header, unreadable) ||
                       std::fabs(HeaderSeconds(header) - written) >
                           std::max(m_plannedMargin, FrameSlack(header.rate, 2)) ||
                       std::fabs(AudioSeconds(m_writing) - written) > 0.001))
            return "writing its tags damaged the file.";
    }
    if (!MarkAsOutput(m_writing))
        return "the written file could not be marked as this program's output: " +
               wxString(std::strerror(errno)) + ".";
    // Checked again at the last moment: the file may have come since the run began.
    if (StampOf(m_resultOutput).exists && !IsMarkedOutput(m_resultOutput))
        return "Not processed: " + ForeignOutputText(m_resultOutput);
    // One step, so that the output's name only ever shows a finished file.
    if (std::rename(m_writing.fn_str(), m_resultOutput.fn_str()) != 0)
        return "the finished file could not be given its name: " + wxString(std::strerror(errno)) +
               ".";
    return wxString();
}

wxString CSoxHandler::WritingFailure(wxString failure) const {
    if (m_writing.empty())
        return failure;
    if (IsDiskFull(wxFileName(m_writing).GetPath())) {
        if (failure == kNotWritten)
            failure = "the output file could not be written: the disk is full.";
        else if (!failure.Contains("No space left on device"))
            failure += " The disk is full.";
    }
    // SoX names the file it wrote; the user knows the output's name.
    failure.Replace(wxFileName(m_writing).GetFullName(), wxFileName(m_resultOutput).GetFullName());
    return failure;
}

bool CSoxHandler::EndRun(const SoxOutput& out) {
    if (out.cancelled) {
        if (!m_writing.empty())
            RemoveIfWritten(m_writing, m_writingBefore);
        return false;
    }
    wxString failure = RunFailure(out);
    wxString tagNote;
    if (failure.empty() && !m_writing.empty())
        failure = FinishOutput(m_copyTags ? m_inputFile : wxString(), false, tagNote);
    if (!failure.empty()) {
        failure = WritingFailure(failure);
        if (!m_writing.empty())
            RemoveIfWritten(m_writing, m_writingBefore);
        AddMessage(failure);
        return false;
    }
    m_writing.clear();
    if (m_operation == SOX_TRACK_LENGTH) {
        const int seconds = m_knownLength >= 0 ? m_knownLength : ParseLength(out.errors);
        if (seconds < 0) {
            AddMessage("SoX did not report the length.");
            return false;
        }
        m_result = wxString::Format("%02d:%02d", seconds / 60, seconds % 60);
        m_resultLong = seconds;
        // A render of the same file later needs no decode to measure it.
        if (m_knownLength < 0)
            m_cache->lengths[m_inputFile] = {seconds, ParseSeconds(out.errors), m_measuredStamp};
        const double exact = m_knownLength >= 0 ? m_knownSeconds : ParseSeconds(out.errors);
        // Never below the whole seconds, which the length is built on.
        m_resultSeconds = exact >= seconds && exact < seconds + 1 ? exact : seconds;
    }
    if (m_operation == SOX_ADD_WATERMARK && m_copies == 0) {
        // Said plainly: the user might send this copy out as a protected one.
        AddMessage(wxString::Format(
            "written WITHOUT a watermark: the track ends before the first watermark at %d s.",
            m_startTime));
        if (!m_clipNote.empty())
            AddMessage(m_clipNote);
        if (!tagNote.empty())
            AddMessage(tagNote);
        return true;
    }
    AddMessage("Process completed successfully");
    if (m_operation == SOX_ADD_WATERMARK && !m_clipNote.empty())
        AddMessage(m_clipNote);
    if (m_operation == SOX_ADD_WATERMARK) {
        // SoX clips an overloaded mix, warns and still exits 0.
        const long long clipped = SoxClippedSamples(out.errors);
        if (clipped > 0)
            AddMessage(
                wxString::Format("%lld samples clipped: lower the watermark level.", clipped));
        if (!tagNote.empty())
            AddMessage(tagNote);
    }
    return true;
}

bool CSoxHandler::PrepareTrack(Header& track, int& length) {
    if (m_inputFile.empty() || m_outputFile.empty() || m_waterMarks.empty())
        return false;
    if (m_waterMarkInterval <= 0 || m_startTime < 0)
        return false;
    wxString failure;
    m_trackSeconds = -1;
    m_trackEstimated = true;
    if (m_firstSeconds > 0 && ReadHeader(m_inputFile, track, failure) &&
        !LengthFromHeader(track, length) && track.statedFrames >= 0 && track.rate > 0) {
        // Near a whole second the estimate may be one off: no decode for that.
        length = static_cast<int>(track.statedFrames / track.rate);
        m_trackSeconds = HeaderSeconds(track);
    } else if (!Measure(m_inputFile, track, length, failure, &m_trackSeconds, &m_trackEstimated)) {
        AddMessage(failure);
        return false;
    }
    m_resultLong = length;
    if (track.rate <= 0 || track.channels <= 0) {
        AddMessage("SoX did not report the track's sample rate and channels.");
        return false;
    }
    length = PlaceClip(length);
    m_placedLength = length;
    if (length < m_startTime) {
        AddMessage(
            wxString::Format("Not processed: the %s ends before the first watermark at %d s.",
                             m_clipLength > 0 ? "clip" : "track", m_startTime));
        return false;
    }
    m_fileFormat.MakeLower();
    m_resultOutput = GetOutputPath();
    const wxString replaced = OutputReplacesInput();
    if (!replaced.empty()) {
        AddMessage(replaced);
        return false;
    }
    if (StampOf(m_resultOutput).exists && !IsMarkedOutput(m_resultOutput)) {
        AddMessage("Not processed: " + ForeignOutputText(m_resultOutput));
        return false;
    }
    return true;
}

wxString CSoxHandler::OutputReplacesInput() const {
    // SoX truncates its output before reading the inputs: writing over one of
    // them would destroy it.
    if (IsSameFile(m_resultOutput, m_inputFile))
        return "Not processed: the output file would replace this track. Choose another "
               "output folder, a prefix or suffix, or another format.";
    for (const wxString& watermark : m_waterMarks) {
        if (IsSameFile(m_resultOutput, watermark))
            return "Not processed: the output file would replace the watermark file " +
                   wxFileName(watermark).GetFullName() + ".";
    }
    return wxString();
}

int CSoxHandler::PlaceClip(int length) {
    m_clipFrom = -1;
    m_clipNote.clear();
    if (m_clipLength <= 0)
        return length;
    m_clipFrom = ClipFrom(length, m_clipLength, m_clipStart);
    if (m_clipFrom < 0) {
        m_clipNote = wxString::Format(
            "shorter than the %d s clip: the whole track was written, faded in and out.",
            m_clipLength);
        return length;
    }
    if (m_clipFrom != m_clipStart)
        m_clipNote = wxString::Format("the %d s clip starts at %s instead of %s, so that it "
                                      "ends with the track.",
                                      m_clipLength, ClockText(m_clipFrom), ClockText(m_clipStart));
    return m_clipLength;
}

wxString CSoxHandler::ClipEffects() const {
    if (m_clipLength <= 0)
        return wxString();
    const int fade = std::max(m_clipFade, 0);
    if (m_clipFrom < 0) {
        // The whole track: a fade-out from its end as SoX counts it in the
        // header would pad or cut an MP3 by a frame or two. Reversing it (no
        // longer than a clip) fades out at its true end.
        return fade == 0 ? wxString()
                         : wxString::Format("fade t %d reverse fade t %d reverse", fade, fade);
    }
    wxString effects = wxString::Format("trim %d %d", m_clipFrom, m_clipLength);
    if (fade > 0)
        effects += wxString::Format(" fade t %d %d %d", fade, m_clipLength, fade);
    return effects;
}

wxString CSoxHandler::MixCommand(const Header& track, const wxArrayString& beds) const {
    wxString command = "./sox ";
    // -m with a single input is a usage error; a track without copies is a
    // plain conversion.
    command += beds.empty() ? " -v 1 " : " -v 1 -m ";
    // The clip is cut and faded on the track's input alone, in a pipe, so
    // that the watermarks keep their level; -V1 as for the beds: its
    // warnings would share the mix's error stream.
    // Only the first seconds: the track's own run stops there, and the beds
    // end with their last copy, so no input is cut off while it writes.
    wxString clip = ClipEffects();
    if (m_firstSeconds > 0)
        clip += wxString::Format("%strim 0 %d", clip.empty() ? "" : " ", m_firstSeconds);
    const bool piped = !clip.empty() || (m_decodeApart && m_fileFormat == "mp3");
    if (piped)
        command += "\"| " +
                   GuardedInput("./sox -V1 " + QuoteSoxPath(m_inputFile, true) + " -p" +
                                    (clip.empty() ? "" : " " + clip),
                                "track") +
                   "\" ";
    else
        command += QuoteSoxPath(m_inputFile) + " ";
    // The level scales each bed as it enters the mix; the track keeps -v 1.
    const wxString bedVolume =
        m_waterMarkLevel == 0 ? wxString() : "-v " + VolumeFactor(m_waterMarkLevel) + " ";
    for (const wxString& bed : beds)
        command += bedVolume + bed + " ";
    if (m_mono)
        command += " -c 1 ";
    else if (m_fileFormat == "mp3" && track.channels > 2)
        command += " -c 2 "; // MP3 holds at most two channels
    command += CompressionOptions(m_fileFormat, m_bitrate) +
               SampleSizeOption(m_fileFormat, track.bits, piped) + kNoComment;
    return command + QuoteSoxPath(m_writing);
}

bool CSoxHandler::BuildWatermarkCommand(wxString& command) {
    Header track;
    int length = -1;
    if (!PrepareTrack(track, length))
        return false;

    const int written = m_firstSeconds > 0 ? std::min(length, m_firstSeconds) : length;
    m_positions = WatermarkPositions(written, m_startTime, m_waterMarkInterval);
    const size_t copies = m_positions.size();
    // Only the files that some copy plays are read.
    std::vector<BedSound> sounds;
    for (size_t i = 0; i < m_waterMarks.size() && i < copies; ++i) {
        BedSound sound{m_waterMarks[i], wxString(), 0};
        wxString failure;
        if (!WatermarkSound(sound.path, track, sound.effects, sound.frames, failure)) {
            AddMessage(failure);
            return false;
        }
        sounds.push_back(sound);
    }
    // A clip ends where it is cut: a copy that would pass its end is cut
    // and faded with it. A whole track lets its last copy ring out.
    const bool clipped = m_clipLength > 0 && m_clipFrom >= 0;
    const long long cutAt = clipped ? static_cast<long long>(m_clipLength) * track.rate : -1;
    const long long fade = static_cast<long long>(std::max(m_clipFade, 0)) * track.rate;
    const wxArrayString beds = copies == 0
                                   ? wxArrayString()
                                   : WatermarkBeds(sounds, track.rate, m_startTime,
                                                   m_waterMarkInterval, copies, cutAt, fade);
    m_copies = copies;
    // What the file must last: the track's part that is written, or longer
    // where the last copy rings out past it.
    double planned = clipped ? m_clipLength : m_trackSeconds;
    if (m_firstSeconds > 0)
        planned = std::min(planned, static_cast<double>(m_firstSeconds));
    for (size_t k = 0; k < copies; ++k) {
        double end =
            m_positions[k] + static_cast<double>(sounds[k % sounds.size()].frames) / track.rate;
        if (clipped && end > m_clipLength) {
            end = m_clipLength;
            m_cutCopy = m_positions[k];
        }
        planned = std::max(planned, end);
    }
    m_plannedSeconds = m_trackSeconds < 0 ? -1 : planned;
    // A header's estimate may count bytes that are no audio (junk before
    // the first MP3 frame): the pipe inputs' own reports are the sharp check
    // then, and the length only a coarse one.
    m_plannedMargin = m_trackEstimated ? FrameSlack(track.rate, 4) + 0.02 * planned + 0.25
                                       : FrameSlack(track.rate, 2);
    m_writing = PartialPath(m_resultOutput);
    m_writingBefore = StampOf(m_writing);
    command = MixCommand(track, beds);
    return true;
}

int CSoxHandler::AppendFiles(const wxArrayString& files, const wxString& output) {
    wxString command;
    if (!BeginAppend(files, output, command))
        return -1;
    return EndAppend(Execute(command));
}

bool CSoxHandler::BeginAppend(const wxArrayString& files, const wxString& output,
                              wxString& command) {
    m_errors.Clear();
    m_writing.clear();
    m_plannedSeconds = -1;
    const wxString name = DisplayName(output);
    for (const wxString& file : files) {
        if (IsSameFile(output, file)) {
            m_errors.Add(name + ": Not created: it would replace " + DisplayName(file) +
                         ", one of the files to join.");
            return false;
        }
    }
    if (StampOf(output).exists && !IsMarkedOutput(output)) {
        m_errors.Add(name + ": Not created: " + ForeignOutputText(output));
        return false;
    }
    // SoX joins only files of one sample rate and channel count: the others
    // come in through a pipe input that converts them to the first one's.
    wxString headers;
    if (BeginReadHeaders(files, headers))
        EndReadHeaders(Execute(headers));
    Header first, header;
    wxString failure;
    if (!files.empty())
        ReadHeader(files[0], first, failure);
    command = "./sox ";
    // The join lasts as long as its files together.
    double planned = 0;
    int estimated = 0;
    for (size_t i = 0; i < files.size(); ++i) {
        Header known;
        const double seconds = ReadHeader(files[i], known, failure) ? HeaderSeconds(known) : -1;
        if (seconds < 0 || planned < 0)
            planned = -1;
        else
            planned += seconds;
        estimated += known.frames < 0;
    }
    m_plannedSeconds = planned;
    m_plannedMargin = FrameSlack(first.rate, 2 + 2 * estimated);
    for (size_t i = 0; i < files.size(); ++i) {
        wxString options;
        if (i > 0 && ReadHeader(files[i], header, failure)) {
            if (header.rate > 0 && first.rate > 0 && header.rate != first.rate)
                options += wxString::Format("-r %ld ", first.rate);
            if (header.channels > 0 && first.channels > 0 && header.channels != first.channels)
                options += wxString::Format("-c %ld ", first.channels);
        }
        if (options.empty())
            command += QuoteSoxPath(files[i]) + " ";
        else
            command += "\"| " +
                       GuardedInput("./sox " + QuoteSoxPath(files[i], true) + " " + options + "-p",
                                    "join") +
                       "\" ";
    }
    if (m_mono)
        command += " -c 1 ";
    const wxString format = wxFileName(output).GetExt().Lower();
    if (!m_mono && format == "mp3" && first.channels > 2)
        command += " -c 2 "; // MP3 holds at most two channels
    command += CompressionOptions(format, m_bitrate) + SampleSizeOption(format, first.bits, false) +
               kNoComment;
    m_resultOutput = output;
    m_writing = PartialPath(output);
    m_writingBefore = StampOf(m_writing);
    command += QuoteSoxPath(m_writing);
    return true;
}

int CSoxHandler::EndAppend(const SoxOutput& out) {
    wxString failure = out.cancelled ? wxString() : RunFailure(out);
    wxString tagNote;
    if (!out.cancelled && failure.empty())
        failure = FinishOutput(m_albumTagsFrom, true, tagNote);
    const wxString name = DisplayName(m_resultOutput);
    if (!out.cancelled && failure.empty()) {
        m_writing.clear();
        if (!tagNote.empty())
            m_errors.Add(name + ": " + tagNote);
        return 0;
    }
    if (!out.cancelled)
        m_errors.Add(name + ": " + WritingFailure(failure));
    RemoveIfWritten(m_writing, m_writingBefore);
    m_writing.clear();
    return -1;
}

// ---------------------------------------------------------------------------
// Background runs

namespace {

// Lines of bytes, read as UTF-8 (SoX prints file names as they are on disk);
// bytes that are not UTF-8 are taken as the file-name encoding.
void SplitLines(const std::string& bytes, wxArrayString& lines) {
    size_t begin = 0;
    while (begin < bytes.size()) {
        size_t end = bytes.find('\n', begin);
        if (end == std::string::npos)
            end = bytes.size();
        std::string line = bytes.substr(begin, end - begin);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        wxString text = wxString::FromUTF8(line.c_str(), line.size());
        if (text.empty() && !line.empty())
            text = wxString(line.c_str(), *wxConvFileName);
        lines.Add(text);
        begin = end + 1;
    }
}

void ReadAvailable(wxInputStream* stream, std::string& into) {
    char buffer[4096];
    while (stream && stream->CanRead()) {
        stream->Read(buffer, sizeof buffer);
        const size_t count = stream->LastRead();
        if (count == 0)
            break;
        into.append(buffer, count);
    }
}

} // namespace

// A SoX process as the toolkit runs it. It deletes itself, and so closes its
// pipes, as soon as it has ended and told its owner.
class SoxQueue::Child : public wxProcess {
public:
    Child(std::function<void(const SoxOutput&)> done, bool raw)
        : m_done(std::move(done)), m_raw(raw) {
        Redirect();
    }

    void Drain() {
        ReadAvailable(GetInputStream(), m_output);
        ReadAvailable(GetErrorStream(), m_errors);
    }
    // Ends the process and every process of its group; its end is told as
    // cancelled. Nothing once it has been reaped: its number may be another's.
    void Kill() {
        if (m_terminated)
            return;
        m_killed = true;
        wxProcess::Kill(static_cast<int>(pid), wxSIGKILL, wxKILL_CHILDREN);
        // Just after the start the child may not have made its group yet, and
        // the group kill misses it; it has started nothing of its own by then.
        wxProcess::Kill(static_cast<int>(pid), wxSIGKILL, wxKILL_NOCHILDREN);
    }
    // Waits until a killed process has stopped, so that it writes nothing
    // more: a file its owner removes next would otherwise come back.
    void AwaitStop() const {
        if (m_terminated || !m_killed)
            return;
        const std::string stat = "/proc/" + std::to_string(pid) + "/stat";
        for (int waited = 0; waited < 2000; ++waited) {
            FILE* file = std::fopen(stat.c_str(), "r");
            if (!file)
                return;
            char line[512] = "";
            const bool read = std::fgets(line, sizeof line, file) != nullptr;
            std::fclose(file);
            // "PID (NAME) STATE ...": a zombie has ended.
            const char* end = std::strrchr(line, ')');
            if (!read || !end || end[1] == '\0' || end[2] == 'Z' || end[2] == 'X')
                return;
            wxMilliSleep(1);
        }
    }
    // The owner is going away: nobody is told of the end.
    void Forget() { m_done = nullptr; }
    // Called once the toolkit has handed it over; a child that ended even
    // before that is finished by the next wait.
    void Started(long id) {
        pid = id;
        m_started = true;
        s_running.insert(this);
    }
    bool Terminated() const { return m_terminated; }

    // Tells the owner and goes.
    void Finish() {
        s_running.erase(this);
        ++s_ends;
        SoxOutput result;
        result.status = m_status;
        result.cancelled = m_killed && m_status != 0;
        if (m_raw)
            result.data = std::move(m_output);
        else
            SplitLines(m_output, result.output);
        SplitLines(m_errors, result.errors);
        std::function<void(const SoxOutput&)> done = std::move(m_done);
        delete this;
        if (done)
            done(result);
    }

    long pid = 0;
    static std::set<Child*> s_running;
    static unsigned long s_ends; // children finished so far

    void OnTerminate(int, int status) override {
        Drain();
        m_status = status;
        m_terminated = true;
        // The toolkit reports a child that ended at once from within
        // wxExecute, before Start has it.
        if (m_started)
            Finish();
    }

private:
    std::function<void(const SoxOutput&)> m_done;
    bool m_raw;
    std::string m_output;
    std::string m_errors;
    int m_status = -1;
    bool m_started = false;
    bool m_terminated = false;
    bool m_killed = false;
};

std::set<SoxQueue::Child*> SoxQueue::Child::s_running;
unsigned long SoxQueue::Child::s_ends = 0;

namespace {

// Kills SoX when this process goes, even killed outright, where a process
// group would leave it running: the parent-death signal, set in the child.
// The kernel sends it when the thread that started the child ends; every
// start happens on the thread that runs the event loop, which ends only with
// the process. SoX's pipe inputs then die of SIGPIPE. Empty where util-linux
// is missing.
const wxString& DieWithParent() {
    static const wxString prefix = wxFileName::IsFileExecutable("/usr/bin/setpriv")
                                       ? "/usr/bin/setpriv --pdeathsig KILL "
                                       : "";
    return prefix;
}

// Milliseconds to wait before the next start when none was free.
long long StartPause(int tries) {
    return std::min(1000, 10 << std::min(tries, 7));
}

} // namespace

SoxQueue::Child* SoxQueue::Start(const wxString& command,
                                 std::function<void(const SoxOutput&)> done, bool raw, int* error) {
    if (CSoxHandler::s_commandObserver)
        CSoxHandler::s_commandObserver(command);
    // setpriv starts, whether SoX can be or not.
    if (!DieWithParent().empty() &&
        !wxFileName::IsFileExecutable(g_resourceFolder + command.BeforeFirst(' '))) {
        if (error)
            *error = ENOENT;
        return nullptr;
    }
    auto* child = new Child(std::move(done), raw);
    wxExecuteEnv env;
    env.cwd = g_resourceFolder;
    long pid = 0;
    int failure = 0;
    {
        // A failure is told by status -1; the toolkit would log it on top.
        wxLogNull quiet;
        errno = 0;
        pid = wxExecute(DieWithParent() + command, wxEXEC_ASYNC | wxEXEC_MAKE_GROUP_LEADER, child,
                        &env);
        failure = errno;
    }
    if (pid <= 0) {
        if (error)
            *error = failure;
        delete child;
        return nullptr;
    }
    child->Started(pid);
    return child;
}

bool SoxQueue::PauseForProcesses(int tries) {
    const unsigned long ends = Child::s_ends;
    const wxLongLong due = wxGetLocalTimeMillis() + StartPause(tries);
    WaitUntil([&] { return Child::s_ends != ends || wxGetLocalTimeMillis() >= due; });
    return Child::s_ends != ends;
}

void SoxQueue::WaitUntil(const std::function<bool()>& finished) {
    wxAppConsole* app = wxAppConsole::GetInstance();
    std::unique_ptr<wxEventLoopBase> loop(app ? app->GetTraits()->CreateEventLoop() : nullptr);
    wxEventLoopBase* active = wxEventLoopBase::GetActive();
    wxEventLoopBase* use = active ? active : loop.get();
    std::unique_ptr<wxEventLoopActivator> activate;
    if (!active && use)
        activate.reset(new wxEventLoopActivator(use));
    for (;;) {
        Poll();
        if (finished())
            return;
        if (use)
            use->DispatchTimeout(20);
        if (app)
            app->ProcessPendingEvents();
    }
}

void SoxQueue::Poll() {
    for (Child* child : std::set<Child*>(Child::s_running)) {
        if (child->Terminated())
            child->Finish();
        else
            child->Drain();
    }
}

// Runs the background queue's rounds while it has work.
class SoxQueue::Ticker : public wxTimer {
public:
    explicit Ticker(SoxQueue& queue) : m_queue(queue) {}
    void Notify() override { m_queue.Tick(); }

private:
    SoxQueue& m_queue;
};

SoxQueue::SoxQueue(int parallel)
    : m_parallel(parallel > 0 ? static_cast<size_t>(parallel)
                              : static_cast<size_t>(std::max(1, wxThread::GetCPUCount()))) {
}

SoxQueue::~SoxQueue() {
    for (Started& running : m_running) {
        running.child->Forget();
        running.child->Kill();
    }
    for (Started& running : m_running)
        running.child->AwaitStop();
}

void SoxQueue::Add(SoxJob job) {
    m_waiting.push_back(m_jobs.size());
    m_jobs.push_back(std::move(job));
    if (m_ticker) {
        // Often enough that a process printing fast never waits long on a full pipe.
        if (!m_ticker->IsRunning())
            m_ticker->Start(10);
        Tick();
    }
}

void SoxQueue::RunInBackground() {
    if (!m_ticker)
        m_ticker.reset(new Ticker(*this));
}

void SoxQueue::Tick() {
    // A begin or an end that waits for SoX of its own runs the event loop,
    // and so this timer, again.
    if (m_ticking)
        return;
    m_ticking = true;
    Poll();
    Deliver();
    while (BeginNext())
        Deliver();
    if (m_running.empty() && m_ended.empty() && m_waiting.empty() && !m_deferred.active) {
        m_ticker->Stop();
        m_jobs.clear(); // nothing refers to them now
    }
    m_ticking = false;
}

void SoxQueue::Cancel() {
    m_cancelled = true;
    m_waiting.clear();
    if (m_deferred.active) {
        SoxOutput none;
        none.cancelled = true;
        m_ended.push_back({m_deferred.job, none});
        m_deferred = Deferred();
    }
    for (Started& running : m_running)
        running.child->Kill();
    for (Started& running : m_running)
        running.child->AwaitStop();
}

bool SoxQueue::DeferredDue() const {
    return m_deferred.active &&
           (Child::s_ends != m_deferred.ends || wxGetLocalTimeMillis() >= m_deferred.due);
}

bool SoxQueue::BeginNext() {
    if (m_deferred.active) {
        if (m_cancelled || !DeferredDue())
            return false;
        // Only a pause with nothing of ours running to free a process counts
        // against the job: ours end by themselves.
        if (Child::s_ends == m_deferred.ends && Child::s_running.empty())
            ++m_deferred.tries;
        m_deferred.active = false;
        return StartJob(m_deferred.job, m_deferred.command);
    }
    if (m_cancelled || m_running.size() >= m_parallel || m_waiting.empty())
        return false;
    auto next = std::find_if(m_waiting.begin(), m_waiting.end(), [this](size_t job) {
        return !m_jobs[job].ready || m_jobs[job].ready();
    });
    if (next == m_waiting.end()) {
        if (!m_running.empty())
            return false; // they wait for one of those
        next = m_waiting.begin();
    }
    const size_t job = *next;
    m_waiting.erase(next);
    wxString command;
    if (!m_jobs[job].begin(command))
        return true;
    if (command.empty()) {
        SoxOutput nothingRan;
        nothingRan.status = 0;
        m_ended.push_back({job, nothingRan});
        return true;
    }
    StartJob(job, command);
    return true;
}

bool SoxQueue::StartJob(size_t job, const wxString& command) {
    Child* child = nullptr;
    int error = 0;
    if (!m_cancelled) {
        // ~SoxQueue forgets the children still running, so this never outlives the queue.
        child = Start(
            command,
            [this, job](const SoxOutput& out) {
                const auto running = std::find_if(m_running.begin(), m_running.end(),
                                                  [job](const Started& r) { return r.job == job; });
                if (running != m_running.end())
                    m_running.erase(running);
                m_ended.push_back({job, out});
            },
            m_jobs[job].rawOutput, &error);
    }
    if (!child && !m_cancelled && error == EAGAIN && m_deferred.tries < kStartTries) {
        // Out of processes (the user's limit, a full table) passes as
        // processes end: the job waits instead of failing.
        m_deferred.active = true;
        m_deferred.job = job;
        m_deferred.command = command;
        m_deferred.ends = Child::s_ends;
        m_deferred.due = (wxGetLocalTimeMillis() + StartPause(m_deferred.attempts++)).GetValue();
        return false;
    }
    m_deferred = Deferred();
    if (child) {
        m_running.push_back({job, child});
    } else {
        // Cancelled while it began, or SoX could not be started (status -1).
        SoxOutput none;
        none.cancelled = m_cancelled;
        m_ended.push_back({job, none});
    }
    return true;
}

void SoxQueue::Deliver() {
    while (!m_ended.empty()) {
        Ended ended = std::move(m_ended.front());
        m_ended.erase(m_ended.begin());
        if (m_jobs[ended.job].end)
            m_jobs[ended.job].end(ended.out);
    }
}

void SoxQueue::Run(const std::function<bool()>& stop) {
    auto stopAsked = [&] { return !m_cancelled && stop && stop(); };
    for (;;) {
        if (stopAsked())
            Cancel();
        Deliver();
        while (BeginNext()) {
            // A begin may take a while (it reads headers): hand over what
            // ended meanwhile before the next one.
            Deliver();
        }
        if (m_running.empty() && m_ended.empty() && !m_deferred.active &&
            (m_waiting.empty() || m_cancelled))
            return;
        WaitUntil([&] { return !m_ended.empty() || stopAsked() || DeferredDue(); });
    }
}

SoxJob OperationJob(CSoxHandler& sox, bool* succeeded) {
    if (succeeded)
        *succeeded = false;
    SoxJob job;
    job.begin = [&sox](wxString& command) { return sox.BeginRun(command); };
    job.end = [&sox, succeeded](const SoxOutput& out) {
        const bool ok = sox.EndRun(out);
        if (succeeded)
            *succeeded = ok;
    };
    return job;
}

std::function<bool(size_t)> ReadHeadersAhead(const CSoxHandler& sox, const wxArrayString& paths,
                                             SoxQueue& queue) {
    // Enough files per run that the runs cost little beside the files' own
    // work, few enough that the first renders need not wait long.
    const size_t perRun = 50;
    const size_t runs = (paths.size() + perRun - 1) / perRun;
    auto readers = std::make_shared<std::vector<CSoxHandler>>(runs, sox);
    auto read = std::make_shared<std::vector<char>>(runs, 0);
    for (size_t run = 0; run < runs; ++run) {
        wxArrayString part;
        for (size_t i = run * perRun; i < paths.size() && i < (run + 1) * perRun; ++i)
            part.Add(paths[i]);
        SoxJob job;
        job.begin = [readers, read, run, part](wxString& command) {
            if ((*readers)[run].BeginReadHeaders(part, command))
                return true;
            (*read)[run] = 1;
            return false;
        };
        job.end = [readers, read, run](const SoxOutput& out) {
            (*readers)[run].EndReadHeaders(out);
            (*read)[run] = 1;
        };
        queue.Add(job);
    }
    return [read, perRun](size_t i) { return (*read)[i / perRun] != 0; };
}

std::vector<FileLength> MeasureLengths(const wxArrayString& paths, SoxQueue& queue) {
    CSoxHandler measure;
    measure.SetOperation(SOX_TRACK_LENGTH);
    const std::function<bool(size_t)> headerRead = ReadHeadersAhead(measure, paths, queue);
    // Copies share what the header runs learn.
    std::vector<CSoxHandler> measures(paths.size(), measure);
    std::unique_ptr<bool[]> measured(new bool[paths.size()]());
    std::vector<wxString> refused(paths.size());
    for (size_t i = 0; i < paths.size(); ++i) {
        refused[i] = UnreadableFileLine(paths[i]);
        if (!refused[i].empty())
            continue;
        measures[i].SetInputFile(paths[i]);
        SoxJob job = OperationJob(measures[i], &measured[i]);
        job.ready = [headerRead, i] { return headerRead(i); };
        queue.Add(job);
    }
    queue.Run();
    std::vector<FileLength> lengths(paths.size());
    for (size_t i = 0; i < paths.size(); ++i) {
        FileLength& length = lengths[i];
        CSoxHandler& sox = measures[i];
        length.measured = measured[i];
        if (length.measured) {
            length.seconds = sox.GetResultLong();
            length.exactSeconds = sox.GetResultSeconds();
            length.text = sox.GetResult();
        } else if (!refused[i].empty()) {
            length.line = refused[i];
        } else if (!queue.WasCancelled()) {
            length.line = sox.GetErrors().empty() ? wxFileName(paths[i]).GetFullName() +
                                                        ": SoX could not read its length."
                                                  : sox.GetErrors()[0];
        }
    }
    return lengths;
}

float Envelope::PeakBetween(double from, double to) const {
    const double count = static_cast<double>(peaks.size());
    const double first = std::max(0.0, std::floor(from / kSecondsPerPeak));
    const double last = std::min(count, std::max(first + 1, std::ceil(to / kSecondsPerPeak)));
    float peak = 0;
    for (size_t i = static_cast<size_t>(first); i < static_cast<size_t>(last); ++i)
        peak = std::max(peak, peaks[i]);
    return peak;
}

namespace {

// Frames per second and channels that EnvelopeJob's command reads the envelope in.
const long long kEnvelopeRate = 980;
const int kEnvelopeChannels = 2;

// The envelope of signed 16-bit little-endian samples as EnvelopeJob reads them.
Envelope EnvelopeOfSamples(const std::string& bytes) {
    const long long perSecond = std::llround(1 / Envelope::kSecondsPerPeak);
    const long long frames = static_cast<long long>(bytes.size()) / 2 / kEnvelopeChannels;
    Envelope envelope;
    envelope.peaks.assign((frames * perSecond + kEnvelopeRate - 1) / kEnvelopeRate, 0.0f);
    for (long long frame = 0; frame < frames; ++frame) {
        float& peak = envelope.peaks[frame * perSecond / kEnvelopeRate];
        for (int channel = 0; channel < kEnvelopeChannels; ++channel) {
            const size_t at = 2 * (frame * kEnvelopeChannels + channel);
            const auto low = static_cast<unsigned char>(bytes[at]);
            const auto high = static_cast<unsigned char>(bytes[at + 1]);
            const int value = static_cast<int16_t>(static_cast<uint16_t>(low | high << 8));
            peak = std::max(peak, std::abs(value) / 32768.0f);
        }
    }
    return envelope;
}

} // namespace

SoxJob EnvelopeJob(const wxString& path,
                   std::function<void(const Envelope& envelope, const wxString& failure)> done) {
    SoxJob job;
    job.rawOutput = true;
    job.begin = [path](wxString& command) {
        // A plain low rate would filter away all but the bass. Keeping one
        // sample in 45 at 44.1 kHz, unfiltered, folds the highs down
        // instead, so every part of the sound keeps its level; most tracks
        // are at that rate already and cost no more than decoding. Two
        // channels, folded here by their larger sample: mixed to one, a
        // sound on one side would count half. 16 bits are plenty for a
        // picture and halve what the pipe carries.
        command = "./sox -V1 -D " + QuoteSoxPath(path) +
                  " -t s16 -L -r 980 -c 2 - rate -q 44100 downsample 45";
        return true;
    };
    job.end = [done](const SoxOutput& out) {
        if (out.cancelled) {
            done(Envelope(), wxString());
            return;
        }
        const wxString failure = RunFailure(out);
        done(failure.empty() ? EnvelopeOfSamples(out.data) : Envelope(), failure);
    };
    return job;
}
