// velisto-batch's command line: its options and help, and the settings and
// tracks they give.
#include "BatchOptions.h"

#include "Formats.h"
#include "Manifest.h"
#include "Placement.h"

#include <wx/filefn.h>
#include <wx/filename.h>
#include <wx/msgout.h>
#include <wx/thread.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

const char kHelp[] =
    "Usage: velisto-batch [OPTION]... TRACK...\n"
    "       velisto-batch --save-preset NAME [--replace] [OPTION]...\n"
    "       velisto-batch --list-presets\n"
    "       velisto-batch --identify FILE --manifest MANIFEST\n"
    "       velisto-batch --help | --version\n"
    "\n"
    "Renders a watermarked copy of every TRACK, as the window's GO! button does.\n"
    "A TRACK is an audio file, or a folder whose MP3, WAV, AIFF, FLAC, Ogg,\n"
    "WavPack, M4A, MP4, Opus and WMA files are taken in name order (M4A, MP4,\n"
    "Opus, WMA and MP3 are read with ffmpeg). One result line per track goes to\n"
    "standard output, in track order; progress goes to standard error. Every\n"
    "output carries its track's tags and pictures.\n"
    "\n"
    "The settings are those of the preset, changed by the options given:\n"
    "  --preset NAME      the stored preset to start from (default: \"Default Preset\"\n"
    "                     when stored, otherwise the window's first settings)\n"
    "  --watermark FILE   a watermark sound of at most %d seconds; give it again\n"
    "                     for more, used in turn (replaces the preset's list)\n"
    "  --start SECONDS    seconds before the first watermark:\n"
    "                     %s\n"
    "  --every SECONDS    seconds between watermarks, %d to %d (the window offers\n"
    "                     %s)\n"
    "  --level DB         watermark level on the files as recorded, %d to %d dB\n"
    "                     (0 plays them as recorded)\n"
    "  --level-lu LU      watermark level against the music's loudness (EBU R128),\n"
    "                     %d to %d LU: each copy that many LU above (or below) it\n"
    "  --level-against track|around\n"
    "                     the music --level-lu is measured on: the whole track, or\n"
    "                     the music around each copy (default: the preset's, else\n"
    "                     around)\n"
    "  --duck DB          dip the music under every copy, 0 to %d dB\n"
    "  --vary SECONDS     move each copy by up to SECONDS either way, 0 to %d,\n"
    "                     pseudo-randomly from the seed and the track's sound\n"
    "                     (0 keeps the regular places)\n"
    "  --seed N           the seed of that variation, 0 to 4294967295: the same\n"
    "                     seed and settings give the same files on any machine\n"
    "  --format FORMAT    %s\n"
    "  --bitrate KBITS    MP3, Opus or M4A bit rate in kbit/s, or Ogg's nominal one:\n"
    "                     %s\n"
    "  --mono             mono outputs\n"
    "  --clip SECONDS     write a clip of SECONDS of each track, 1 to %d (the\n"
    "                     window offers %s), or 0 for the whole track\n"
    "  --clip-start TIME  where in the track the clip starts: seconds (45) or\n"
    "                     minutes and seconds (1:30), up to %s\n"
    "  --fade SECONDS     fade the clip in and out, 0 to %d seconds\n"
    "  --prefix TEXT      put TEXT before every output name\n"
    "  --suffix TEXT      put TEXT after every output name (either replaces the\n"
    "                     preset's prefix or suffix)\n"
    "  --output DIR       output folder, created when missing\n"
    "  --merge NAME       join the outputs, in track order, into DIR/NAME; only the\n"
    "                     joined file is kept\n"
    "  --recipients FILE  one copy of every track per recipient of FILE (CSV: a name\n"
    "                     and an optional ID per line), in a folder per recipient,\n"
    "                     each tagged with its recipient and placed with a seed of\n"
    "                     its own; a manifest, %s, is written beside them\n"
    "  --recipient-in-name  the recipient at the end of each file name instead of a\n"
    "                     folder per recipient\n"
    "  --spoken-tag       add a spoken \"For NAME\" to each recipient's watermarks\n"
    "                     (made with espeak-ng)\n"
    "  --jobs N           render N tracks at once (default: one per processor core;\n"
    "                     at most %d per core, %d here)\n"
    "  --skip-existing    leave out every track whose output file exists and is\n"
    "                     newer than the track and the watermark files (not with\n"
    "                     --merge); it is listed as already rendered\n"
    "  --dry-run          print each track's output file and watermark positions,\n"
    "                     each copy's gain and the music's dip under it; render\n"
    "                     nothing\n"
    "  --save-preset NAME store the settings (the preset's, changed by the options;\n"
    "                     --output becomes its folder) as preset NAME and render\n"
    "                     nothing; a stored preset of that name, \"Default Preset\"\n"
    "                     included, is replaced only with --replace\n"
    "  --replace          let --save-preset replace a stored preset\n"
    "  --list-presets     print the names of the stored presets\n"
    "  --identify FILE    tell which recipient's copy FILE is: by its tags, else by\n"
    "                     where its watermarks sound (its start cut off, encoded\n"
    "                     again, turned down, or its speed changed by up to 1%%);\n"
    "                     renders nothing\n"
    "  --manifest MANIFEST\n"
    "                     the manifest.json a recipients run wrote beside its\n"
    "                     copies, which --identify matches FILE against\n"
    "  --help             print this help\n"
    "  --version          print the version\n"
    "\n"
    "Every track is decoded once before it renders, to measure its loudness and\n"
    "peaks: a copy and the music under it never clip, the music dipping further\n"
    "where they would. That costs about a third of a plain render's time.\n"
    "\n"
    "Presets are read from ~/.velisto, the window's settings file; the shipped\n"
    "presets are added to it when missing, as the window does.\n"
    "\n"
    "Exit status: 0 when every track was rendered (or skipped as already\n"
    "rendered), 1 when some track was not, 2 when the command cannot be carried\n"
    "out (nothing is rendered), 129, 130 or 143 when interrupted by SIGHUP, SIGINT\n"
    "or SIGTERM. With --identify: 0 when a recipient matches, 1 when none does,\n"
    "2 when FILE or MANIFEST cannot be read.\n";

// Longest interval and clip the command line takes, in seconds.
const int kMaxInterval = 600;
const int kMaxClip = 3600;

// "a, b or c".
wxString Choices(const std::vector<int>& values) {
    wxString text;
    for (size_t i = 0; i < values.size(); ++i) {
        if (i > 0)
            text += i + 1 == values.size() ? " or " : ", ";
        text += wxString::Format("%d", values[i]);
    }
    return text;
}

std::vector<int> Offered(int (*valueFor)(int), int count) {
    std::vector<int> values;
    for (int i = 0; i < count; ++i)
        values.push_back(valueFor(i));
    return values;
}

// The whole number an option offers; false with problem naming the choices.
bool OfferedValue(const wxString& option, const wxString& text, const std::vector<int>& offered,
                  int& value, wxString& problem) {
    long number = 0;
    if (!text.ToLong(&number) ||
        std::find(offered.begin(), offered.end(), number) == offered.end()) {
        problem = "--" + option + " " + text + " is not offered; use " + Choices(offered);
        return false;
    }
    value = static_cast<int>(number);
    return true;
}

wxString Absolute(const wxString& path, const wxString& from) {
    wxFileName name(path);
    name.MakeAbsolute(from);
    return name.GetFullPath();
}

// Catches what wxCmdLineParser prints about a bad command line.
class CaughtOutput : public wxMessageOutput {
public:
    void Output(const wxString& text) override { m_text += text; }
    // The first line said.
    wxString First() const {
        wxString first = m_text;
        first.Trim(false);
        return first.BeforeFirst('\n').Trim();
    }

private:
    wxString m_text;
};

const wxCmdLineEntryDesc kOptions[] = {
    {wxCMD_LINE_SWITCH, nullptr, "help", nullptr, wxCMD_LINE_VAL_NONE, 0},
    {wxCMD_LINE_SWITCH, nullptr, "version", nullptr, wxCMD_LINE_VAL_NONE, 0},
    {wxCMD_LINE_SWITCH, nullptr, "list-presets", nullptr, wxCMD_LINE_VAL_NONE, 0},
    {wxCMD_LINE_OPTION, nullptr, "preset", nullptr, wxCMD_LINE_VAL_STRING, 0},
    {wxCMD_LINE_OPTION, nullptr, "watermark", nullptr, wxCMD_LINE_VAL_STRING, 0},
    {wxCMD_LINE_OPTION, nullptr, "start", nullptr, wxCMD_LINE_VAL_STRING, 0},
    {wxCMD_LINE_OPTION, nullptr, "every", nullptr, wxCMD_LINE_VAL_STRING, 0},
    {wxCMD_LINE_OPTION, nullptr, "level", nullptr, wxCMD_LINE_VAL_STRING, 0},
    {wxCMD_LINE_OPTION, nullptr, "level-lu", nullptr, wxCMD_LINE_VAL_STRING, 0},
    {wxCMD_LINE_OPTION, nullptr, "level-against", nullptr, wxCMD_LINE_VAL_STRING, 0},
    {wxCMD_LINE_OPTION, nullptr, "duck", nullptr, wxCMD_LINE_VAL_STRING, 0},
    {wxCMD_LINE_OPTION, nullptr, "vary", nullptr, wxCMD_LINE_VAL_STRING, 0},
    {wxCMD_LINE_OPTION, nullptr, "seed", nullptr, wxCMD_LINE_VAL_STRING, 0},
    {wxCMD_LINE_OPTION, nullptr, "recipients", nullptr, wxCMD_LINE_VAL_STRING, 0},
    {wxCMD_LINE_SWITCH, nullptr, "recipient-in-name", nullptr, wxCMD_LINE_VAL_NONE, 0},
    {wxCMD_LINE_SWITCH, nullptr, "spoken-tag", nullptr, wxCMD_LINE_VAL_NONE, 0},
    {wxCMD_LINE_OPTION, nullptr, "format", nullptr, wxCMD_LINE_VAL_STRING, 0},
    {wxCMD_LINE_OPTION, nullptr, "bitrate", nullptr, wxCMD_LINE_VAL_STRING, 0},
    {wxCMD_LINE_SWITCH, nullptr, "mono", nullptr, wxCMD_LINE_VAL_NONE, 0},
    {wxCMD_LINE_OPTION, nullptr, "clip", nullptr, wxCMD_LINE_VAL_STRING, 0},
    {wxCMD_LINE_OPTION, nullptr, "clip-start", nullptr, wxCMD_LINE_VAL_STRING, 0},
    {wxCMD_LINE_OPTION, nullptr, "fade", nullptr, wxCMD_LINE_VAL_STRING, 0},
    {wxCMD_LINE_OPTION, nullptr, "prefix", nullptr, wxCMD_LINE_VAL_STRING, 0},
    {wxCMD_LINE_OPTION, nullptr, "suffix", nullptr, wxCMD_LINE_VAL_STRING, 0},
    {wxCMD_LINE_OPTION, nullptr, "output", nullptr, wxCMD_LINE_VAL_STRING, 0},
    {wxCMD_LINE_OPTION, nullptr, "merge", nullptr, wxCMD_LINE_VAL_STRING, 0},
    {wxCMD_LINE_OPTION, nullptr, "jobs", nullptr, wxCMD_LINE_VAL_STRING, 0},
    {wxCMD_LINE_SWITCH, nullptr, "skip-existing", nullptr, wxCMD_LINE_VAL_NONE, 0},
    {wxCMD_LINE_SWITCH, nullptr, "dry-run", nullptr, wxCMD_LINE_VAL_NONE, 0},
    {wxCMD_LINE_OPTION, nullptr, "save-preset", nullptr, wxCMD_LINE_VAL_STRING, 0},
    {wxCMD_LINE_SWITCH, nullptr, "replace", nullptr, wxCMD_LINE_VAL_NONE, 0},
    {wxCMD_LINE_OPTION, nullptr, "identify", nullptr, wxCMD_LINE_VAL_STRING, 0},
    {wxCMD_LINE_OPTION, nullptr, "manifest", nullptr, wxCMD_LINE_VAL_STRING, 0},
    {wxCMD_LINE_PARAM, nullptr, nullptr, "TRACK", wxCMD_LINE_VAL_STRING,
     wxCMD_LINE_PARAM_OPTIONAL | wxCMD_LINE_PARAM_MULTIPLE},
    {wxCMD_LINE_NONE, nullptr, nullptr, nullptr, wxCMD_LINE_VAL_NONE, 0},
};

} // namespace

// More renders at once than this only run out of processes and memory.
const int kJobsPerCore = 4;

int MaxJobs() {
    return kJobsPerCore * std::max(1, wxThread::GetCPUCount());
}

BatchOptions::BatchOptions(int argc, wxChar** argv) : m_parser(kOptions, argc, argv) {
}

wxString BatchOptions::HelpText() {
    const std::vector<int> clips = Offered(ClipSecondsForIndex, g_clipChoiceCount);
    return wxString::Format(
        kHelp, g_maxWatermarkSeconds, Choices(Offered(StartSecondsForIndex, g_startChoiceCount)), 1,
        kMaxInterval, Choices(Offered(RepeatSecondsForIndex, g_repeatChoiceCount)),
        g_minWatermarkLevel, g_maxWatermarkLevel, g_minWatermarkLevel, g_maxWatermarkLevel,
        g_maxDuck, g_maxVary, FormatNames(),
        Choices(Offered(BitrateForSliderPosition, g_qualityPositionCount)), kMaxClip,
        Choices(std::vector<int>(clips.begin() + 1, clips.end())), ClockText(g_maxClipStart),
        g_maxClipFade, g_manifestName, kJobsPerCore, MaxJobs());
}

wxString BatchOptions::Parse() {
    // It prints its complaints; they become one line here.
    CaughtOutput caught;
    wxMessageOutput* previous = wxMessageOutput::Set(&caught);
    const int parsed = m_parser.Parse(false);
    wxMessageOutput::Set(previous);
    return parsed == 0 ? wxString() : caught.First();
}

bool BatchOptions::ApplyOptions(Preset& preset, wxString& problem) const {
    wxArrayString watermarks;
    for (const wxCmdLineArg& arg : m_parser.GetArguments()) {
        if (arg.GetKind() == wxCMD_LINE_OPTION && arg.GetLongName() == "watermark")
            watermarks.Add(Absolute(arg.GetStrVal(), m_startFolder));
    }
    if (!watermarks.empty())
        preset.watermarks = watermarks;
    if (Has("start") &&
        !OfferedValue("start", Option("start"), Offered(StartSecondsForIndex, g_startChoiceCount),
                      preset.start, problem))
        return false;
    if (!RangedValue("every", 1, kMaxInterval, preset.interval, problem) ||
        !RangedValue("level", g_minWatermarkLevel, g_maxWatermarkLevel, preset.level, problem) ||
        !RangedValue("level-lu", g_minWatermarkLevel, g_maxWatermarkLevel, preset.level, problem) ||
        !RangedValue("duck", 0, g_maxDuck, preset.duck, problem) ||
        !RangedValue("vary", 0, g_maxVary, preset.vary, problem) ||
        !RangedValue("clip", 0, kMaxClip, preset.clipLength, problem) ||

        !RangedValue("fade", 0, g_maxClipFade, preset.clipFade, problem))
        return false;
    // As the window's field takes it: seconds, or minutes and seconds.
    if (Has("clip-start") && !ParseClockText(Option("clip-start"), preset.clipStart)) {
        problem = "--clip-start " + Option("clip-start") +
                  " is not offered; use seconds (45) or minutes and seconds (1:30), up to " +
                  ClockText(g_maxClipStart);
        return false;
    }
    if (Has("level") && (Has("level-lu") || Has("level-against"))) {
        problem = "--level sets a level on the files as recorded; --level-lu and "
                  "--level-against set one against the music: give one or the other";
        return false;
    }
    if (Has("level"))
        preset.levelMode = LevelMode::AsRecorded;
    if (Has("level-against")) {
        LevelMode against = LevelMode::AsRecorded;
        if (!LevelModeNamed(Option("level-against"), against) || against == LevelMode::AsRecorded) {
            problem = "--level-against " + Option("level-against") +
                      " is not offered; use track or around";
            return false;
        }
        preset.levelMode = against;
    }
    if (Has("level-lu") && !Has("level-against") && preset.levelMode == LevelMode::AsRecorded)
        preset.levelMode = LevelMode::AgainstMusicThere;
    if (Has("format") && !FormatNamed(Option("format"), preset.format)) {
        problem = "--format " + Option("format") + " is not offered; use " + FormatNames();
        return false;
    }
    if (Has("bitrate") && !OfferedValue("bitrate", Option("bitrate"),
                                        Offered(BitrateForSliderPosition, g_qualityPositionCount),
                                        preset.bitrate, problem))
        return false;
    if (Has("mono"))
        preset.mono = true;
    if (Has("output"))
        preset.folder = Option("output");
    if (!preset.folder.empty())
        preset.folder = Absolute(preset.folder, m_startFolder);
    if (Has("prefix") || Has("suffix")) {
        // Either replaces the preset's; the window has one or the other.
        preset.suffix = !Has("prefix");
        preset.affix = Option(preset.suffix ? "suffix" : "prefix");
    }
    if (Has("merge"))
        preset.merge = true;
    if (Has("seed")) {
        unsigned long long seed = 0;
        if (!Option("seed").ToULongLong(&seed) || seed > UINT32_MAX ||
            Option("seed").find_first_not_of("0123456789") != wxString::npos) {
            problem = "--seed " + Option("seed") + " is not offered; use 0 to 4294967295";
            return false;
        }
        preset.seed = static_cast<uint32_t>(seed);
    }
    return true;
}

bool BatchOptions::ApplyRecipients(RecipientOptions& recipients, wxString& problem) const {
    if (!Has("recipients")) {
        if (Has("recipient-in-name") || Has("spoken-tag")) {
            problem = wxString("--") + (Has("spoken-tag") ? "spoken-tag" : "recipient-in-name") +
                      " needs --recipients FILE";
            return false;
        }
        return true;
    }
    if (!ReadRecipients(Absolute(Option("recipients"), m_startFolder), recipients.list, problem))
        return false;
    recipients.naming =
        Has("recipient-in-name") ? RecipientNaming::FileName : RecipientNaming::Folder;
    recipients.spoken = Has("spoken-tag");
    return true;
}

bool BatchOptions::RangedValue(const wxString& name, int low, int high, int& value,
                               wxString& problem) const {
    if (!Has(name))
        return true;
    long number = 0;
    if (!Option(name).ToLong(&number) || number < low || number > high) {
        problem =
            wxString::Format("--%s %s is not offered; use %d to %d", name, Option(name), low, high);
        return false;
    }
    value = static_cast<int>(number);
    return true;
}

wxArrayString BatchOptions::Tracks(wxArrayString& notes) const {
    wxArrayString tracks;
    for (size_t i = 0; i < m_parser.GetParamCount(); ++i) {
        const wxString path = Absolute(m_parser.GetParam(i), m_startFolder);
        if (!wxDirExists(path)) {
            tracks.Add(path);
            continue;
        }
        const wxArrayString files = AudioFilesIn(path);
        if (files.empty())
            notes.Add("no audio file in " + path);
        for (const wxString& file : files)
            tracks.Add(file);
    }
    return tracks;
}
