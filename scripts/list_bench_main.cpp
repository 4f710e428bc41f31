// Benchmark of listing a catalogue (run through scripts/bench under a virtual
// X server; not a test).
//
// Makes a three-minute MP3 with a frame count (LAME's header, as ffmpeg's
// encoder writes it) and one without (as SoX writes it), and links each under
// many names. Then drops them on the window's track list and times the rows
// appearing and every length being known (headers in-process, decodes on
// every core where a header only estimates), beside SoX decoding the same
// files on every core; then velisto-batch's dry run over them.
#include "bench_util.h"
#include "MainFormImp.h"

#include <wx/app.h>
#include <wx/utils.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

struct ListBench {};
// What the benchmark reads of the window.
template <> struct MainWindowProbe<ListBench> {
    static wxListCtrl* Tracks(CMainFormImp& w) { return w.m_trackList; }
    static bool Measuring(CMainFormImp& w) { return w.m_listMeasure.Busy(); }
};
using Probe = MainWindowProbe<ListBench>;

namespace {

struct Options {
    int listed = 1000; // with a frame count
    int decoded = 100; // without one
    int dryRun = 200;
    int seconds = 180;
    std::string bundle = VELISTO_BUNDLE_DIR;
    std::string batch = VELISTO_BATCH;
};

// count names in folder for file, each a hard link: "t0001.mp3", ...
wxArrayString Links(const std::string& file, const std::string& folder, int count) {
    wxArrayString paths;
    Shell("mkdir -p " + Quote(folder));
    for (int i = 1; i <= count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "/t%04d.mp3", i);
        if (link(file.c_str(), (folder + name).c_str()) != 0)
            return wxArrayString();
        paths.Add(wxString::FromUTF8(folder + name));
    }
    return paths;
}

struct ListTimes {
    double rows = -1;    // until every row is shown
    double lengths = -1; // until every length is known and shown
};

// Drops paths on a fresh window's track list: how long the rows and their
// lengths take; -1 for what never came.
ListTimes ListSeconds(const wxArrayString& paths) {
    ListTimes times;
    auto* window = new CMainFormImp(nullptr, wxID_ANY, "list", wxDefaultPosition, wxSize(929, 670),
                                    wxDEFAULT_FRAME_STYLE);
    window->Show();
    wxListCtrl* list = Probe::Tracks(*window);
    const auto start = std::chrono::steady_clock::now();
    window->OnFileListDropFiles(paths);
    if (list->GetItemCount() == static_cast<int>(paths.size()))
        times.rows = Since(start);
    while (Probe::Measuring(*window) && Since(start) < 600) {
        wxTheApp->Yield(true);
        wxMilliSleep(2);
    }
    bool known = list->GetItemCount() == static_cast<int>(paths.size());
    for (int row = 0; known && row < list->GetItemCount(); ++row)
        known = list->GetItemText(row, 3).Contains(":");
    if (known)
        times.lengths = Since(start);
    window->Destroy();
    wxTheApp->Yield(true);
    return times;
}

class ListBenchApp : public wxApp {};

} // namespace

wxIMPLEMENT_APP_NO_MAIN(ListBenchApp);

int main(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; i += 2) {
        const std::string name = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (value && name == "--listed")
            options.listed = std::max(1, std::atoi(value));
        else if (value && name == "--decoded")
            options.decoded = std::max(1, std::atoi(value));
        else if (value && name == "--dry-run")
            options.dryRun = std::max(1, std::atoi(value));
        else if (value && name == "--seconds")
            options.seconds = std::max(10, std::atoi(value));
        else {
            std::fprintf(stderr,
                         "usage: %s [--listed N] [--decoded N] [--dry-run N] [--seconds S]\n",
                         argv[0]);
            return 2;
        }
    }
    char pattern[] = "/tmp/velisto-list-bench-XXXXXX";
    if (!mkdtemp(pattern)) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string work = pattern;
    const std::string wav = work + "/master.wav", framed = work + "/framed.mp3",
                      plain = work + "/plain.mp3", beep = work + "/beep.wav";
    std::fprintf(stderr, "Making the MP3s...\n");
    std::fflush(stderr);
    if (chdir(work.c_str()) != 0 ||
        !Shell("ln -s " + Quote(options.bundle) + " " + Quote(work + "/Velisto.app")) ||
        !Shell("sox -n -r 44100 -c 2 " + Quote(wav) + " synth " + std::to_string(options.seconds) +
               " pinknoise tremolo 3 40 vol 0.5") ||
        !Shell("ffmpeg -nostdin -v error -i " + Quote(wav) + " -c:a libmp3lame -b:a 192k " +
               Quote(framed)) ||
        !Shell("sox " + Quote(wav) + " -C 192 " + Quote(plain)) ||
        !Shell("sox -n -r 44100 " + Quote(beep) + " synth 1 sine 1000 vol 0.3")) {
        std::fprintf(stderr, "Cannot make the MP3s in %s\n", work.c_str());
        Shell("rm -rf " + Quote(work));
        return 1;
    }
    const wxArrayString listed = Links(framed, work + "/listed", options.listed);
    const wxArrayString decoded = Links(plain, work + "/decoded", options.decoded);
    const wxArrayString dry = Links(framed, work + "/dry", options.dryRun);
    const wxArrayString dryPlain = Links(plain, work + "/dry-plain", options.decoded);
    int status = 0;
    // The window's settings go to a home of its own.
    wxSetEnv("HOME", wxString::FromUTF8(work));
    int toolkitArgc = 1; // the toolkit takes no argument of ours
    if (!wxEntryStart(toolkitArgc, argv) || !wxTheApp || !wxTheApp->CallOnInit()) {
        std::fprintf(stderr, "No display: run it under xvfb-run.\n");
        Shell("rm -rf " + Quote(work));
        return 1;
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    std::printf("%u cores, MP3s of %d s\n", cores, options.seconds);
    auto row = [&](const std::string& what, double seconds, const std::string& beside) {
        if (seconds < 0) {
            std::printf("%-46s failed\n", what.c_str());
            status = 1;
        } else
            std::printf("%-46s %8.2f s%s\n", what.c_str(), seconds, beside.c_str());
    };
    const ListTimes framedTimes = ListSeconds(listed);
    row("list " + std::to_string(options.listed) + " with a frame count: rows", framedTimes.rows,
        "");
    row("  every length known", framedTimes.lengths, "");
    const ListTimes decodedTimes = ListSeconds(decoded);
    auto start = std::chrono::steady_clock::now();
    const bool soxDecoded = Shell("cd " + Quote(work + "/decoded") + " && ls | xargs -P " +
                                  std::to_string(cores) + " -I{} sox -V1 {} -n");
    const double sox = soxDecoded ? Since(start) : -1;
    char beside[96] = "";
    if (sox > 0 && decodedTimes.lengths > 0)
        std::snprintf(beside, sizeof beside, "  (SoX decoding them on every core: %.2f s, %.2fx)",
                      sox, decodedTimes.lengths / sox);
    row("list " + std::to_string(options.decoded) + " without: rows", decodedTimes.rows, "");
    row("  every length known (decoded)", decodedTimes.lengths, beside);
    for (const auto& [folder, label] :
         {std::pair<std::string, std::string>{"/dry", std::to_string(options.dryRun) +
                                                          " with a frame count"},
          {"/dry-plain", std::to_string(options.decoded) + " without"}}) {
        start = std::chrono::steady_clock::now();
        const bool ran = Shell(Quote(options.batch) + " --watermark " + Quote(beep) +
                               " --level 0 --duck 0 --output " + Quote(work + "/out") +
                               " --dry-run " + Quote(work + folder) + " >/dev/null");
        row("dry run of " + label, ran ? Since(start) : -1, "");
    }
    wxEntryCleanup();
    std::printf("\nlist: files dropped on the window's track list, until their rows show\n"
                "and until every length is known (headers in-process; a decode on every\n"
                "core where the header only estimates). dry run: velisto-batch --dry-run,\n"
                "levels as recorded.\n"
                "targets: 1000 with a frame count <= 2 s; without, <= SoX decoding them on\n"
                "every core + 10%%; dry run of 200 with a frame count < 5 s.\n");
    Shell("rm -rf " + Quote(work));
    return status;
}
