// velisto-batch: the window's rendering run from a terminal, a script or a
// scheduled job. It maps its options onto a Preset and hands the run to the
// same RenderRun the window uses; it needs wxBase only, so no display.

#include "AppPaths.h"
#include "BatchOptions.h"
#include "BatchProgress.h"
#include "LeakTrace.h"
#include "PresetStore.h"
#include "RenderRun.h"
#include "SettingsFile.h"
#include "Placement.h"
#include "SoxJobs.h"

#include <wx/app.h>
#include <wx/apptrait.h>
#include <wx/cmdline.h>
#include <wx/evtloop.h>
#include <wx/fileconf.h>
#include <wx/log.h>
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

// One invocation, from the command line to the exit status.
// A copy's gain as a dry run prints it: "-7.5 dB", with the music's dip
// under it when there is one ("-7.5 dB, music -3.0 dB").
wxString GainText(const CopyLevel& level) {
    wxString text = wxString::FromCDouble(level.gain, 1) + " dB";
    if (level.musicGain < -0.05)
        text += ", music " + wxString::FromCDouble(level.musicGain, 1) + " dB";
    return text;
}

class Batch {
public:
    Batch(int argc, wxChar** argv) : m_options(argc, argv) {}
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
    wxString Option(const wxString& name) const { return m_options.Option(name); }
    bool Has(const wxString& name) const { return m_options.Has(name); }
    // Why the watermarks cannot be used, or empty.
    wxString WatermarkProblem(const wxArrayString& watermarks) const;
    // --help and --version.
    int Informational() const;
    // The preset named (or "Default Preset", or the first settings) with the
    // options applied; a status other than kRendered when refused.
    int StartingPreset(PresetStore& presets, Preset& preset) const;
    // That preset, and the run's settings made of it; a status other than
    // kRendered when the command is refused.
    int Settings(PresetStore& presets, const wxArrayString& tracks, Preset& preset,
                 RenderSettings& settings) const;
    // Why the options do not go together with --save-preset, or empty.
    wxString SaveConflict() const;
    // Stores that preset as name, checked as a run checks it.
    int SavePreset(PresetStore& presets, const wxString& name) const;
    // Why the run cannot start (status 2 after the line), or kRendered.
    int CheckRun(const RenderRun& run, const RenderSettings& settings, bool dryRun,
                 const wxArrayString& watermarks) const;
    int DryRun(const RenderSettings& settings, const wxArrayString& tracks,
               const wxArrayString& watermarks) const;
    int Render(RenderRun& run, long jobs) const;
    // --identify FILE --manifest MANIFEST: whose copy FILE is.
    int Identify() const;

    BatchOptions m_options;
};

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
        for (size_t k = 0; k < plan.positions.size(); ++k)
            at += (at.empty() ? "" : ", ") + SecondsText(plan.positions[k]) +
                  (k < plan.levels.size() ? " (" + GainText(plan.levels[k]) + ")" : wxString());
        Print(stdout, DisplayName(plan.track) +
                          (plan.recipient.empty() ? wxString() : " for " + plan.recipient) +
                          " -> " + plan.output + ": " + ClipText(settings, plan.clipFrom) +
                          (at.empty() ? wxString("no watermark, the track is too short")
                                      : "watermarks at " + at) +
                          (plan.cutCopy < 0 ? wxString()
                                            : ", the one at " + SecondsText(plan.cutCopy) +
                                                  " cut at the clip's end") +
                          "\n");
    }
    return g_signal ? 128 + g_signal : status;
}

int Batch::Informational() const {
    Print(stdout, Has("version") ? wxString(kProgram) + " " + VELISTO_VERSION + "\n"
                                 : BatchOptions::HelpText());
    return kRendered;
}

int Batch::StartingPreset(PresetStore& presets, Preset& preset) const {
    preset = InitialPreset();
    if (Has("preset")) {
        if (!presets.Load(Option("preset"), preset))
            return Usage("there is no preset \"" + Option("preset") +
                         "\"; velisto-batch --list-presets shows them");
    } else {
        presets.Load(g_defaultPreset, preset);
    }
    wxString problem;
    if (!m_options.ApplyOptions(preset, problem))
        return Usage(problem);
    return kRendered;
}

int Batch::Settings(PresetStore& presets, const wxArrayString& tracks, Preset& preset,
                    RenderSettings& settings) const {
    const int status = StartingPreset(presets, preset);
    if (status != kRendered)
        return status;
    settings = SettingsFromPreset(preset);
    wxString problem;
    if (!m_options.ApplyRecipients(settings.recipients, problem))
        return Fail(problem);
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

wxString Batch::SaveConflict() const {
    if (!Has("save-preset"))
        return Has("replace") ? "--replace goes with --save-preset NAME only" : wxString();
    if (m_options.TrackCount() > 0)
        return "--save-preset renders nothing: give no TRACK";
    for (const char* option : {"list-presets", "dry-run", "skip-existing", "jobs", "recipients",
                               "recipient-in-name", "spoken-tag"}) {
        if (Has(option))
            return wxString("--") + option +
                   " does not go with --save-preset, which renders nothing";
    }
    return wxString();
}

int Batch::SavePreset(PresetStore& presets, const wxString& name) const {
    Preset preset;
    const int status = StartingPreset(presets, preset);
    if (status != kRendered)
        return status;
    if (presets.Exists(name) && !Has("replace"))
        return Fail("a preset \"" + name + "\" is stored already; give --replace to replace it");
    // A preset that no run could use is not stored.
    const wxString problem = WatermarkProblem(preset.watermarks);
    if (!problem.empty())
        return Fail(problem);
    // When the file cannot be written, the settings file has said so.
    return presets.Save(name, preset) ? kRendered : kUsage;
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

int Batch::Identify() const {
    if (!Has("identify"))
        return Usage("--manifest goes with --identify FILE only");
    if (!Has("manifest"))
        return Usage("--identify needs --manifest MANIFEST, the manifest.json of the run that "
                     "wrote the copies");
    if (m_options.TrackCount() > 0)
        return Usage("--identify renders nothing: give no TRACK");
    wxFileName file(Option("identify")), manifest(Option("manifest"));
    file.MakeAbsolute();
    manifest.MakeAbsolute();
    if (!EnterBundleFolder(wxStandardPaths::Get().GetExecutablePath()))
        return Fail("cannot find Velisto.app (SoX and the preset sounds) beside the program");
    // Stopped as a run is.
    for (const int stop : {SIGINT, SIGHUP}) {
        if (std::signal(stop, OnStopSignal) == SIG_IGN)
            std::signal(stop, SIG_IGN);
    }
    std::signal(SIGTERM, OnStopSignal);
    std::signal(SIGPIPE, OnBrokenPipe);
    const LeakAnswer answer =
        IdentifyCopy(file.GetFullPath(), manifest.GetFullPath(), [] { return g_signal != 0; });
    if (g_signal)
        return 128 + g_signal;
    if (answer.kind == LeakAnswer::Kind::Failed)
        return Fail(answer.text);
    Print(stdout, answer.text + "\n");
    return answer.kind == LeakAnswer::Kind::NoMatch ? kNotRendered : kRendered;
}

int Batch::Run() {
    const wxString problem = m_options.Parse();
    if (!problem.empty())
        return Usage(problem);
    if (Has("help") || Has("version"))
        return Informational();
    if (Has("identify") || Has("manifest"))
        return Identify();
    long jobs = 0;
    if (Has("jobs") && (!Option("jobs").ToLong(&jobs) || jobs < 1))
        return Usage("--jobs " + Option("jobs") + " is not offered; use a number of 1 or more");
    jobs = std::min<long>(jobs, MaxJobs());
    const bool listing = Has("list-presets");
    const bool saving = Has("save-preset");
    const wxString conflict = SaveConflict();
    if (!conflict.empty())
        return Usage(conflict);
    if (!listing && !saving && m_options.TrackCount() == 0)
        return Usage("no TRACK given");
    wxString saveAs;
    if (saving) {
        wxString error;
        saveAs = CheckPresetName(Option("save-preset"), error);
        if (!error.empty())
            return Usage("--save-preset \"" + Option("save-preset") + "\": " + error);
    }

    // Every path given is taken from where the program was started, before
    // the working directory becomes the bundle's folder.
    m_options.SetStartFolder(wxGetCwd());
    wxArrayString notes;
    const wxArrayString tracks = listing || saving ? wxArrayString() : m_options.Tracks(notes);
    for (const wxString& note : notes)
        Print(stderr, wxString(kProgram) + ": " + note + "\n");
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
    if (saving)
        return SavePreset(presets, saveAs);

    Preset preset;
    RenderSettings settings;
    int status = Settings(presets, tracks, preset, settings);
    lock.reset();
    if (status != kRendered)
        return status;
    const bool dryRun = Has("dry-run");
    const bool madeFolder = Has("output") && !dryRun && !wxDirExists(settings.folder);
    if (madeFolder && !wxFileName::Mkdir(settings.folder, wxS_DIR_DEFAULT, wxPATH_MKDIR_FULL) &&
        !wxDirExists(settings.folder)) // another job may have just made it
        return Fail("cannot create the output folder " + settings.folder);
    // A run that writes nothing leaves no folder of its own behind.
    struct EmptyFolder {
        wxString path;
        ~EmptyFolder() {
            wxLogNull quiet; // it fails, as it should, once anything is in it
            if (!path.empty())
                wxRmdir(path);
        }
    } made{madeFolder ? settings.folder : wxString()};

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
