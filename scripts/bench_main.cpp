// Benchmark of the rendering engine (run through scripts/bench; not a test).
//
// Makes a batch of MP3 tracks with sox, then watermarks them every 10 s and
// every 5 s to MP3 at 320 kbit/s through CSoxHandler exactly as the main
// window does, and times that against a plain `sox IN.mp3 -C 320 OUT.mp3` of
// the same tracks. Each scenario runs in a child process of its own, so that
// its peak memory can be told apart: the largest single process, and the
// largest total of all its processes at once (the mix runs one SoX per copy
// side by side).
#include "SoxHandler.h"

#include <wx/init.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

struct Options {
    int tracks = 10;
    int seconds = 180;
    std::string bundle = VELISTO_BUNDLE_DIR;
};

std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

bool Shell(const std::string& command) {
    return std::system(command.c_str()) == 0;
}

std::string TrackPath(const std::string& work, int i) {
    return work + "/in/track" + std::to_string(i + 1) + ".mp3";
}

// Seconds per track for one scenario; runs inside the scenario's own process.
std::vector<double> RunScenario(const std::string& work, const Options& options, int interval) {
    using Clock = std::chrono::steady_clock;
    std::vector<double> seconds;
    const std::string out = work + "/out" + std::to_string(interval);
    Shell("mkdir -p " + Quote(out));
    if (interval == 0) {
        // The plain conversion, with the same SoX in the same folder.
        for (int i = 0; i < options.tracks; ++i) {
            const Clock::time_point start = Clock::now();
            const bool ok = Shell("cd " + Quote(g_resourceFolder.ToStdString()) + " && ./sox " +
                                  Quote(TrackPath(work, i)) + " -C 320 " +
                                  Quote(out + "/track" + std::to_string(i + 1) + ".mp3"));
            seconds.push_back(ok ? std::chrono::duration<double>(Clock::now() - start).count()
                                 : -1);
        }
        return seconds;
    }
    // As the window's run: one engine for the batch, every setting set per track.
    CSoxHandler sox;
    for (int i = 0; i < options.tracks; ++i) {
        const Clock::time_point start = Clock::now();
        sox.SetInputFile(wxString::FromUTF8(TrackPath(work, i)));
        sox.SetOutputFile(wxString::FromUTF8(out));
        sox.SetStartTime(5);
        sox.SetWaterMarkInterval(interval);
        sox.SetFileFormat("MP3");
        sox.SetBitrate(320);
        sox.SetMono(false);
        sox.SetWaterMarks(wxArrayString(1, wxString::FromUTF8(work + "/wm/beep.mp3")));
        sox.SetOperation(SOX_ADD_WATERMARK);
        const bool ok = sox.Run();
        if (!ok && !sox.GetErrors().empty())
            fprintf(stderr, "%s\n", sox.GetErrors()[0].utf8_string().c_str());
        seconds.push_back(ok ? std::chrono::duration<double>(Clock::now() - start).count() : -1);
    }
    return seconds;
}

// Resident kilobytes of root and all its descendants right now.
long TreeResidentKb(pid_t root) {
    std::map<pid_t, pid_t> parent;
    std::map<pid_t, long> rss;
    DIR* proc = opendir("/proc");
    if (!proc)
        return 0;
    const long pageKb = sysconf(_SC_PAGESIZE) / 1024;
    while (dirent* entry = readdir(proc)) {
        const pid_t pid = static_cast<pid_t>(std::atol(entry->d_name));
        if (pid <= 0)
            continue;
        std::ifstream stat("/proc/" + std::string(entry->d_name) + "/stat");
        std::string text;
        if (!std::getline(stat, text))
            continue;
        // The command name may hold blanks and parentheses: fields follow the last ')'.
        const size_t close = text.rfind(')');
        if (close == std::string::npos)
            continue;
        std::istringstream fields(text.substr(close + 2));
        std::vector<std::string> f;
        for (std::string field; fields >> field;)
            f.push_back(field);
        if (f.size() < 22)
            continue;
        parent[pid] = static_cast<pid_t>(std::atol(f[1].c_str()));
        rss[pid] = std::atol(f[21].c_str()) * pageKb;
    }
    closedir(proc);
    long total = 0;
    for (const auto& [pid, kb] : rss) {
        for (pid_t p = pid; p > 1; p = parent.count(p) ? parent[p] : 0) {
            if (p == root) {
                total += kb;
                break;
            }
        }
    }
    return total;
}

struct Result {
    std::vector<double> seconds;
    long largestKb = 0;
    long treeKb = 0;
};

Result Measure(const std::string& work, const Options& options, int interval) {
    Result result;
    const std::string times = work + "/times" + std::to_string(interval);
    const pid_t child = fork();
    if (child == 0) {
        wxInitializer toolkit;
        std::ofstream file(times);
        for (double s : RunScenario(work, options, interval))
            file << s << "\n";
        file.close();
        _exit(toolkit.IsOk() ? 0 : 1);
    }
    int status = 0;
    rusage usage{};
    for (;;) {
        const pid_t done = wait4(child, &status, WNOHANG, &usage);
        if (done == child || done < 0)
            break;
        result.treeKb = std::max(result.treeKb, TreeResidentKb(child));
        usleep(20000);
    }
    result.largestKb = usage.ru_maxrss;
    std::ifstream file(times);
    for (double s; file >> s;)
        result.seconds.push_back(s);
    return result;
}

bool Prepare(const std::string& work, const Options& options) {
    if (!Shell("mkdir -p " + Quote(work + "/in") + " " + Quote(work + "/wm") + " && ln -s " +
               Quote(options.bundle) + " " + Quote(work + "/Velisto.app")))
        return false;
    if (!Shell("sox -n -r 44100 -c 1 " + Quote(work + "/wm/beep.mp3") +
               " synth 1 sine 1200 fade 0.05 1 0.05"))
        return false;
    fprintf(stderr, "Making %d tracks of %d s with sox...\n", options.tracks, options.seconds);
    for (int i = 0; i < options.tracks; ++i) {
        // Different music-like content per track: a chord over pink noise.
        const int root = 110 + 20 * i;
        std::ostringstream cmd;
        cmd << "sox -n -r 44100 -c 2 -C 192 " << Quote(TrackPath(work, i)) << " synth "
            << options.seconds << " sine " << root << " sine " << root * 5 / 4 << " pinknoise"
            << " tremolo 3 40 vol 0.5";
        if (!Shell(cmd.str()))
            return false;
    }
    return true;
}

double Mean(const std::vector<double>& values) {
    double sum = 0;
    for (double v : values)
        sum += v;
    return values.empty() ? 0 : sum / values.size();
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; i += 2) {
        const std::string name = argv[i];
        // An option without its value (or --help) shows the usage.
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (value && name == "--tracks")
            options.tracks = std::max(1, std::atoi(value));
        else if (value && name == "--seconds")
            options.seconds = std::max(10, std::atoi(value));
        else if (value && name == "--bundle")
            options.bundle = value;
        else {
            fprintf(stderr, "usage: %s [--tracks N] [--seconds S] [--bundle Velisto.app]\n",
                    argv[0]);
            return 2;
        }
    }

    char pattern[] = "/tmp/velisto-bench-XXXXXX";
    if (!mkdtemp(pattern)) {
        perror("mkdtemp");
        return 1;
    }
    const std::string work = pattern;
    if (chdir(work.c_str()) != 0 || !Prepare(work, options)) {
        fprintf(stderr, "Cannot prepare the tracks in %s\n", work.c_str());
        Shell("rm -rf " + Quote(work));
        return 1;
    }

    struct Scenario {
        const char* name;
        int interval;
    };
    const Scenario scenarios[] = {
        {"plain sox -C 320", 0}, {"watermark every 10 s", 10}, {"watermark every 5 s", 5}};
    std::vector<Result> results;
    for (const Scenario& s : scenarios) {
        fprintf(stderr, "Running: %s...\n", s.name);
        results.push_back(Measure(work, options, s.interval));
    }

    printf("\n%d tracks of %d s, MP3 in, MP3 320 kbit/s out, first watermark at 5 s\n"
           "SoX: %s/Contents/Resources/sox\n\n",
           options.tracks, options.seconds, options.bundle.c_str());
    printf("%-22s %10s %10s %10s %8s %14s %14s\n", "scenario", "s/track", "fastest", "slowest",
           "ratio", "largest proc", "all procs");
    const double plain = Mean(results[0].seconds);
    int status = 0;
    for (size_t i = 0; i < results.size(); ++i) {
        const Result& r = results[i];
        const bool failed = r.seconds.size() != static_cast<size_t>(options.tracks) ||
                            std::count(r.seconds.begin(), r.seconds.end(), -1.0) > 0;
        if (failed) {
            printf("%-22s  failed (see the messages above)\n", scenarios[i].name);
            status = 1;
            continue;
        }
        const double mean = Mean(r.seconds);
        printf("%-22s %10.2f %10.2f %10.2f %8.2f %11.1f MB %11.1f MB\n", scenarios[i].name, mean,
               *std::min_element(r.seconds.begin(), r.seconds.end()),
               *std::max_element(r.seconds.begin(), r.seconds.end()),
               plain > 0 ? mean / plain : 0.0, r.largestKb / 1024.0, r.treeKb / 1024.0);
    }
    printf("\nratio: seconds per track over the plain conversion's. largest proc: peak resident\n"
           "memory of the largest single process; all procs: peak total of the scenario's\n"
           "processes at once (sampled every 20 ms).\n");
    Shell("rm -rf " + Quote(work));
    return status;
}
