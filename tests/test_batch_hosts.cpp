// velisto-batch shared out over SSH with GNU parallel, as the README shows it:
// two OpenSSH servers on this machine stand for two hosts, each letting in a
// user of its own whose login finds the program and the preset. Needs root
// (to add the users) and sshd; skipped otherwise.
#include "shell.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <dirent.h>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
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

// What stands at a path: enough to tell a file rewritten since.
std::string StampOf(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        return "missing";
    return std::to_string(st.st_ino) + ":" + std::to_string(st.st_mtim.tv_sec) + "." +
           std::to_string(st.st_mtim.tv_nsec);
}

// Every process's id, as /proc tells them now.
std::vector<int> Processes() {
    std::vector<int> pids;
    if (DIR* proc = opendir("/proc")) {
        while (const dirent* entry = readdir(proc)) {
            if (const int pid = std::atoi(entry->d_name); pid > 0)
                pids.push_back(pid);
        }
        closedir(proc);
    }
    return pids;
}

// The processes below pid (pid too).
std::set<int> Tree(int pid) {
    std::map<int, std::vector<int>> children;
    for (int child : Processes()) {
        const std::string stat = Contents("/proc/" + std::to_string(child) + "/stat");
        // "PID (COMM) STATE PPID ...": the name may hold blanks and parentheses.
        const size_t end = stat.rfind(')');
        if (end == std::string::npos)
            continue;
        std::istringstream rest(stat.substr(end + 1));
        std::string state;
        int parent = 0;
        rest >> state >> parent;
        children[parent].push_back(child);
    }
    std::set<int> tree{pid};
    std::vector<int> todo{pid};
    while (!todo.empty()) {
        const int next = todo.back();
        todo.pop_back();
        for (int child : children[next]) {
            if (tree.insert(child).second)
                todo.push_back(child);
        }
    }
    return tree;
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

    // Starts command in a process group of its own, as a terminal runs a
    // pipeline; its standard output goes to out.
    pid_t Start(const std::string& command, const std::string& out) const {
        const pid_t pid = fork();
        if (pid == 0) {
            setpgid(0, 0);
            const std::string full =
                Environment() + command + " >" + ShellQuote(out) + " 2>" + ShellQuote(out + ".err");
            execl("/bin/sh", "sh", "-c", full.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        setpgid(pid, pid);
        return pid;
    }

    // Waits for a started command; -1 when it had to be ended after two minutes.
    static int Wait(pid_t pid) {
        int status = 0;
        for (int i = 0; i < 12000; ++i) {
            if (waitpid(pid, &status, WNOHANG) == pid)
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        kill(-pid, SIGKILL);
        waitpid(pid, &status, 0);
        return -1;
    }

    // Host n goes down at once: its server and everything under it stop
    // where they are, with no chance to clean up.
    std::set<int> StopHost(int n) const {
        const int server = std::atoi(Contents(Path("sshd" + std::to_string(n) + ".pid")).c_str());
        std::set<int> frozen;
        // Frozen first, until no new process appears below, then killed. A
        // process may end meanwhile: only new ones count.
        for (bool fresh = true; fresh;) {
            fresh = false;
            for (int pid : Tree(server)) {
                if (frozen.insert(pid).second) {
                    kill(pid, SIGSTOP);
                    fresh = true;
                }
            }
        }
        for (int pid : frozen)
            kill(pid, SIGKILL);
        return frozen;
    }

    // Waits until no velisto-batch of the hosts' users runs: a job whose
    // connection went may still be ending.
    void WaitForHostsIdle() const {
        const std::set<uid_t> users{HostUser(1), HostUser(2)};
        for (int i = 0; i < 1000; ++i) {
            bool running = false;
            for (int pid : Processes()) {
                struct stat st;
                const std::string proc = "/proc/" + std::to_string(pid);
                if (stat(proc.c_str(), &st) == 0 && users.count(st.st_uid) &&
                    Contents(proc + "/comm") == "velisto-batch\n")
                    running = true;
            }
            if (!running)
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ADD_FAILURE() << "the hosts' velisto-batch did not end";
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

    // The outputs' names in folder, hidden ones left out.
    static std::string Visible(const std::string& folder) {
        std::string out;
        Shell("LC_ALL=C ls " + ShellQuote(folder), &out);
        return out;
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
}

TEST_F(HostsTest, RetriesRerunTheJobsOfAHostStoppedInTheMiddle) {
    const std::string shared = SharedFolder("shared/previews");
    const pid_t run = Start(CatalogueRun(shared), Path("out.txt"));
    // host1 goes down while it writes a track.
    const uid_t host1 = HostUser(1);
    std::string killedTrack;
    for (int i = 0; i < 20000 && killedTrack.empty(); ++i) {
        if (DIR* folder = opendir(shared.c_str())) {
            while (const dirent* entry = readdir(folder)) {
                const std::string name = entry->d_name;
                struct stat st;
                if (name.rfind(".t", 0) == 0 && name.find(".partial-") != std::string::npos &&
                    stat((shared + "/" + name).c_str(), &st) == 0 && st.st_uid == host1) {
                    killedTrack = name.substr(1, name.find("_wm.mp3") - 1) + ".mp3";
                    break;
                }
            }
            closedir(folder);
        }
        if (killedTrack.empty())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_FALSE(killedTrack.empty()) << "host1 never wrote a track";
    StopHost(1);
    ASSERT_EQ(0, Wait(run)) << Contents(Path("out.txt")) << Contents(Path("out.txt.err"));

    const std::string out = Contents(Path("out.txt"));
    // The killed host may have finished a track just before it went: the
    // retry then finds it rendered.
    for (int i = 1; i <= kTracks; ++i) {
        const int skipped = Count(out, Track(i) + ": already rendered, skipped.\n");
        EXPECT_EQ(1, Count(out, Track(i) + ": Process completed successfully\n") + skipped) << out;
    }
    // The stopped host's job was run again on the other one, which finished it.
    std::string line;
    std::ifstream log(Path("catalogue.log"));
    bool rerun = false;
    while (std::getline(log, line)) {
        if (line.size() > killedTrack.size() &&
            line.compare(line.size() - killedTrack.size() - 1, std::string::npos,
                         "/" + killedTrack) == 0)
            rerun = line.find("\thost2\t") != std::string::npos;
    }
    EXPECT_TRUE(rerun) << killedTrack << "\n" << Contents(Path("catalogue.log"));
    // What the stopped host was writing never took an output's name.
    EXPECT_EQ(AllOutputs(), Visible(shared));
    ExpectSameAsLocal(shared);
}

TEST_F(HostsTest, AStoppedCatalogueRunResumesWhereItStopped) {
    const std::string shared = SharedFolder("shared/previews");
    const pid_t first = Start(CatalogueRun(shared), Path("out1.txt"));
    // Ctrl-C once a third of the catalogue is done.
    for (int i = 0; i < 6000; ++i) {
        int done = 0;
        for (int t = 1; t <= kTracks; ++t)
            done += StampOf(shared + "/" + Output(t)) != "missing";
        if (done >= kTracks / 3)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    kill(-first, SIGINT);
    EXPECT_NE(0, Wait(first));
    WaitForHostsIdle();

    std::map<int, std::string> before;
    std::set<std::string> missing;
    for (int t = 1; t <= kTracks; ++t) {
        before[t] = StampOf(shared + "/" + Output(t));
        if (before[t] == "missing")
            missing.insert(Track(t));
    }
    ASSERT_FALSE(missing.empty()) << "the run ended before it was stopped";
    ASSERT_LT(missing.size(), size_t(kTracks));

    // The same command again.
    const Ran second = Run(CatalogueRun(shared));
    ASSERT_EQ(0, second.status) << second.out << second.err;
    // Only what was missing is rendered; a finished file stays as it was.
    std::set<std::string> rendered;
    std::istringstream lines(second.out);
    for (std::string line; std::getline(lines, line);) {
        const size_t colon = line.find(": ");
        const std::string rest = line.substr(colon + 2);
        if (rest == "Process completed successfully")
            rendered.insert(line.substr(0, colon));
        else
            EXPECT_EQ("already rendered, skipped.", rest) << line;
    }
    EXPECT_EQ(missing, rendered) << second.out;
    for (int t = 1; t <= kTracks; ++t) {
        if (before[t] != "missing") {
            EXPECT_EQ(before[t], StampOf(shared + "/" + Output(t))) << Output(t);
        }
    }
    EXPECT_EQ(AllOutputs(), Listing(shared));
    ExpectSameAsLocal(shared);
}

} // namespace
