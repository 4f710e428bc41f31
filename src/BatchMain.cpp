// velisto-batch: the window's rendering run from a terminal, a script or a
// scheduled job. It maps its options onto a Preset and hands the run to the
// same RenderRun the window uses; it needs wxBase only, so no display.

#include "AppPaths.h"
#include "BatchProgress.h"
#include "PresetStore.h"
#include "RenderRun.h"
#include "SettingsFile.h"
#include "Placement.h"
#include "SoxHandler.h"

#include <wx/app.h>
#include <wx/apptrait.h>
#include <wx/cmdline.h>
#include <wx/evtloop.h>
#include <wx/fileconf.h>
#include <wx/filefn.h>
#include <wx/filename.h>
#include <wx/msgout.h>
#include <wx/stdpaths.h>
#include <wx/strconv.h>
#include <wx/thread.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <memory>
#include <unistd.h>
#include <vector>

namespace {

const char kProgram[] = "velisto-batch";

enum Status { kRendered = 0, kNotRendered = 1, kUsage = 2 };

const char kHelp[] =
    "Usage: velisto-batch [OPTION]... TRACK...\n"
    "       velisto-batch --list-presets\n"
    "       velisto-batch --help | --version\n"
    "\n"
    "Renders a watermarked copy of every TRACK, as the window's GO! button does.\n"
    "A TRACK is an audio file, or a folder whose MP3, WAV, AIFF, FLAC, Ogg and\n"
    "WavPack files are taken in name order. One result line per track goes to\n"
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
    "  --level DB         watermark level, %d to %d dB (0 plays them as recorded)\n"
    "  --format FORMAT    %s\n"
    "  --bitrate KBITS    MP3 bit rate in kbit/s, or Ogg's nominal one:\n"
    "                     %s\n"
    "  --mono             mono outputs\n"
    "  --clip SECONDS     write a clip of SECONDS of each track, 1 to %d (the\n"
    "                     window offers %s), or 0 for the whole track\n"
    "  --clip-start SECONDS\n"
    "                     second of the track the clip starts at, 0 to %d\n"
    "  --fade SECONDS     fade the clip in and out, 0 to %d seconds\n"
    "  --prefix TEXT      put TEXT before every output name\n"
    "  --suffix TEXT      put TEXT after every output name (either replaces the\n"
    "                     preset's prefix or suffix)\n"
    "  --output DIR       output folder, created when missing\n"
    "  --merge NAME       join the outputs, in track order, into DIR/NAME; only the\n"
    "                     joined file is kept\n"
    "  --jobs N           render N tracks at once (default: one per processor core;\n"
    "                     at most %d per core, %d here)\n"
    "  --skip-existing    leave out every track whose output file exists and is\n"
    "                     newer than the track and the watermark files (not with\n"
    "                     --merge); it is listed as already rendered\n"
    "  --dry-run          print each track's output file and watermark positions;\n"
    "                     render nothing\n"
    "  --list-presets     print the names of the stored presets\n"
    "  --help             print this help\n"
    "  --version          print the version\n"
    "\n"
    "Presets are read from ~/.velisto, the window's settings file; the shipped\n"
    "presets are added to it when missing, as the window does.\n"
    "\n"
    "Exit status: 0 when every track was rendered (or skipped as already\n"
    "rendered), 1 when some track was not, 2 when the command cannot be carried\n"
    "out (nothing is rendered), 129, 130 or 143 when interrupted by SIGHUP, SIGINT\n"
    "or SIGTERM.\n";

// The signal that asked the run to stop, or 0.
volatile std::sig_atomic_t g_signal = 0;

void OnStopSignal(int signal) {
    if (!g_signal)
        g_signal = signal;
}

// A closed standard error must fail the write, not end the program while SoX
// runs. A handler rather than SIG_IGN: SoX's pipe inputs must not inherit it.
void OnBrokenPipe(int) {
}

// More renders at once than this only run out of processes and memory.
const int kJobsPerCore = 4;
int MaxJobs() {
    return kJobsPerCore * std::max(1, wxThread::GetCPUCount());
}

// Longest interval and clip the command line takes, in seconds.
const int kMaxInterval = 600;
const int kMaxClip = 3600;

// What a dry run says of the clip taken from a track (from: its first
// second, -1 for the whole track), or empty when not clipping.
wxString ClipText(const RenderSettings& settings, int from) {
    if (settings.clipLength <= 0)
        return wxString();
    const wxString fade =
        settings.clipFade > 0 ? wxString::Format(", faded over %d s", settings.clipFade) : "";
    if (from < 0)
        return wxString::Format("the whole track (shorter than the %d s clip)",
                                settings.clipLength) +
               fade + "; ";
    return "clip " + ClockText(from) + " to " + ClockText(from + settings.clipLength) + fade + "; ";
}

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
    {wxCMD_LINE_PARAM, nullptr, nullptr, "TRACK", wxCMD_LINE_VAL_STRING,
     wxCMD_LINE_PARAM_OPTIONAL | wxCMD_LINE_PARAM_MULTIPLE},
    {wxCMD_LINE_NONE, nullptr, nullptr, nullptr, wxCMD_LINE_VAL_NONE, 0},
};

// One invocation, from the command line to the exit status.
class Batch {
public:
    Batch(int argc, wxChar** argv) : m_parser(kOptions, argc, argv) {}
    int Run();

private:
    // Refuses the command line (status 2): one line naming the problem, and
    // where to look.
    int Usage(const wxString& problem) const {
        wxString line = problem;
        if (line.EndsWith("."))
            line.RemoveLast();
        return Fail(line + "; see velisto-batch --help");
    }
    // Refuses the run (status 2) for a reason the help would not explain.
    int Fail(const wxString& text) const {
        Print(stderr, wxString(kProgram) + ": " + text + "\n");
        return kUsage;
    }
    wxString Option(const wxString& name) const {
        wxString value;
        m_parser.Found(name, &value);
        return value;
    }
    bool Has(const wxString& name) const { return m_parser.Found(name); }
    // Sets value from option name when given, a whole number from low to
    // high; false with the problem when it is not one.
    bool RangedValue(const wxString& name, int low, int high, int& value, wxString& problem) const;
    // wxCmdLineParser's complaint about the command line, or empty.
    wxString Parse();
    // The options' changes to preset; false with the usage problem.
    bool ApplyOptions(Preset& preset, wxString& problem) const;
    wxArrayString Tracks() const;
    // Why the watermarks cannot be used, or empty.
    wxString WatermarkProblem(const wxArrayString& watermarks) const;
    // --help and --version.
    int Informational() const;
    // The preset named (or "Default Preset", or the first settings) with the
    // options applied, and the run's settings made of it; a status other
    // than kRendered when the command is refused.
    int Settings(PresetStore& presets, const wxArrayString& tracks, Preset& preset,
                 RenderSettings& settings) const;
    // Why the run cannot start (status 2 after the line), or kRendered.
    int CheckRun(const RenderRun& run, const RenderSettings& settings, bool dryRun,
                 const wxArrayString& watermarks) const;
    int DryRun(const RenderSettings& settings, const wxArrayString& tracks,
               const wxArrayString& watermarks) const;
    int Render(RenderRun& run, long jobs) const;

    wxCmdLineParser m_parser;
    wxString m_startFolder;
};

wxString Batch::Parse() {
    // It prints its complaints; they become one line here.
    CaughtOutput caught;
    wxMessageOutput* previous = wxMessageOutput::Set(&caught);
    const int parsed = m_parser.Parse(false);
    wxMessageOutput::Set(previous);
    return parsed == 0 ? wxString() : caught.First();
}

bool Batch::ApplyOptions(Preset& preset, wxString& problem) const {
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
        !RangedValue("clip", 0, kMaxClip, preset.clipLength, problem) ||
        !RangedValue("clip-start", 0, g_maxClipStart, preset.clipStart, problem) ||
        !RangedValue("fade", 0, g_maxClipFade, preset.clipFade, problem))
        return false;
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
    return true;
}

bool Batch::RangedValue(const wxString& name, int low, int high, int& value,
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

wxArrayString Batch::Tracks() const {
    wxArrayString tracks;
    for (size_t i = 0; i < m_parser.GetParamCount(); ++i) {
        const wxString path = Absolute(m_parser.GetParam(i), m_startFolder);
        if (!wxDirExists(path)) {
            tracks.Add(path);
            continue;
        }
        const wxArrayString files = AudioFilesIn(path);
        if (files.empty())
            Print(stderr, wxString(kProgram) + ": no audio file in " + path + "\n");
        for (const wxString& file : files)
            tracks.Add(file);
    }
    return tracks;
}

wxString Batch::WatermarkProblem(const wxArrayString& watermarks) const {
    if (watermarks.empty())
        return "no watermark file: give one with --watermark FILE";
    for (const wxString& path : watermarks) {
        // Anything else that stands there is MeasureLengths' to refuse.
        if (!wxFileName::Exists(path))
            return "watermark file not found: " + path;
    }
    SoxQueue queue;
    const std::vector<FileLength> lengths = MeasureLengths(watermarks, queue);
    for (size_t i = 0; i < lengths.size(); ++i) {
        if (!lengths[i].measured)
            return lengths[i].line;
        if (!IsWatermarkLength(lengths[i].seconds))
            return wxFileName(watermarks[i]).GetFullName() + ": too long (" + lengths[i].text +
                   "). " + WatermarkLengthRule();
        const wxString silent = CSoxHandler().WatermarkProblem(watermarks[i]);
        if (!silent.empty())
            return silent;
    }
    return wxString();
}

int Batch::DryRun(const RenderSettings& settings, const wxArrayString& tracks,
                  const wxArrayString& watermarks) const {
    RenderRun run(settings, tracks, watermarks);
    run.SetSkipRendered(Has("skip-existing"));
    const std::vector<TrackPlan> plans = run.Plan([] { return g_signal != 0; });
    int status = kRendered;
    for (size_t i = 0; i < plans.size(); ++i) {
        const TrackPlan& plan = plans[i];
        if (plan.result.outcome != TrackOutcome::Done) {
            if (!plan.result.HasOutput())
                status = kNotRendered;
            for (const wxString& line : plan.result.lines)
                Print(stdout, line + "\n");
            continue;
        }
        wxString at;
        for (int seconds : plan.positions)
            at += (at.empty() ? "" : ", ") + wxString::Format("%d", seconds);
        Print(stdout,
              DisplayName(tracks[i]) + " -> " + plan.output + ": " +
                  ClipText(settings, plan.clipFrom) +
                  (at.empty() ? wxString("no watermark, the track is too short")
                              : "watermarks at " + at + " s") +
                  (plan.cutCopy < 0 ? wxString()
                                    : wxString::Format(", the one at %d s cut at the clip's end",
                                                       plan.cutCopy)) +
                  "\n");
    }
    return g_signal ? 128 + g_signal : status;
}

int Batch::Informational() const {
    const std::vector<int> clips = Offered(ClipSecondsForIndex, g_clipChoiceCount);
    if (Has("version")) {
        Print(stdout, wxString(kProgram) + " " + VELISTO_VERSION + "\n");
        return kRendered;
    }
    Print(stdout, wxString::Format(
                      kHelp, g_maxWatermarkSeconds,
                      Choices(Offered(StartSecondsForIndex, g_startChoiceCount)), 1, kMaxInterval,
                      Choices(Offered(RepeatSecondsForIndex, g_repeatChoiceCount)),
                      g_minWatermarkLevel, g_maxWatermarkLevel, FormatNames(),
                      Choices(Offered(BitrateForSliderPosition, g_qualityPositionCount)), kMaxClip,
                      Choices(std::vector<int>(clips.begin() + 1, clips.end())), g_maxClipStart,
                      g_maxClipFade, kJobsPerCore, MaxJobs()));
    return kRendered;
}

int Batch::Settings(PresetStore& presets, const wxArrayString& tracks, Preset& preset,
                    RenderSettings& settings) const {
    preset = InitialPreset();
    if (Has("preset")) {
        if (!presets.Load(Option("preset"), preset))
            return Usage("there is no preset \"" + Option("preset") +
                         "\"; velisto-batch --list-presets shows them");
    } else {
        presets.Load(g_defaultPreset, preset);
    }
    wxString problem;
    if (!ApplyOptions(preset, problem))
        return Usage(problem);
    settings = SettingsFromPreset(preset);
    if (Has("merge"))
        settings.mergeName = Option("merge");
    else if (settings.merge && !tracks.empty())
        // A preset that merges: the name the window proposes.
        settings.mergeName = ProposedMergeName(tracks);
    if (Has("skip-existing") && settings.merge)
        return Usage("--skip-existing does not apply to a merged run (--merge, or a preset "
                     "that merges)");
    if (tracks.empty())
        return Fail("no track to render");
    if (settings.folder.empty())
        return Usage("no output folder: give one with --output DIR");
    return kRendered;
}

int Batch::CheckRun(const RenderRun& run, const RenderSettings& settings, bool dryRun,
                    const wxArrayString& watermarks) const {
    wxString problem = WatermarkProblem(watermarks);
    // A dry run may name a folder that only the real run creates.
    if (problem.empty() && (!dryRun || wxDirExists(settings.folder)))
        problem = run.InputProblem();
    if (problem.empty())
        problem = run.MergeProblem();
    return problem.empty() ? kRendered : Fail(problem);
}

int Batch::Render(RenderRun& run, long jobs) const {
    run.SetParallel(static_cast<int>(jobs));
    run.SetSkipRendered(Has("skip-existing"));
    Progress progress(g_signal);
    const wxArrayString lines = run.Run(&progress);
    progress.Done();
    for (const wxString& line : lines)
        Print(stdout, line + "\n");
    if (run.WasCancelled())
        return 128 + g_signal;
    return run.Complete() ? kRendered : kNotRendered;
}

int Batch::Run() {
    const wxString problem = Parse();
    if (!problem.empty())
        return Usage(problem);
    if (Has("help") || Has("version"))
        return Informational();
    long jobs = 0;
    if (Has("jobs") && (!Option("jobs").ToLong(&jobs) || jobs < 1))
        return Usage("--jobs " + Option("jobs") + " is not offered; use a number of 1 or more");
    jobs = std::min<long>(jobs, MaxJobs());
    const bool listing = Has("list-presets");
    if (!listing && m_parser.GetParamCount() == 0)
        return Usage("no TRACK given");

    // Every path given is taken from where the program was started, before
    // the working directory becomes the bundle's folder.
    m_startFolder = wxGetCwd();
    const wxArrayString tracks = listing ? wxArrayString() : Tracks();
    if (!EnterBundleFolder(wxStandardPaths::Get().GetExecutablePath()))
        return Fail("cannot find Velisto.app (SoX and the preset sounds) beside the program");

    // The lock is on the folder the file is written in, a link's target's.
    const wxString settingsFile = ResolvedSettingsPath(SettingsFilePath());
    auto lock = std::make_unique<SettingsLock>(settingsFile);
    SettingsConfig config(settingsFile, [](const wxString& problem) {
        Print(stderr, wxString(kProgram) + ": " + problem + "\n");
    });
    PresetStore presets(config, ShippedPresetsFolder());
    // A fresh machine gets the shipped presets, as the window's first start gives them.
    presets.AddShippedPresets();
    if (listing) {
        for (const wxString& name : presets.Names())
            Print(stdout, name + "\n");
        return kRendered;
    }

    Preset preset;
    RenderSettings settings;
    int status = Settings(presets, tracks, preset, settings);
    lock.reset();
    if (status != kRendered)
        return status;
    const bool dryRun = Has("dry-run");
    if (Has("output") && !dryRun && !wxDirExists(settings.folder) &&
        !wxFileName::Mkdir(settings.folder, wxS_DIR_DEFAULT, wxPATH_MKDIR_FULL) &&
        !wxDirExists(settings.folder)) // another job may have just made it
        return Fail("cannot create the output folder " + settings.folder);

    // A job started in the background of a script ignores Ctrl-C, one started
    // with nohup a hang-up; they stay so. Otherwise a closed terminal or SSH
    // session stops the run as Ctrl-C does, leaving no partial file.
    for (const int stop : {SIGINT, SIGHUP}) {
        if (std::signal(stop, OnStopSignal) == SIG_IGN)
            std::signal(stop, SIG_IGN);
    }
    std::signal(SIGTERM, OnStopSignal);
    std::signal(SIGPIPE, OnBrokenPipe);

    RenderRun run(settings, tracks, preset.watermarks);
    status = CheckRun(run, settings, dryRun, preset.watermarks);
    if (status != kRendered)
        return status;
    if (g_signal)
        return 128 + g_signal;
    if (dryRun)
        return DryRun(settings, tracks, preset.watermarks);
    return Render(run, jobs);
}

class BatchApp : public wxAppConsole {
public:
    // The command line is read in OnRun, with the program's own messages.
    bool OnInit() override { return true; }

    int OnRun() override {
        // SoX runs in the background while the run waits in this event loop.
        std::unique_ptr<wxEventLoopBase> loop(GetTraits()->CreateEventLoop());
        wxEventLoopActivator activate(loop.get());
        return Batch(argc, argv).Run();
    }
};

} // namespace

// A program that links every unit brings its own entry.
#ifndef VELISTO_NO_ENTRY
wxIMPLEMENT_APP_NO_MAIN(BatchApp);

// File names are bytes, not always UTF-8 (a Latin-1 "caf\xe9.wav"). The
// toolkit would drop such an argument and turn such a name in a folder into
// another name; read as the window reads them (bytes that are not UTF-8 kept
// apart), they reach the run intact, and it refuses them by name.
int main(int argc, char** argv) {
    static wxMBConvUTF8 fileNames(wxMBConvUTF8::MAP_INVALID_UTF8_TO_PUA);
    wxConvFileName = &fileNames;
    std::vector<wxWCharBuffer> args;
    std::vector<wchar_t*> wide;
    args.reserve(argc);
    for (int i = 0; i < argc; ++i) {
        args.push_back(fileNames.cMB2WC(argv[i]));
        wide.push_back(args.back().data());
    }
    wide.push_back(nullptr);
    return wxEntry(argc, wide.data());
}
#endif
