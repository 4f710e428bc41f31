// Test helpers that need no toolkit: shell commands, files, audio made with SoX
// and temporary folders. Shared by the window's tests and velisto-batch's.
#ifndef TESTS_SHELL_H
#define TESTS_SHELL_H

#include <cmath>
#include <map>
#include <string>

// Runs a shell command, returns its exit status; output (stdout and stderr) in *output.
int Shell(const std::string& command, std::string* output = nullptr);
// Quotes text for /bin/sh.
std::string ShellQuote(const std::string& text);
// The file's bytes; empty when it cannot be read.
std::string Contents(const std::string& path);
// The folder's entries, one a line, sorted.
std::string Listing(const std::string& folder);
// What stands at a path, "missing" when nothing: enough to tell a file
// rewritten since.
std::string StampOf(const std::string& path);

// Makes an audio file with `sox -n -r RATE -c CHANNELS PATH synth SECONDS SYNTH...`.
// synth is the rest of the synth effect, for example "sine 440" or "whitenoise";
// without one the file is silent.
void MakeTone(const std::string& path, double seconds, const std::string& synth = "sine 440",
              int rate = 44100, int channels = 2);
inline void MakeSilence(const std::string& path, double seconds, int rate = 44100,
                        int channels = 2) {
    MakeTone(path, seconds, "", rate, channels);
}

// SoX's statistics of `sox ARGS -n` over [start, start + duration) seconds,
// all of it when duration < 0; empty when SoX fails.
std::string StatOf(const std::string& args, double start = 0, double duration = -1);
// The figure after label in stat, or -1 when it is missing.
double Figure(const std::string& stat, const std::string& label);
// Largest absolute sample value in [start, start + duration) seconds (0..1), or -1.
double PeakIn(const std::string& path, double start, double duration);
// RMS level in [start, start + duration) seconds (0..1), or -1.
double RmsIn(const std::string& path, double start, double duration);
// Largest absolute difference between two files of one signal, or -1 when SoX
// cannot compare them.
double DifferenceIn(const std::string& a, const std::string& b, double start = 0,
                    double duration = -1);

// Writes a - b (files of one signal) to out, 32-bit: what a mix added to a track.
void WriteDifference(const std::string& a, const std::string& b, const std::string& out);
// What ffmpeg's EBU R128 meter (filter, "ebur128" with its options) tells of
// [start, start + duration) seconds of a file, all of it when duration < 0:
// its integrated loudness (NaN when it fails), and the momentary and
// short-term readings it logs every 100 ms, by the tenth of a second each
// ends at.
struct FfmpegMeter {
    double integrated = NAN;
    std::map<long, double> momentary, shortTerm;
    double LoudestMomentary() const;
};
FfmpegMeter Ffmpeg(const std::string& path, const std::string& filter = "ebur128", double start = 0,
                   double duration = -1);

struct AudioInfo {
    int rate = 0, channels = 0;
    double seconds = 0;
    long long frames = -1;
    int kbits = 0; // bit rate as soxi reports it, 0 when it reports none
};
AudioInfo Inspect(const std::string& path);

// Open file descriptors of a process (this one when pid is 0), or -1 when
// they cannot be counted.
int OpenDescriptors(int pid = 0);
// Writes count copies of the file as PREFIX1.EXT ... PREFIXcount.EXT in folder.
void CopyFile(const std::string& file, const std::string& folder, const std::string& prefix,
              int count);

// A temporary folder, removed with everything in it when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir() { Shell("rm -rf " + ShellQuote(m_path)); }
    const std::string& path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

#endif
