#include "shell.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <iterator>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

int Shell(const std::string& command, std::string* output) {
    // In a subshell, so that a redirection of the command's own stderr still holds.
    const std::string full = "( " + command + "\n) 2>&1";
    FILE* pipe = popen(full.c_str(), "r");
    if (!pipe)
        return -1;
    std::string text;
    for (int c; (c = fgetc(pipe)) != EOF;)
        text += char(c);
    const int status = pclose(pipe);
    if (output)
        *output = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string ShellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string Contents(const std::string& path) {
    // Plain reads: a stream throws when a read fails, as it does on the
    // /proc files of a process that has just ended.
    std::string bytes;
    if (FILE* file = fopen(path.c_str(), "rb")) {
        char buffer[65536];
        for (size_t n; (n = fread(buffer, 1, sizeof buffer, file)) > 0;)
            bytes.append(buffer, n);
        fclose(file);
    }
    return bytes;
}

std::string Listing(const std::string& folder) {
    std::string out;
    Shell("LC_ALL=C ls -A " + ShellQuote(folder), &out);
    return out;
}

std::string StampOf(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        return "missing";
    return std::to_string(st.st_ino) + ":" + std::to_string(st.st_mtim.tv_sec) + "." +
           std::to_string(st.st_mtim.tv_nsec);
}

void MakeTone(const std::string& path, double seconds, const std::string& synth, int rate,
              int channels) {
    const std::string cmd = "sox -n -r " + std::to_string(rate) + " -c " +
                            std::to_string(channels) + " " + ShellQuote(path) +
                            (synth.empty() ? " trim 0 " : " synth ") + std::to_string(seconds) +
                            " " + synth;
    std::string out;
    ASSERT_EQ(0, Shell(cmd, &out)) << cmd << "\n" << out;
}

AudioInfo Inspect(const std::string& path) {
    auto ask = [&](const char* option) {
        std::string out;
        return Shell(std::string("soxi -") + option + " " + ShellQuote(path), &out) ? "" : out;
    };
    AudioInfo info;
    info.rate = std::atoi(ask("r").c_str());
    info.channels = std::atoi(ask("c").c_str());
    info.seconds = std::atof(ask("D").c_str());
    info.frames = std::atoll(ask("s").c_str());
    // "320k" for MP3; WAV and AIFF report their raw PCM rate ("1.41M") or nothing.
    const std::string kbits = ask("B");
    if (kbits.find('k') != std::string::npos)
        info.kbits = std::atoi(kbits.c_str());
    return info;
}

std::string StatOf(const std::string& args, double start, double duration) {
    std::ostringstream cmd;
    cmd << "sox " << args << " -n";
    if (duration >= 0)
        cmd << " trim " << start << " " << duration;
    std::string out;
    return Shell(cmd.str() + " stat", &out) == 0 ? out : std::string();
}

double Figure(const std::string& stat, const std::string& label) {
    const size_t at = stat.find(label);
    return at == std::string::npos ? -1 : std::atof(stat.c_str() + at + label.size());
}

// The largest of the maximum and minus the minimum, or -1.
static double Extreme(const std::string& stat) {
    const double max = Figure(stat, "Maximum amplitude:");
    return max < 0 ? -1 : std::max(max, -Figure(stat, "Minimum amplitude:"));
}

double PeakIn(const std::string& path, double start, double duration) {
    return Extreme(StatOf(ShellQuote(path), start, duration));
}

double RmsIn(const std::string& path, double start, double duration) {
    return Figure(StatOf(ShellQuote(path), start, duration), "RMS     amplitude:");
}

double DifferenceIn(const std::string& a, const std::string& b, double start, double duration) {
    return Extreme(StatOf("-m -v 1 " + ShellQuote(a) + " -v -1 " + ShellQuote(b), start, duration));
}

void WriteDifference(const std::string& a, const std::string& b, const std::string& out) {
    Shell("sox -m -v 1 " + ShellQuote(a) + " -v -1 " + ShellQuote(b) + " -e floating-point -b 32 " +
          ShellQuote(out));
}

double FfmpegMeter::LoudestMomentary() const {
    double loudest = -HUGE_VAL;
    for (const auto& reading : momentary)
        loudest = std::max(loudest, reading.second);
    return loudest;
}

FfmpegMeter Ffmpeg(const std::string& path, const std::string& filter, double start,
                   double duration) {
    const std::string window =
        "-ss " + std::to_string(start) + (duration >= 0 ? " -t " + std::to_string(duration) : "");
    std::string out;
    EXPECT_EQ(0, Shell("ffmpeg -nostdin -nostats " + window + " -i " + ShellQuote(path) +
                           " -filter_complex " + filter + " -f null -",
                       &out))
        << out;
    FfmpegMeter meter;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        const size_t at = line.find(" t: ");
        const size_t m = line.find("M:"), s = line.find("S:");
        const size_t text = line.find_first_not_of(' ');
        if (at != std::string::npos && m != std::string::npos && s != std::string::npos) {
            const long tenth = std::lround(std::stod(line.substr(at + 4)) * 10);
            meter.momentary[tenth] = std::stod(line.substr(m + 2));
            meter.shortTerm[tenth] = std::stod(line.substr(s + 2));
        } else if (text != std::string::npos && line.compare(text, 2, "I:") == 0) {
            // The summary of the filter graph that ran comes last.
            meter.integrated = std::stod(line.substr(text + 2));
        }
    }
    return meter;
}

int OpenDescriptors(int pid) {
    const std::string folder = pid ? "/proc/" + std::to_string(pid) + "/fd" : "/proc/self/fd";
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return -1;
    int count = 0;
    while (const dirent* entry = readdir(dir))
        count += entry->d_name[0] != '.';
    closedir(dir);
    return count - (pid ? 0 : 1); // not the one reading the folder
}

void CopyFile(const std::string& file, const std::string& folder, const std::string& prefix,
              int count) {
    const std::string bytes = Contents(file);
    ASSERT_FALSE(bytes.empty()) << file;
    const std::string extension = file.substr(file.rfind('.'));
    for (int i = 1; i <= count; ++i) {
        std::ofstream copy(folder + "/" + prefix + std::to_string(i) + extension, std::ios::binary);
        copy << bytes;
        ASSERT_TRUE(copy.good());
    }
}

TempDir::TempDir() {
    char pattern[] = "/tmp/velisto-test-XXXXXX";
    m_path = mkdtemp(pattern) ? pattern : "/nonexistent";
}
