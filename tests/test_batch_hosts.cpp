// velisto-batch shared out over SSH with GNU parallel, as the README shows it:
// two OpenSSH servers on this machine stand for two hosts, each letting in a
// user of its own whose login finds the program and the preset. Needs root
// (to add the users) and sshd; skipped otherwise.
#include "shell.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

const int kTracks = 12;

std::string Track(int i) {
    return "t" + std::to_string(i) + ".mp3";
}
std::string Output(int i) {
    return "t" + std::to_string(i) + "_wm.mp3";
}

struct Ran {
    int status = -1;
    std::string out, err;
};

class HostsTest : public testing::Test {
protected:
    void SetUp() override {
        // A home for the client side, so that parallel keeps its files there.
        ASSERT_EQ(0, Shell("mkdir -p " + ShellQuote(Path("client")) + " " +
                           ShellQuote(Path("catalogue")) + " " + ShellQuote(Path("local"))));
        MakeTone(Path("wm.wav"), 1, "sine 1000 vol 0.1");
        // "Store": MP3 at 128 kbit/s, suffix _wm, first watermark after 1 s, then every 5 s.
        std::ofstream(Path("settings"))
            << "[Presets/Store/Watermark Settings]\nStart=1\nRepeatEvery=0\n"
            << "[Presets/Store/Watermark Settings/WatermarkFiles]\nFile0=" << Path("wm.wav")
            << "\n[Presets/Store/ Output Settings]\nIsMono=0\nIsAppend=0\nOutputFormat=mp3\n"
            << "Bitrate=4\nOutputFolder=\nPrefixOrSuffix=1\nPrefixOrSuffixString=_wm\n";
        std::string said;
        const int started = Shell(ShellQuote(VELISTO_SSH_HOSTS) + " start " + ShellQuote(dir) +
                                      " 2 " + ShellQuote(VELISTO_BATCH) + " " +
                                      ShellQuote(Path("settings")) + " " + std::to_string(getpid()),
                                  &said);
        // Stopped whatever start got to.
        m_started = started != 77;
        if (started == 77) {
            GTEST_SKIP() << "no SSH hosts on this machine: " << said;
        }
        ASSERT_EQ(0, started) << said;
        for (int i = 1; i <= kTracks; ++i)
            MakeTone(Path("catalogue/" + Track(i)), 5 + i % 4,
                     "sine " + std::to_string(300 + 40 * i) + " vol 0.1");

        // The reference: one local run over the whole catalogue.
        Shell("cp " + ShellQuote(Path("settings")) + " " + ShellQuote(Path("client/.velisto")));
        std::string out;
        ASSERT_EQ(0, Shell("HOME=" + ShellQuote(Path("client")) + " " + ShellQuote(VELISTO_BATCH) +
                               " --preset Store --output " + ShellQuote(Path("local")) + " " +
                               ShellQuote(Path("catalogue")) + " 2>/dev/null",
                           &out))
            << out;
    }

    void TearDown() override {
        if (m_started) {
            EXPECT_EQ(0, Shell(ShellQuote(VELISTO_SSH_HOSTS) + " stop " + ShellQuote(dir)));
        }
    }

    std::string Path(const std::string& name) const { return m_dir / name; }

    // The README's resumable catalogue run, with the test's folders for
    // /shared: the same command line starts it and, after a stop, resumes it.
    std::string CatalogueRun(const std::string& shared) const {
        return "find " + ShellQuote(Path("catalogue")) +
               " -name '*.mp3' | parallel --sshloginfile hosts --retries 2 --joblog catalogue.log "
               "--resume velisto-batch --skip-existing --preset \"Store\" --output " +
               ShellQuote(shared) + " {}";
    }

    // A folder that every host's user may write, as a shared one would be.
    std::string SharedFolder(const std::string& name) const {
        Shell("mkdir -p -m 777 " + ShellQuote(Path(name)) + " && chmod 777 " +
              ShellQuote(Path(name)));
        return Path(name);
    }

    // The command run from the test's folder, with ssh set up for the hosts
    // and parallel's own files kept in the client's home.
    std::string Environment() const {
        return "cd " + ShellQuote(dir) + " && export HOME=" + ShellQuote(Path("client")) +
               " PARALLEL_SSH=" + ShellQuote("ssh -F " + Path("ssh_config")) + " && ";
    }

    Ran Run(const std::string& command) const {
        Ran ran;
        ran.status =
            Shell(Environment() + command + " 2>" + ShellQuote(Path("stderr.txt")), &ran.out);
        ran.err = Contents(Path("stderr.txt"));
        return ran;
    }

    // The user host n logs in as.
    uid_t HostUser(int n) const {
        std::string out;
        Shell("id -u $(sed -n " + std::to_string(n) + "p " + ShellQuote(Path("users")) + ")", &out);
        return static_cast<uid_t>(std::atoi(out.c_str()));
    }

    // Every track's output in folder is there and decodes to the local run's samples.
    void ExpectSameAsLocal(const std::string& folder) const {
        for (int i = 1; i <= kTracks; ++i) {
            const std::string local = Path("local/" + Output(i)), remote = folder + "/" + Output(i);
            ASSERT_NE("missing", StampOf(remote)) << remote;
            std::string localFrames, remoteFrames;
            Shell("soxi -s " + ShellQuote(local), &localFrames);
            Shell("soxi -s " + ShellQuote(remote), &remoteFrames);
            EXPECT_EQ(localFrames, remoteFrames) << Output(i);
            EXPECT_EQ(0, DifferenceIn(local, remote)) << Output(i);
        }
    }

    static int Count(const std::string& text, const std::string& line) {
        int count = 0;
        for (size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + 1))
            count += at == 0 || text[at - 1] == '\n';
        return count;
    }

    std::string AllOutputs() const {
        std::vector<std::string> names;
        for (int i = 1; i <= kTracks; ++i)
            names.push_back(Output(i));
        std::sort(names.begin(), names.end());
        std::string all;
        for (const std::string& name : names)
            all += name + "\n";
        return all;
    }

    TempDir m_dir;
    const std::string dir = m_dir.path();
    bool m_started = false;
};

TEST_F(HostsTest, TheReadmePatternRendersEveryTrackOnceOverSsh) {
    const std::string shared = SharedFolder("shared/previews");
    // The README's command line, with the test's folders for /shared.
    const Ran ran = Run("find " + ShellQuote(Path("catalogue")) +
                        " -name '*.mp3' | parallel -S host1,host2 velisto-batch --preset \"Store\" "
                        "--output " +
                        ShellQuote(shared) + " {}");
    ASSERT_EQ(0, ran.status) << ran.out << ran.err;
    for (int i = 1; i <= kTracks; ++i)
        EXPECT_EQ(1, Count(ran.out, Track(i) + ": Process completed successfully\n")) << ran.out;
    EXPECT_EQ(AllOutputs(), Listing(shared));
    ExpectSameAsLocal(shared);
    // Both hosts took a share: each host's user owns what it wrote.
    std::set<uid_t> owners;
    for (int i = 1; i <= kTracks; ++i) {
        struct stat st;
        if (stat((shared + "/" + Output(i)).c_str(), &st) == 0)
            owners.insert(st.st_uid);
    }
    EXPECT_EQ((std::set<uid_t>{HostUser(1), HostUser(2)}), owners);

    // The resumable form over the finished previews: every host skips its
    // tracks, and not one file is written again.
    std::string before;
    for (int i = 1; i <= kTracks; ++i)
        before += StampOf(shared + "/" + Output(i)) + " ";
    const Ran again = Run(CatalogueRun(shared));
    ASSERT_EQ(0, again.status) << again.out << again.err;
    for (int i = 1; i <= kTracks; ++i)
        EXPECT_EQ(1, Count(again.out, Track(i) + ": already rendered, skipped.\n")) << again.out;
    std::string after;
    for (int i = 1; i <= kTracks; ++i)
        after += StampOf(shared + "/" + Output(i)) + " ";
    EXPECT_EQ(before, after);
}

} // namespace
