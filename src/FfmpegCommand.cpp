// What ffmpeg does for the engine: decoding into SoX's pipe inputs, probing
// the files it decodes, and encoding SoX's output.
#include "FfmpegCommand.h"

#include "SoxCommand.h"
#include "SoxRunner.h"

#include <wx/filename.h>
#include <wx/utils.h>

#include <cmath>

namespace {

// SoX reads MP3 with its encoder's delay and padding as sound; ffmpeg
// honours the LAME header that states them. The others SoX cannot read.
const char* const kDecoded[] = {"mp3", "m4a", "mp4", "opus", "wma"};

const wxString kEncoderFailed = "velisto-encoder-failed";

// What a user calls the files of path's kind: "M4A", "Opus".
wxString KindOf(const wxString& path) {
    const wxString ext = wxFileName(path).GetExt().Lower();
    return ext == "opus" ? wxString("Opus") : ext.Upper();
}

wxString InstallAdvice() {
    return "ffmpeg, which is not installed; install it with \"sudo apt install ffmpeg\".";
}

// ffmpeg's options that write format at kbits (0: the encoder's default).
wxString EncoderOptions(OutputFormat format, int kbits) {
    const wxString bitrate = kbits > 0 ? wxString::Format("-b:a %dk ", kbits) : wxString();
    switch (format) {
    case OutputFormat::Mp3:
        // The Xing/LAME frame states delay and padding for gapless players;
        // the tags are written afterwards.
        return "-c:a libmp3lame " + (kbits > 0 ? bitrate : "-q:a 2 ") +
               "-id3v2_version 0 -write_xing 1 -f mp3";
    case OutputFormat::Opus:
        return "-c:a libopus " + bitrate + "-f opus";
    case OutputFormat::M4a:
        // The index first, so that a web player starts before the whole file arrived.
        return "-c:a aac " + bitrate + "-f ipod -movflags +faststart";
    default:
        return wxString();
    }
}

} // namespace

bool DecodedByFfmpeg(const wxString& path) {
    const wxString ext = wxFileName(path).GetExt();
    for (const char* known : kDecoded) {
        if (ext.IsSameAs(known, false))
            return true;
    }
    return false;
}

bool ProbedByFfmpeg(const wxString& path) {
    return DecodedByFfmpeg(path) && !wxFileName(path).GetExt().IsSameAs("mp3", false);
}

bool EncodedByFfmpeg(OutputFormat format) {
    return format == OutputFormat::Mp3 || format == OutputFormat::Opus ||
           format == OutputFormat::M4a;
}

bool FfmpegInstalled() {
    return OnPath("ffmpeg") && OnPath("ffprobe");
}

wxString MissingDecoderReason(const wxString& path) {
    if (!DecodedByFfmpeg(path) || FfmpegInstalled())
        return wxString();
    return "Not processed: " + KindOf(path) + " files are read with " + InstallAdvice();
}

wxString MissingEncoderReason(OutputFormat format) {
    if (!EncodedByFfmpeg(format) || FfmpegInstalled())
        return wxString();
    return KindOf("x." + FormatExtension(format)) + " files are written with " + InstallAdvice();
}

wxString DecodeInput(const wxString& path, long long frames) {
    // "file:" keeps a name that looks like an option or a protocol a file.
    // A reader that has all it needs closes the pipe, and ffmpeg ends with
    // status 1 and its words on the shared error stream: quiet below fatal,
    // and that status is no failure. Its inputs were opened when the file
    // was probed; killed, it ends otherwise.
    const wxString end =
        frames > 0 ? wxString::Format(" -af atrim=end_sample=%lld", frames) : wxString();
    return "| ffmpeg -nostdin -v fatal -i " + ShellWord("file:" + path) + " -map 0:a:0" + end +
           " -f sox - || { s=$?; [ $s -eq 1 ] || " + FailureReport("decoder", "$s") + "; }";
}

wxString ProbeCommand(const wxString& path) {
    return "ffprobe -v error -select_streams a:0 -show_entries "
           "stream=sample_rate,channels,bits_per_raw_sample,duration,duration_ts,time_base:"
           "format=duration,format_name "
           "-of default=noprint_wrappers=1 " +
           SplitterWord("file:" + path);
}

wxString ProbeFailure(const SoxOutput& out) {
    if (out.status == -1)
        return "ffprobe could not be started.";
    // What it says of other streams (a cover it cannot decode) does not
    // matter while the sound's is there.
    const AudioHeader header = ParseProbe(out.output);
    if (out.status == 0 && header.rate > 0 && header.channels > 0)
        return wxString();
    // "file:NAME: Invalid data found when processing input": the reason
    // after the name, which the line it goes into already shows.
    for (const wxString& line : out.errors) {
        wxString reason = wxString(line).Trim();
        if (reason.empty())
            continue;
        if (reason.StartsWith("file:"))
            reason = reason.AfterLast(':').Trim(false);
        return "ffmpeg cannot read it: " + reason + ".";
    }
    if (out.status != 0)
        return wxString::Format("ffprobe failed with status %ld.", out.status);
    return "it holds no sound ffmpeg can read.";
}

AudioHeader ParseProbe(const wxArrayString& lines) {
    AudioHeader header;
    double seconds = -1;
    long long units = -1;
    wxString timeBase, container;
    for (const wxString& line : lines) {
        const wxString key = line.BeforeFirst('=');
        const wxString value = line.AfterFirst('=');
        double number = 0;
        if (key == "sample_rate")
            header.rate = static_cast<long>(LeadingNumber(value));
        else if (key == "channels")
            header.channels = static_cast<long>(LeadingNumber(value));
        else if (key == "bits_per_raw_sample")
            header.bits = static_cast<long>(std::max(0LL, LeadingNumber(value)));
        else if (key == "duration" && seconds < 0 && value.ToCDouble(&number) && number >= 0)
            seconds = number; // the stream's, else the container's
        else if (key == "duration_ts")
            units = LeadingNumber(value);
        else if (key == "time_base")
            timeBase = value;
        else if (key == "format_name")
            container = value;
    }
    // A lossy stream has no sample size of its own; a lossless output of it
    // is written as CD audio is.
    if (header.bits <= 0)
        header.bits = 16;
    if (seconds >= 0 && header.rate > 0)
        header.statedFrames = std::llround(seconds * header.rate);
    // MP4 counts in samples and states the sound's end in its edit list;
    // Ogg's stated length still holds Opus's pre-skip.
    if (container.StartsWith("mov,") && units > 0 &&
        timeBase == wxString::Format("1/%ld", header.rate))
        header.frames = header.statedFrames = units;
    return header;
}

wxString EncodeCommand(const wxString& soxCommand, OutputFormat format, int kbits,
                       const wxString& output) {
    // SoX's arguments are the script's own ("$@"); SoX writes its native
    // format, which ffmpeg reads with every sample as it is. bash, for the
    // status of each side: each reports its own failure. Both die with the
    // shell, which dies with the program.
    const wxString script =
        "\"$@\" | " + DieWithParent() +
        "ffmpeg -nostdin -v error -f sox -i - -map_metadata -1 -fflags +bitexact "
        "-flags:a +bitexact " +
        EncoderOptions(format, kbits) + " -y " + ShellWord("file:" + output) +
        "; set -- \"${PIPESTATUS[@]}\"; [ $1 -eq 0 ] || " + FailureReport("render", "$1") +
        "; [ $2 -eq 0 ] || { echo " + kEncoderFailed + " $2 >&2; exit $2; }; exit $1";
    return "/bin/bash -c " + SplitterWord(script) + " velisto " + DieWithParent() + soxCommand +
           " -t sox -";
}

wxString EncoderFailure(const wxArrayString& errors) {
    bool failed = false;
    wxString words;
    for (const wxString& line : errors) {
        if (line.StartsWith(kEncoderFailed + " "))
            failed = true;
        else if (words.empty() && !line.StartsWith("sox ") && !line.StartsWith("velisto-") &&
                 !wxString(line).Trim().empty())
            words = wxString(line).Trim();
    }
    if (!failed)
        return wxString();
    // "av_interleaved_write_frame(): No space left on device": the reason
    // without the function that met it.
    if (words.Contains("(): "))
        words = words.AfterFirst(')').Mid(3);
    if (words.Contains("No space left on device"))
        return "the output file could not be written: the disk is full.";
    return words.empty() ? wxString("ffmpeg could not write the output file.")
                         : "ffmpeg could not write the output file: " + words + ".";
}
