// velisto-batch run as a user runs it: the built program, a real presets file
// in a temporary home, real SoX renders, no display.
#include "shell.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

// Tracks quiet enough that a tag on them never clips.
const char* const kQuiet = "sine 440 vol 0.1";

bool Exists(const std::string& path) {
    return access(path.c_str(), F_OK) == 0;
}

// Command lines of the live processes (a zombie has none) that hold text,
// other than the program's own.
std::vector<std::string> ProcessesNaming(const std::string& text) {
    std::vector<std::string> found;
    DIR* proc = opendir("/proc");
    while (const dirent* entry = proc ? readdir(proc) : nullptr) {
        if (entry->d_name[0] < '1' || entry->d_name[0] > '9')
            continue;
        std::string line = Contents(std::string("/proc/") + entry->d_name + "/cmdline");
        std::replace(line.begin(), line.end(), '\0', ' ');
        if (line.find(text) != std::string::npos && line.find(VELISTO_BATCH) == std::string::npos)
            found.push_back(line);
    }
    if (proc)
        closedir(proc);
    return found;
}

std::string Lines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    return text;
}

struct Result {
    int status = -1;
    std::string out, err;
};

// A home with a presets file, a folder of tracks and the program to run there.
class BatchTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(0,
                  Shell("mkdir -p " + ShellQuote(Path("home")) + " " + ShellQuote(Path("tracks"))));
        WriteStorePreset();
    }

    std::string Path(const std::string& name) const { return m_dir / name; }

    // The command line that runs the program with args in the test's folder,
    // its home the temporary one and no display.
    std::string Command(const std::string& args) const {
        return "cd " + ShellQuote(dir) +
               " && exec env -u DISPLAY -u WAYLAND_DISPLAY HOME=" + ShellQuote(Path("home")) + " " +
               ShellQuote(VELISTO_BATCH) + " " + args;
    }

    // Within two minutes: a run that waits for ever (on a FIFO, say) fails
    // its test instead of hanging it.
    Result Run(const std::string& args) const {
        Result result;
        result.status = Shell("timeout 120 sh -c " + ShellQuote(Command(args)) + " 2>" +
                                  ShellQuote(Path("stderr.txt")),
                              &result.out);
        result.err = Contents(Path("stderr.txt"));
        return result;
    }

    // A preset "Store" as the window writes it: WAV with suffix _wm, first
    // watermark after 1 s, then every 5 s, the one watermark wm.wav.
    void WriteStorePreset(const std::string& name = "Store") {
        MakeTone(Path("wm.wav"), 1, "sine 1000 vol 0.1");
        std::ofstream(Path("home/.velisto"), std::ios::app)
            << "[Presets/" << name << "/Watermark Settings]\nStart=1\nRepeatEvery=0\n"
            << "[Presets/" << name
            << "/Watermark Settings/WatermarkFiles]\nFile0=" << Path("wm.wav") << "\n"
            << "[Presets/" << name << "/ Output Settings]\nIsMono=0\nIsAppend=0\n"
            << "OutputFormat=wav\nBitrate=9\nOutputFolder=\nPrefixOrSuffix=1\n"
            << "PrefixOrSuffixString=_wm\n";
    }

    std::string Listing(const std::string& folder) const { return ::Listing(Path(folder)); }

    TempDir m_dir;
    const std::string dir = m_dir.path();
};

// MP3s whose header only estimates their length (SoX writes no frame count)
// are decoded for the dry run as for the run: both place the copies alike,
// even where the estimate falls on the other side of a whole second.
TEST_F(BatchTest, ADryRunPlacesTheCopiesOfMp3sWithoutAFrameCountAsTheRunDoes) {
    const std::pair<std::string, double> tracks[] = {
        {"a", 10.98}, {"b", 11.02}, {"c", 9.97}, {"d", 15.5}};
    for (const auto& [name, seconds] : tracks)
        MakeSilence(Path("tracks/" + name + ".mp3"), seconds);
    const std::string args =
        "--preset Store --level 0 --duck 0 --start 0 --every 5 --output out tracks";
    const Result dry = Run(args + " --dry-run");
    ASSERT_EQ(0, dry.status) << dry.err;
    ASSERT_EQ(0, Run(args).status);
    for (const auto& [name, seconds] : tracks) {
        const std::string out = Path("out/" + name + "_wm.wav");
        const size_t line = dry.out.find(name + ".mp3 -> ");
        ASSERT_NE(std::string::npos, line) << dry.out;
        const std::string planned = dry.out.substr(line, dry.out.find('\n', line) - line);
        for (int at = 0; at < seconds + 1; at += 5) {
            const bool placed =
                planned.find(" " + std::to_string(at) + " s (") != std::string::npos ||
                planned.find("at " + std::to_string(at) + " s (") != std::string::npos;
            EXPECT_EQ(placed, RmsIn(out, at + 0.1, 0.5) > 0.03) << planned << ", " << at << " s";
        }
    }
}

TEST_F(BatchTest, TakesThePresetThenTheOptions) {
    MakeTone(Path("tracks/a.wav"), 12, kQuiet);

    // A fresh file gets the shipped presets beside the stored one.
    Result listed = Run("--list-presets");
    EXPECT_EQ(0, listed.status);
    for (const char* name : {"Store", "Beep #1", "Market-Tag", "Alex(Mac) Preview"})
        EXPECT_NE(std::string::npos, listed.out.find(std::string(name) + "\n")) << name;

    Result plain = Run("--preset Store --output out tracks/a.wav");
    EXPECT_EQ(0, plain.status) << plain.err;
    EXPECT_EQ("a.wav: Process completed successfully\n", plain.out);
    EXPECT_EQ(2, Inspect(Path("out/a_wm.wav")).channels);

    Result changed = Run("--preset Store --format mp3 --bitrate 128 --mono --prefix demo_ "
                         "--start 2 --every 10 --level -6 --output out2 tracks/a.wav");
    EXPECT_EQ(0, changed.status) << changed.err;
    EXPECT_EQ("demo_a.mp3\n", Listing("out2"));
    const AudioInfo info = Inspect(Path("out2/demo_a.mp3"));
    EXPECT_EQ(1, info.channels);
    EXPECT_EQ(128, info.kbits);

    // A clip, any interval, FLAC: the dry run tells, the run writes it, the
    // last copy cut at the clip's end.
    MakeTone(Path("long-wm.wav"), 1.5, "sine 1000 vol 0.1");
    const std::string clip = "--preset Store --format flac --clip 8 --clip-start 0:03 --fade 1 "
                             "--every 3 --watermark long-wm.wav --output out5 tracks/a.wav";
    EXPECT_EQ(
        "a.wav -> " + Path("out5/a_wm.flac") +
            ": clip 0:03 to 0:11, faded over 1 s; watermarks at 1 s (0.0 dB), 4 s (0.0 dB), 7 s "
            "(0.0 dB), the one at 7 s cut at the clip's end\n",
        Run(clip + " --dry-run").out);
    EXPECT_EQ("a.wav: Process completed successfully\n", Run(clip).out);
    EXPECT_NEAR(8, Inspect(Path("out5/a_wm.flac")).seconds, 0.0001);

    // A merge names one file for all (the join is the engine's to test); a
    // dry run renders nothing.
    MakeTone(Path("tracks/b.wav"), 7, kQuiet);
    EXPECT_EQ("a.wav -> " + Path("out4/Mix.wav") +
                  ": watermarks at 1 s (0.0 dB), 6 s (0.0 dB), 11 s (0.0 dB)\nb.wav -> " +
                  Path("out4/Mix.wav") + ": watermarks at 1 s (0.0 dB), 6 s (0.0 dB)\n",
              Run("--preset Store --output out4 --merge Mix --dry-run tracks").out);
    EXPECT_FALSE(Exists(Path("out4")));

    // No --preset: "Default Preset" when stored, else the window's first settings.
    // They set the tag 6 LU below the music around it, over a 3 dB dip.
    EXPECT_EQ("a.wav -> " + Path("out3/a.mp3") +
                  ": watermarks at 5 s (-6.7 dB, music -3.0 dB), 10 s (-6.7 dB, music -3.0 dB)\n",
              Run("--watermark wm.wav --output out3 --dry-run tracks/a.wav").out);
    // The level against the music, and the dip, from the options.
    EXPECT_EQ("a.wav -> " + Path("out3/a_wm.wav") +
                  ": watermarks at 1 s (-10.7 dB, music -6.0 dB), 6 s (-10.7 dB, music -6.0 dB), "
                  "11 s (-10.7 dB, music -6.0 dB)\n",
              Run("--preset Store --level-lu -10 --level-against track --duck 6 --output out3 "
                  "--dry-run tracks/a.wav")
                  .out);
    WriteStorePreset("Default Preset");
    EXPECT_EQ("a.wav -> " + Path("out3/a_wm.wav") +
                  ": watermarks at 1 s (0.0 dB), 6 s (0.0 dB), 11 s (0.0 dB)\n",
              Run("--output out3 --dry-run tracks/a.wav").out);
    EXPECT_FALSE(Exists(Path("out3")));
    // The dry run plans as the run does: two tracks of one output name.
    ASSERT_EQ(0, Shell("mkdir -p " + ShellQuote(Path("other")) + " && cp " +
                       ShellQuote(Path("tracks/a.wav")) + " " + ShellQuote(Path("other/a.wav"))));
    const Result same = Run("--output out3 --dry-run tracks/a.wav other/a.wav");
    EXPECT_EQ(1, same.status);
    EXPECT_EQ("a.wav -> " + Path("out3/a_wm.wav") +
                  ": watermarks at 1 s (0.0 dB), 6 s (0.0 dB), 11 s (0.0 dB)\na.wav: Not "
                  "processed: a_wm.wav was already written by an earlier track of this run, "
                  "from tracks; this one is in other.\n",
              same.out);
}

TEST_F(BatchTest, RendersFoldersInNameOrderWithOneLinePerTrack) {
    MakeTone(Path("tracks/b.wav"), 6, kQuiet);
    MakeTone(Path("tracks/A.MP3"), 7, kQuiet);
    MakeTone(Path("tracks/c.aiff"), 8, kQuiet);
    MakeTone(Path("tracks/.hidden.wav"), 6, kQuiet);
    Shell("mkdir " + ShellQuote(Path("tracks/sub")));
    MakeTone(Path("tracks/sub/d.wav"), 6, kQuiet);
    std::ofstream(Path("tracks/notes.txt")) << "not audio\n";

    Result all = Run("--preset Store --format mp3 --output out tracks");
    EXPECT_EQ(0, all.status) << all.err;
    EXPECT_EQ("A.MP3: Process completed successfully\n"
              "b.wav: Process completed successfully\n"
              "c.aiff: Process completed successfully\n",
              all.out);
    EXPECT_EQ("A_wm.mp3\nb_wm.mp3\nc_wm.mp3\n", Listing("out"));
    // Without a terminal, one progress line per track.
    EXPECT_NE(std::string::npos, all.err.find("3/3 c.aiff\n")) << all.err;
}

// A preset made from a terminal: the settings a run would take, stored under
// a name of its own, paths absolute.
TEST_F(BatchTest, SavesThePresetTheCommandLineGivesUnderANewName) {
    MakeTone(Path("tracks/a.wav"), 12, kQuiet);
    const Result bare = Run("--save-preset Bare");
    EXPECT_EQ(2, bare.status);
    EXPECT_EQ("velisto-batch: no watermark file: give one with --watermark FILE\n", bare.err);

    const Result saved = Run("--save-preset ' Shop (#1) ' --preset Store --every 10 --format flac "
                             "--watermark wm.wav --output out");
    EXPECT_EQ(0, saved.status) << saved.err;
    EXPECT_EQ("", saved.out + saved.err);
    EXPECT_FALSE(Exists(Path("out")));
    EXPECT_NE(std::string::npos, Run("--list-presets").out.find("\nShop (#1)\n"));
    const std::string settings = Contents(Path("home/.velisto"));
    EXPECT_NE(std::string::npos, settings.find("File0=" + Path("wm.wav") + "\n")) << settings;
    EXPECT_NE(std::string::npos, settings.find("OutputFolder=" + Path("out") + "\n")) << settings;
    EXPECT_EQ("a.wav -> " + Path("out/a_wm.flac") + ": watermarks at 1 s (0.0 dB), 11 s (0.0 dB)\n",
              Run("--preset 'Shop (#1)' --dry-run tracks/a.wav").out);

    // A stored name, "Default Preset" among them, is replaced only when asked.
    WriteStorePreset("Default Preset");
    for (const std::string name : {"Shop (#1)", "Default Preset"}) {
        const Result again = Run("--save-preset '" + name + "' --preset Store --every 20");
        EXPECT_EQ(2, again.status);
        EXPECT_EQ("velisto-batch: a preset \"" + name +
                      "\" is stored already; give --replace to replace it\n",
                  again.err);
    }
    EXPECT_EQ(settings, Contents(Path("home/.velisto")).substr(0, settings.size()));
    EXPECT_EQ(0, Run("--save-preset 'Default Preset' --every 20 --replace").status);
    EXPECT_EQ("a.wav -> " + Path("out/a_wm.wav") + ": watermarks at 1 s (0.0 dB)\n",
              Run("--output out --dry-run tracks/a.wav").out);
}

// Varied places from the command line, stored with a preset; recipients'
// copies, shown by a dry run where the run then puts them, and listed in
// the manifest beside them.
TEST_F(BatchTest, VariesPlacesAndMakesACopyPerRecipientWithItsManifest) {
    MakeTone(Path("tracks/a.wav"), 31, kQuiet);
    ASSERT_EQ(0, Run("--save-preset Moving --preset Store --every 10 --vary 3 --seed 77").status);
    const std::string settings = Contents(Path("home/.velisto"));
    EXPECT_NE(std::string::npos, settings.find("VaryBy=3\nSeed=77\n")) << settings;
    const std::string moved = Run("--preset Moving --level 0 --output out --dry-run tracks").out;
    EXPECT_EQ(std::string::npos, moved.find("watermarks at 1 s (0.0 dB), 11 s (0.0 dB)")) << moved;
    EXPECT_EQ(moved, Run("--preset Moving --level 0 --output out --dry-run tracks").out);
    EXPECT_NE(moved, Run("--preset Moving --level 0 --seed 78 --output out --dry-run tracks").out);

    std::ofstream(Path("djs.csv")) << "name,id\nDJ Ana,A1\n\"Smith, Bob\",B2\n";
    const std::string args =
        "--preset Store --level 0 --every 10 --recipients djs.csv --output out "
        "tracks/a.wav";
    const Result dry = Run(args + " --dry-run");
    ASSERT_EQ(0, dry.status) << dry.err;
    const Result run = Run(args);
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_EQ(Lines({"a.wav for DJ Ana: Process completed successfully",
                     "a.wav for Smith, Bob: Process completed successfully",
                     "manifest.json: lists 2 copies written for 2 recipients."}),
              run.out);
    EXPECT_EQ("DJ Ana\nSmith, Bob\nmanifest.json\n", Listing("out"));
    const std::string manifest = Contents(Path("out/manifest.json"));
    for (const std::string name : {"DJ Ana", "Smith, Bob"}) {
        // The dry run's places, "1.23 s", are the manifest's, 1.23.
        const size_t line = dry.out.find("a.wav for " + name + " -> " +
                                         Path("out/" + name + "/a_wm.wav") + ": watermarks at ");
        ASSERT_NE(std::string::npos, line) << dry.out;
        std::string planned = dry.out.substr(line, dry.out.find('\n', line) - line);
        std::istringstream words(planned.substr(planned.find(" at ") + 4));
        std::string word;
        int found = 0;
        while (words >> word) {
            if (word.find_first_not_of("0123456789.") == std::string::npos && !word.empty()) {
                EXPECT_NE(std::string::npos, manifest.find(word)) << word << "\n" << manifest;
                ++found;
            }
        }
        EXPECT_EQ(3, found) << planned;
    }

    const Result missing = Run("--preset Store --recipients nope.csv --output out tracks");
    EXPECT_EQ(2, missing.status);
    EXPECT_EQ("velisto-batch: The recipients file " + Path("nope.csv") + " cannot be read.\n",
              missing.err);
    const Result alone = Run("--preset Store --spoken-tag --output out tracks");
    EXPECT_EQ(2, alone.status);
    EXPECT_NE(std::string::npos, alone.err.find("--spoken-tag needs --recipients FILE"))
        << alone.err;
}

// The README's pattern on one machine: GNU parallel quotes each argument
// (-q) for the shell it runs the command in, so preset names with "#",
// blanks and parentheses, and track names with quotes, arrive whole.
TEST_F(BatchTest, ParallelWithQuotedArgumentsRunsEachTrackOnce) {
    if (Shell("command -v parallel >/dev/null") != 0)
        GTEST_SKIP() << "GNU parallel is not installed";
    MakeTone(Path("tracks/it's #1 (live).wav"), 6, kQuiet);
    MakeTone(Path("tracks/b.wav"), 6, kQuiet);
    const std::string program = VELISTO_BATCH;
    for (const std::string preset : {"Beep #1", "Alex(Mac) Preview"}) {
        SCOPED_TRACE(preset);
        std::string out;
        EXPECT_EQ(0, Shell("cd " + ShellQuote(dir) +
                               " && find \"$PWD/tracks\" -name '*.wav' | env HOME=" +
                               ShellQuote(Path("home")) +
                               " PATH=" + ShellQuote(program.substr(0, program.rfind('/'))) +
                               ":\"$PATH\" parallel -q -j 2 velisto-batch --preset \"" + preset +
                               "\" --format wav --output out {} 2>/dev/null | sort",
                           &out));
        EXPECT_EQ("b.wav: Process completed successfully\n"
                  "it's #1 (live).wav: Process completed successfully\n",
                  out);
        EXPECT_EQ("b.wav\nit's #1 (live).wav\n", Listing("out"));
        Shell("rm -r " + ShellQuote(Path("out")));
    }
}

// Jobs started together (as GNU parallel starts them on one host) on a
// settings file without the shipped presets: each finds its preset while
// another adds them.
TEST_F(BatchTest, JobsStartedTogetherAllFindThePreset) {
    MakeTone(Path("tracks/a.wav"), 3, kQuiet);
    std::string jobs;
    for (int i = 0; i < 12; ++i)
        jobs += Command("--preset Store --output out --dry-run tracks/a.wav") + " >/dev/null 2>" +
                ShellQuote(Path("err" + std::to_string(i))) + " & ";
    std::string statuses;
    // Each round from the file with only "Store" in it.
    const std::string settings = ShellQuote(Path("home/.velisto"));
    ASSERT_EQ(0, Shell("cp " + settings + " " + ShellQuote(Path("store-only")) +
                           " && for i in 1 2 3 4 5 6; do cp " + ShellQuote(Path("store-only")) +
                           " " + settings + "; " + jobs + "wait; done; for f in " +
                           ShellQuote(Path("err")) + "*; do cat \"$f\"; done",
                       &statuses));
    EXPECT_EQ("", statuses);
}

// What stands at the settings file's place: a link is written through, a
// read-only file or a folder is read as it is, never written, and said once.
TEST_F(BatchTest, WritesSettingsThroughALinkButNeverOverAReadOnlyFileOrAFolder) {
    MakeTone(Path("tracks/a.wav"), 3, kQuiet);
    const std::string settings = Path("home/.velisto");
    const std::string dryRun = "--preset Store --output out --dry-run tracks/a.wav";
    const std::string rendered =
        "a.wav -> " + Path("out/a_wm.wav") + ": watermarks at 1 s (0.0 dB)\n";

    ASSERT_EQ(0, Shell("mkdir " + ShellQuote(Path("elsewhere")) + " && mv " + ShellQuote(settings) +
                       " " + ShellQuote(Path("elsewhere/settings")) +
                       " && ln -s ../elsewhere/settings " + ShellQuote(settings)));
    const Result linked = Run(dryRun);
    EXPECT_EQ(rendered, linked.out);
    EXPECT_EQ("", linked.err);
    EXPECT_EQ(0, Shell("test -L " + ShellQuote(settings)));
    EXPECT_NE(std::string::npos, Contents(Path("elsewhere/settings")).find("[Presets/Market-Tag]"));
    EXPECT_EQ("settings\n", Listing("elsewhere"));

    ASSERT_EQ(0, Shell("rm " + ShellQuote(settings)));
    WriteStorePreset();
    ASSERT_EQ(0, chmod(settings.c_str(), 0444));
    const std::string before = Contents(settings), stamp = StampOf(settings);
    const Result readOnly = Run(dryRun);
    EXPECT_EQ(rendered, readOnly.out);
    EXPECT_EQ("velisto-batch: " + settings + " is read-only, so settings will not be saved\n",
              readOnly.err);
    EXPECT_EQ(before, Contents(settings));
    EXPECT_EQ(stamp, StampOf(settings));

    ASSERT_EQ(0, Shell("rm " + ShellQuote(settings) + " && mkdir " + ShellQuote(settings)));
    const Result folder = Run("--list-presets");
    EXPECT_EQ(0, folder.status);
    EXPECT_NE(std::string::npos, folder.out.find("Beep #1\n"));
    EXPECT_EQ("velisto-batch: " + settings +
                  " is a folder, not a file, so settings will not be saved\n",
              folder.err);
    EXPECT_EQ(".velisto\n", Listing("home"));
}

TEST_F(BatchTest, RefusesBadCommandLinesWithOneLine) {
    MakeTone(Path("tracks/a.wav"), 6, kQuiet);
    MakeTone(Path("long.wav"), 5.5, kQuiet);
    // The arguments, and what the one line must name.
    for (const std::string c :
         {"--frobnicate tracks|frobnicate",
          "--preset|preset",
          "--preset Nope --output out tracks|Nope",
          "--preset Store --bitrate 100 --output out tracks|--bitrate 100",
          "--preset Store --every 0 --output out tracks|--every 0",
          "--preset Store --clip 3601 --output out tracks|--clip 3601",
          "--preset Store --clip 30 --clip-start 1:75 --output out tracks|--clip-start 1:75",
          "--preset Store --fade 6 --output out tracks|--fade 6",
          "--preset Store --start 6 --output out tracks|--start 6",
          "--preset Store --format aac --output out tracks|--format aac",
          "--preset Store --level -3 --level-lu -3 --output out tracks|--level-lu",
          "--preset Store --level-against recorded --output out tracks|--level-against recorded",
          "--preset Store --duck 13 --output out tracks|--duck 13",
          "--preset Store --vary 6 --output out tracks|--vary 6",
          "--preset Store --seed 4294967296 --output out tracks|--seed 4294967296",
          "--preset Store --output out|TRACK",
          "--preset Store tracks|--output",
          "--save-preset a/b|--save-preset",
          "--save-preset ' .. '|--save-preset",
          "--save-preset X --preset Store tracks|TRACK",
          "--save-preset X --preset Store --dry-run|--dry-run",
          "--replace --preset Store --output out tracks|--replace",
          "--identify leak.mp3|--manifest",
          "--manifest manifest.json tracks|--identify",
          "--identify leak.mp3 --manifest manifest.json tracks|TRACK"}) {
        const std::string args = c.substr(0, c.find('|')), named = c.substr(c.find('|') + 1);
        const Result result = Run(args);
        EXPECT_EQ(2, result.status) << args;
        EXPECT_EQ("", result.out) << args;
        EXPECT_EQ(1, std::count(result.err.begin(), result.err.end(), '\n')) << result.err;
        EXPECT_EQ(0u, result.err.find("velisto-batch: ")) << result.err;
        EXPECT_NE(std::string::npos, result.err.find(named)) << result.err;
        EXPECT_NE(std::string::npos, result.err.find("--help")) << result.err;
    }
    // A watermark over 4 seconds is refused as the window refuses it.
    const Result tooLong = Run("--preset Store --watermark long.wav --output out tracks");
    EXPECT_EQ(2, tooLong.status);
    EXPECT_NE(std::string::npos, tooLong.err.find("long.wav: too long")) << tooLong.err;
    EXPECT_FALSE(Exists(Path("out/a_wm.wav")));
    // So is a silent one.
    MakeSilence(Path("hush.wav"), 1);
    const Result silent = Run("--preset Store --watermark hush.wav --output out tracks");
    EXPECT_EQ(2, silent.status);
    EXPECT_EQ("velisto-batch: hush.wav: silent or nearly silent (its loudest sample is below -60 "
              "dBFS): choose a watermark sound that can be heard.\n",
              silent.err);

    // Built on wxBase alone: no GUI library to load.
    std::string libraries;
    Shell("ldd " + ShellQuote(VELISTO_BATCH), &libraries);
    EXPECT_NE(std::string::npos, libraries.find("libwx_baseu"));
    EXPECT_EQ(std::string::npos, libraries.find("gtk")) << libraries;
}

// Whose copy a file is, from a recipients run's manifest: named by its tags
// (exit status 0), nobody's (1), or a manifest that is none (2).
TEST_F(BatchTest, IdentifiesACopyFromTheManifest) {
    MakeTone(Path("tracks/a.wav"), 12, kQuiet);
    ASSERT_EQ(0, Shell("cd " + ShellQuote(dir) +
                       " && ffmpeg -nostdin -v error -i tracks/a.wav -metadata "
                       "'comment=Watermarked preview for Ana' -metadata 'RECIPIENT ID=A7' "
                       "-b:a 128k leak.mp3"));
    MakeTone(Path("other.wav"), 12, "sine 300 vol 0.2");
    std::string copies;
    for (const std::string who : {"Ana|A7|2.5", "Bo|B2|4.1"}) {
        const std::string name = who.substr(0, who.find('|'));
        const std::string id = who.substr(name.size() + 1, 2);
        copies += std::string(copies.empty() ? "" : ",") + "{\"recipient\": \"" + name +
                  "\", \"id\": \"" + id + "\", \"track\": \"" + Path("tracks/a.wav") +
                  "\", \"output\": \"" + Path("out/a for " + name + ".mp3") +
                  "\", \"sha256\": \"\", \"seed\": 5, \"positions\": [" +
                  who.substr(who.rfind('|') + 1) + "], \"sounds\": [0]}";
    }
    std::ofstream(Path("manifest.json"))
        << "{\"program\": \"velisto\", \"seed\": 1, \"vary\": 3, \"watermarks\": [\""
        << Path("wm.wav") << "\"], \"copies\": [" << copies << "]}\n";
    Result result = Run("--identify leak.mp3 --manifest manifest.json");
    EXPECT_EQ(0, result.status) << result.err;
    EXPECT_EQ("leak.mp3: the copy of Ana (ID A7) of a.wav, from its tags.\n", result.out);
    EXPECT_EQ("", result.err);

    result = Run("--identify other.wav --manifest manifest.json");
    EXPECT_EQ(1, result.status) << result.err;
    EXPECT_EQ(0u, result.out.find("other.wav: no recipient matches")) << result.out;
    EXPECT_EQ("", result.err);

    std::ofstream(Path("broken.json")) << "{\"program\": \"velisto\"";
    result = Run("--identify leak.mp3 --manifest broken.json");
    EXPECT_EQ(2, result.status);
    EXPECT_EQ("", result.out);
    EXPECT_EQ("velisto-batch: " + Path("broken.json") +
                  " is not a manifest of recipients' copies (it is not JSON).\n",
              result.err);
}

// A catalogue run: every track gets its line, and the descriptors open at
// any time stay bounded by the renders running at once. The tracks are
// shorter than a second, so that each render is one SoX process.
TEST_F(BatchTest, RendersTwelveHundredTracksWithBoundedDescriptors) {
    const int files = 1200;
    MakeTone(Path("one.wav"), 0.5, kQuiet, 8000, 1);
    CopyFile(Path("one.wav"), Path("tracks"), "t", files);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        const std::string command = Command("--preset Store --start 0 --output out tracks") + " >" +
                                    ShellQuote(Path("out.txt")) + " 2>/dev/null";
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int most = 0, status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        most = std::max(most, OpenDescriptors(pid));
        usleep(5000);
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << status << " " << Contents(Path("err.txt"));
    EXPECT_LE(most, 64);
    const std::string out = Contents(Path("out.txt"));
    EXPECT_EQ(size_t(files), std::count(out.begin(), out.end(), '\n'));
    for (const int i : {1, 700, 1200}) {
        const std::string line = "t" + std::to_string(i) +
                                 ".wav: written WITHOUT a watermark: the track ends before the "
                                 "first watermark at 0 s.\n";
        EXPECT_NE(std::string::npos, out.find(line)) << line;
    }
    EXPECT_EQ(0u, out.find("t1.wav: ")); // name order, as a file browser shows it
    EXPECT_EQ(8000 / 2, Inspect(Path("out/t1200_wm.wav")).frames);
}

TEST_F(BatchTest, StopsOnSignalsKeepingOnlyFinishedFiles) {
    MakeTone(Path("short.wav"), 6, kQuiet);
    MakeTone(Path("long.wav"), 300, kQuiet);
    for (const auto& [name, number] :
         {std::pair<std::string, int>{"INT", 2}, {"TERM", 15}, {"HUP", 1}}) {
        SCOPED_TRACE(name);
        Shell("rm -rf " + ShellQuote(Path("out")));
        // Started in the background, where a shell ignores SIGINT (env gives it
        // back, as a terminal's Ctrl-C reaches a program). The signal comes once
        // the short track is done and the long one is being written.
        const int status =
            Shell("env --default-signal=INT sh -c " +
                  ShellQuote(Command("--preset Store --format mp3 --jobs 1 --output out short.wav "
                                     "long.wav >" +
                                     ShellQuote(Path("stdout.txt")) + " 2>/dev/null")) +
                  " & for i in $(seq 3000); do ls -A " + ShellQuote(Path("out")) +
                  " 2>/dev/null | grep -q '^[.]long_wm[.]mp3[.]partial-' && break; sleep 0.01; "
                  "done; kill -" +
                  name + " $!; wait $!");
        EXPECT_EQ(128 + number, status);
        EXPECT_EQ("short_wm.mp3\n", Listing("out"));
        EXPECT_EQ("short.wav: Process completed successfully\n"
                  "Cancelled: 1 of 2 tracks not rendered.\n",
                  Contents(Path("stdout.txt")));
        // No SoX of this run is left: each names a file in the test's folder.
        // A killed process takes a moment to go.
        std::string left;
        const std::string sox = ShellQuote("[.]/sox .*" + dir); // never this shell's own line
        Shell("for i in $(seq 100); do pgrep -f " + sox +
                  " >/dev/null || exit 0; sleep 0.02; "
                  "done; pgrep -af " +
                  sox,
              &left);
        EXPECT_EQ("", left);
    }
}

TEST_F(BatchTest, SkipsTracksAlreadyRenderedSinceTheyOrTheWatermarkChanged) {
    for (const char* name : {"a.wav", "b.wav", "c.wav"})
        MakeTone(Path(std::string("tracks/") + name), 4, kQuiet);
    const std::string run = "--preset Store --skip-existing --output out tracks";
    const Result first = Run(run);
    EXPECT_EQ(0, first.status) << first.err;
    EXPECT_EQ("a.wav: Process completed successfully\nb.wav: Process completed successfully\n"
              "c.wav: Process completed successfully\n",
              first.out);
    auto stamps = [&] {
        return StampOf(Path("out/a_wm.wav")) + " " + StampOf(Path("out/b_wm.wav")) + " " +
               StampOf(Path("out/c_wm.wav"));
    };
    const std::string written = stamps();

    // Nothing changed: nothing is rendered, and that is success.
    const std::string skipped = "a.wav: already rendered, skipped.\nb.wav: already rendered, "
                                "skipped.\nc.wav: already rendered, skipped.\n";
    const Result again = Run(run);
    EXPECT_EQ(0, again.status) << again.err;
    EXPECT_EQ(skipped, again.out);
    EXPECT_EQ(written, stamps());
    EXPECT_EQ(skipped, Run(run + " --dry-run").out);

    // A changed track, a missing output: only those two.
    Shell("touch " + ShellQuote(Path("tracks/b.wav")) + " && rm " +
          ShellQuote(Path("out/c_wm.wav")));
    EXPECT_EQ("a.wav: already rendered, skipped.\nb.wav -> " + Path("out/b_wm.wav") +
                  ": watermarks at 1 s (0.0 dB)\nc.wav -> " + Path("out/c_wm.wav") +
                  ": watermarks at 1 s (0.0 dB)\n",
              Run(run + " --dry-run").out);
    const Result changed = Run(run);
    EXPECT_EQ(0, changed.status) << changed.err;
    EXPECT_EQ("a.wav: already rendered, skipped.\nb.wav: Process completed successfully\n"
              "c.wav: Process completed successfully\n",
              changed.out);
    EXPECT_EQ(written.substr(0, written.find(' ')), StampOf(Path("out/a_wm.wav")));

    // A changed watermark: every track again.
    Shell("touch " + ShellQuote(Path("wm.wav")));
    EXPECT_EQ("a.wav: Process completed successfully\nb.wav: Process completed successfully\n"
              "c.wav: Process completed successfully\n",
              Run(run).out);

    // A merged run keeps no output per track to go by.
    const Result merged = Run(run + " --merge Mix");
    EXPECT_EQ(2, merged.status);
    EXPECT_NE(std::string::npos, merged.err.find("--skip-existing")) << merged.err;
    EXPECT_FALSE(Exists(Path("out/Mix.wav")));
}

// SoX goes with the program even when that is killed outright, which no
// handler sees; its pipe inputs' runs go as their reader does.
TEST_F(BatchTest, SoxDiesWithTheProgramKilledOutright) {
    MakeTone(Path("long.wav"), 600, kQuiet);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        const std::string command =
            Command("--preset Store --format mp3 --output out long.wav") + " >/dev/null 2>&1";
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    // The mix runs once a shell runs a pipe input for it.
    bool piped = false;
    for (int i = 0; i < 3000 && !piped; ++i) {
        for (const std::string& line : ProcessesNaming(dir))
            piped = piped || line.rfind("sh -c", 0) == 0;
        if (!piped)
            usleep(10000);
    }
    EXPECT_TRUE(piped) << Lines(ProcessesNaming(dir));
    ASSERT_EQ(0, kill(pid, SIGKILL));
    int status = 0;
    waitpid(pid, &status, 0);
    std::vector<std::string> left = ProcessesNaming(dir);
    for (int i = 0; i < 200 && !left.empty(); ++i) {
        usleep(10000);
        left = ProcessesNaming(dir);
    }
    EXPECT_EQ("", Lines(left));
}

// More renders at once than processes free (the user's limit): each waits
// for a process instead of failing its track. Root is above the limit, so
// the program runs as nobody; the limit counts all of nobody's processes.
TEST_F(BatchTest, WaitsForAFreeProcessUnderAProcessLimit) {
    EXPECT_NE(std::string::npos, Run("--help").out.find("at most 4 per core"));
    if (geteuid() != 0)
        GTEST_SKIP() << "only root can run the program as another user with a process limit";
    const int files = 199;
    MakeTone(Path("one.wav"), 0.5, kQuiet, 8000, 1);
    CopyFile(Path("one.wav"), Path("tracks"), "t", files);
    ASSERT_EQ(0, Shell("chmod 755 " + ShellQuote(dir) + " && chown -R nobody:nogroup " +
                       ShellQuote(dir)));
    // The program and three SoX runs at most, where --jobs asks for 10000.
    std::string out;
    const int status =
        Shell("prlimit --nproc=4 setpriv --reuid=nobody --regid=nogroup --clear-groups sh -c " +
                  ShellQuote(Command("--preset Store --start 0 --jobs 10000 --output out tracks") +
                             " 2>/dev/null"),
              &out);
    EXPECT_EQ(0, status) << out;
    EXPECT_EQ(size_t(files), std::count(out.begin(), out.end(), '\n'));
    EXPECT_EQ(std::string::npos, out.find("could not be started")) << out;
    EXPECT_EQ(8000 / 2, Inspect(Path("out/t199_wm.wav")).frames);
}

// A FIFO would keep SoX waiting for ever, and a name that is not UTF-8
// cannot reach it intact: each gets its line at once, the run goes on.
TEST_F(BatchTest, RefusesByNameWhatIsNotARegularFileOrNotUtf8) {
    MakeTone(Path("tracks/a.wav"), 3, kQuiet);
    ASSERT_EQ(0, Shell("cd " + ShellQuote(dir) +
                       " && mkfifo tracks/b.wav fifo.wav && cp tracks/a.wav "
                       "\"tracks/$(printf 'caf\\351.wav')\" && cp tracks/a.wav \"$(printf "
                       "'x\\351.wav')\""));
    const Result folder = Run("--preset Store --output out tracks");
    EXPECT_EQ(1, folder.status) << folder.err;
    EXPECT_EQ("a.wav: Process completed successfully\n"
              "b.wav: Not processed: it is not a regular file (a FIFO).\n"
              "caf\\xe9.wav: Not processed: its name is not valid UTF-8; rename the file.\n",
              folder.out);
    EXPECT_EQ("a_wm.wav\n", Listing("out"));

    const std::string given = " \"$(printf 'x\\351.wav')\" tracks/a.wav fifo.wav /dev/null";
    const std::string refused =
        "x\\xe9.wav: Not processed: its name is not valid UTF-8; rename the file.\n";
    const std::string notRegular = "fifo.wav: Not processed: it is not a regular file (a FIFO).\n"
                                   "null: Not processed: it is not a regular file (a character "
                                   "device).\n";
    const Result named = Run("--preset Store --output out2" + given);
    EXPECT_EQ(1, named.status) << named.err;
    EXPECT_EQ(refused + "a.wav: Process completed successfully\n" + notRegular, named.out);

    // A watermark refuses the run.
    const Result fifo = Run("--preset Store --watermark fifo.wav --output out3 tracks/a.wav");
    EXPECT_EQ(2, fifo.status);
    EXPECT_EQ("velisto-batch: " + notRegular.substr(0, notRegular.find('\n') + 1), fifo.err);
    EXPECT_FALSE(Exists(Path("out3/a_wm.wav")));
    // A run that writes nothing leaves no folder of its own behind.
    EXPECT_EQ(1, Run("--preset Store --output made/here fifo.wav").status);
    EXPECT_FALSE(Exists(Path("made/here")));
}

} // namespace
