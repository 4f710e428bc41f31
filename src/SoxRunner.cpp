// Runs SoX commands as child processes of the resource folder: the one
// starter, the queue, and what each process printed.
#include "SoxRunner.h"

#include <wx/app.h>
#include <wx/cmdline.h>
#include <wx/apptrait.h>
#include <wx/evtloop.h>
#include <wx/filefn.h>
#include <wx/filename.h>
#include <wx/log.h>
#include <wx/process.h>
#include <wx/thread.h>
#include <wx/timer.h>
#include <wx/utils.h>
#include <wx/wfstream.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>

const wxString g_resourceFolder = "Velisto.app/Contents/Resources/";

std::function<void(const wxString&)> SoxQueue::s_commandObserver;

namespace {

// Starts tried while no process is free and none of ours runs to free one.
const int kStartTries = 12;

// What a streamed output's pipe holds: as much as Linux grants a user by default.
const int kStreamPipeBytes = 1 << 20;

// Lines of bytes, read as UTF-8 (SoX prints file names as they are on disk);
// bytes that are not UTF-8 are taken as the file-name encoding.
void SplitLines(const std::string& bytes, wxArrayString& lines) {
    size_t begin = 0;
    while (begin < bytes.size()) {
        size_t end = bytes.find('\n', begin);
        if (end == std::string::npos)
            end = bytes.size();
        std::string line = bytes.substr(begin, end - begin);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        wxString text = wxString::FromUTF8(line.c_str(), line.size());
        if (text.empty() && !line.empty())
            text = wxString(line.c_str(), *wxConvFileName);
        lines.Add(text);
        begin = end + 1;
    }
}

// Whether the pipe holds something to read, or its end. The toolkit's own
// check gives up, and logs an error, when a child's end interrupts it: the
// last lines of a run would be lost.
bool Readable(wxInputStream* stream) {
    auto* file = dynamic_cast<wxFileInputStream*>(stream);
    if (!file || !file->IsOk() || stream->Eof())
        return false;
    pollfd pipe{file->GetFile()->fd(), POLLIN, 0};
    int ready;
    do
        ready = poll(&pipe, 1, 0);
    while (ready < 0 && errno == EINTR);
    return ready > 0;
}

// Hands take what the pipe holds now, piece by piece, up to limit bytes;
// true when it stopped at the limit with more to read.
template <class Take>
bool ReadAvailable(wxInputStream* stream, const Take& take, size_t limit = SIZE_MAX) {
    char buffer[65536];
    for (size_t read = 0; Readable(stream); read += stream->LastRead()) {
        if (read >= limit)
            return true;
        stream->Read(buffer, sizeof buffer);
        if (stream->LastRead() == 0)
            break;
        take(buffer, stream->LastRead());
    }
    return false;
}

void ReadAvailable(wxInputStream* stream, std::string& into) {
    ReadAvailable(stream, [&into](const char* bytes, size_t count) { into.append(bytes, count); });
}

} // namespace

// A SoX process as the toolkit runs it. It deletes itself, and so closes its
// pipes, as soon as it has ended and told its owner.
class SoxQueue::Child : public wxProcess {
public:
    Child(std::function<void(const SoxOutput&)> done,
          std::function<void(const char*, size_t)> stream)
        : m_done(std::move(done)), m_stream(std::move(stream)) {
        Redirect();
    }

    // Reads what it printed; true when streamed output was left for the next
    // turn. A stream that comes faster than its taker works through it would
    // otherwise hold the event loop until the end.
    bool Drain() {
        bool more = false;
        if (m_stream)
            more = ReadAvailable(GetInputStream(), m_stream, kStreamPipeBytes);
        else
            ReadAvailable(GetInputStream(), m_output);
        ReadAvailable(GetErrorStream(), m_errors);
        return more;
    }
    // Ends the process and every process of its group; its end is told as
    // cancelled. Nothing once it has been reaped: its number may be another's.
    void Kill() {
        if (m_terminated)
            return;
        m_killed = true;
        wxProcess::Kill(static_cast<int>(pid), wxSIGKILL, wxKILL_CHILDREN);
        // Just after the start the child may not have made its group yet, and
        // the group kill misses it; it has started nothing of its own by then.
        wxProcess::Kill(static_cast<int>(pid), wxSIGKILL, wxKILL_NOCHILDREN);
    }
    // Waits until a killed process has stopped, so that it writes nothing
    // more: a file its owner removes next would otherwise come back.
    void AwaitStop() const {
        if (m_terminated || !m_killed)
            return;
        const std::string stat = "/proc/" + std::to_string(pid) + "/stat";
        for (int waited = 0; waited < 2000; ++waited) {
            FILE* file = std::fopen(stat.c_str(), "r");
            if (!file)
                return;
            char line[512] = "";
            const bool read = std::fgets(line, sizeof line, file) != nullptr;
            std::fclose(file);
            // "PID (NAME) STATE ...": a zombie has ended.
            const char* end = std::strrchr(line, ')');
            if (!read || !end || end[1] == '\0' || end[2] == 'Z' || end[2] == 'X')
                return;
            wxMilliSleep(1);
        }
    }
    // The owner is going away: nobody is told of the end, nor handed output.
    void Forget() {
        m_done = nullptr;
        m_stream = [](const char*, size_t) {};
    }
    // Called once the toolkit has handed it over; a child that ended even
    // before that is finished by the next wait.
    void Started(long id) {
        pid = id;
        m_started = true;
        s_running.insert(this);
        if (m_stream)
            WidenOutputPipe();
    }
    bool Terminated() const { return m_terminated; }

    // Tells the owner and goes.
    void Finish() {
        s_running.erase(this);
        ++s_ends;
        SoxOutput result;
        result.status = m_status;
        result.cancelled = m_killed && m_status != 0;
        SplitLines(m_output, result.output);
        SplitLines(m_errors, result.errors);
        std::function<void(const SoxOutput&)> done = std::move(m_done);
        delete this;
        if (done)
            done(result);
    }

    long pid = 0;
    static std::set<Child*> s_running;
    static unsigned long s_ends; // children finished so far

    void OnTerminate(int, int status) override {
        while (Drain()) {
        }
        m_status = status;
        m_terminated = true;
        // The toolkit reports a child that ended at once from within
        // wxExecute, before Start has it.
        if (m_started)
            Finish();
    }

private:
    // A streamed output is read once per turn of the event loop; the pipe
    // must hold what SoX decodes meanwhile, or SoX waits on it.
    void WidenOutputPipe() {
        auto* pipe = dynamic_cast<wxFileInputStream*>(GetInputStream());
        if (pipe && pipe->GetFile())
            fcntl(pipe->GetFile()->fd(), F_SETPIPE_SZ, kStreamPipeBytes);
    }

    std::function<void(const SoxOutput&)> m_done;
    std::function<void(const char*, size_t)> m_stream;
    std::string m_output;
    std::string m_errors;
    int m_status = -1;
    bool m_started = false;
    bool m_terminated = false;
    bool m_killed = false;
};

std::set<SoxQueue::Child*> SoxQueue::Child::s_running;

unsigned long SoxQueue::Child::s_ends = 0;

// Kills SoX when this process goes, even killed outright, where a process
// group would leave it running: the parent-death signal, set in the child.
// The kernel sends it when the thread that started the child ends; every
// start happens on the thread that runs the event loop, which ends only with
// the process. SoX's pipe inputs then die of SIGPIPE. Empty where util-linux
// is missing.
bool IsWakeUpPipeRace(const wxString& message) {
    return message.Contains("Too many writes to wake-up pipe");
}

const wxString& DieWithParent() {
    static const wxString prefix = wxFileName::IsFileExecutable("/usr/bin/setpriv")
                                       ? "/usr/bin/setpriv --pdeathsig KILL "
                                       : "";
    return prefix;
}

bool OnPath(const wxString& program) {
    wxPathList path;
    path.AddEnvList("PATH");
    return !path.FindAbsoluteValidPath(program).empty();
}

namespace {

// True when program (a path, or a name to find on the PATH) can be started
// from the resource folder.
bool CanStart(const wxString& program) {
    if (program.StartsWith("/"))
        return wxFileName::IsFileExecutable(program);
    if (program.Contains("/"))
        return wxFileName::IsFileExecutable(g_resourceFolder + program);
    return OnPath(program);
}

// Milliseconds to wait before the next start when none was free.
long long StartPause(int tries) {
    return std::min(1000, 10 << std::min(tries, 7));
}

} // namespace

SoxQueue::Child* SoxQueue::Start(const wxString& command,
                                 std::function<void(const SoxOutput&)> done,
                                 std::function<void(const char*, size_t)> stream, int* error) {
    if (s_commandObserver)
        s_commandObserver(command);
    // setpriv starts, whether the program can be or not.
    if (!DieWithParent().empty() && !CanStart(command.BeforeFirst(' '))) {
        if (error)
            *error = ENOENT;
        return nullptr;
    }
    auto* child = new Child(std::move(done), std::move(stream));
    wxExecuteEnv env;
    env.cwd = g_resourceFolder;
    long pid = 0;
    int failure = 0;
    {
        // A failure is told by status -1; the toolkit would log it on top.
        wxLogNull quiet;
        errno = 0;
        pid = wxExecute(DieWithParent() + command, wxEXEC_ASYNC | wxEXEC_MAKE_GROUP_LEADER, child,
                        &env);
        failure = errno;
    }
    if (pid <= 0) {
        if (error)
            *error = failure;
        delete child;
        return nullptr;
    }
    child->Started(pid);
    return child;
}

SoxOutput SoxQueue::RunHere(const wxString& command,
                            const std::function<void(const char*, size_t)>& stream,
                            const std::function<bool()>& stop) {
    SoxOutput result;
    // Split as wxExecute splits, everything made before the fork: the child
    // of a threaded process may only call what is safe in a signal handler.
    std::vector<std::string> words;
    for (const wxString& word :
         wxCmdLineParser::ConvertStringToArgs(DieWithParent() + command, wxCMD_LINE_SPLIT_UNIX))
        words.push_back(word.utf8_string());
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(&word[0]);
    argv.push_back(nullptr);
    const std::string folder = g_resourceFolder.utf8_string();
    int out[2], err[2];
    if (words.empty() || pipe2(out, O_CLOEXEC) != 0)
        return result;
    if (pipe2(err, O_CLOEXEC) != 0) {
        close(out[0]);
        close(out[1]);
        return result;
    }
    const pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);
        if (chdir(folder.c_str()) == 0 && dup2(out[1], 1) >= 0 && dup2(err[1], 2) >= 0)
            execvp(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    if (pid < 0) {
        close(out[0]);
        close(err[0]);
        return result;
    }
    std::string output, errors;
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    int open = 2;
    char buffer[65536];
    while (open > 0) {
        if (stop && !result.cancelled && stop()) {
            result.cancelled = true;
            kill(-pid, SIGKILL);
        }
        const int ready = poll(fds, 2, 100);
        if (ready < 0 && errno != EINTR)
            break;
        for (pollfd& fd : fds) {
            if (fd.fd < 0 || !(fd.revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            const ssize_t got = read(fd.fd, buffer, sizeof buffer);
            if (got > 0 && fd.fd == out[0] && stream)
                stream(buffer, static_cast<size_t>(got));
            else if (got > 0)
                (fd.fd == out[0] ? output : errors).append(buffer, static_cast<size_t>(got));
            else if (got == 0 || errno != EINTR) {
                close(fd.fd);
                fd.fd = -1;
                --open;
            }
        }
    }
    for (pollfd& fd : fds)
        if (fd.fd >= 0)
            close(fd.fd);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    for (const wxString& line : wxSplit(wxString::FromUTF8(output), '\n', '\0'))
        if (!line.empty())
            result.output.Add(line);
    for (const wxString& line : wxSplit(wxString::FromUTF8(errors), '\n', '\0'))
        if (!line.empty())
            result.errors.Add(line);
    return result;
}

bool SoxQueue::PauseForProcesses(int tries) {
    const unsigned long ends = Child::s_ends;
    const wxLongLong due = wxGetLocalTimeMillis() + StartPause(tries);
    WaitUntil([&] { return Child::s_ends != ends || wxGetLocalTimeMillis() >= due; });
    return Child::s_ends != ends;
}

void SoxQueue::WaitUntil(const std::function<bool()>& finished) {
    wxAppConsole* app = wxAppConsole::GetInstance();
    std::unique_ptr<wxEventLoopBase> loop(app ? app->GetTraits()->CreateEventLoop() : nullptr);
    wxEventLoopBase* active = wxEventLoopBase::GetActive();
    wxEventLoopBase* use = active ? active : loop.get();
    std::unique_ptr<wxEventLoopActivator> activate;
    if (!active && use)
        activate.reset(new wxEventLoopActivator(use));
    for (;;) {
        const bool more = Poll();
        if (finished())
            return;
        if (use)
            use->DispatchTimeout(more ? 0 : 20);
        if (app)
            app->ProcessPendingEvents();
    }
}

bool SoxQueue::Poll() {
    bool more = false;
    for (Child* child : std::set<Child*>(Child::s_running)) {
        if (child->Terminated())
            child->Finish();
        else
            more = child->Drain() || more;
    }
    return more;
}

// Runs the background queue's rounds while it has work.
class SoxQueue::Ticker : public wxTimer {
public:
    explicit Ticker(SoxQueue& queue) : m_queue(queue) {}
    void Notify() override { m_queue.Tick(); }

private:
    SoxQueue& m_queue;
};

SoxQueue::SoxQueue(int parallel)
    : m_parallel(parallel > 0 ? static_cast<size_t>(parallel)
                              : static_cast<size_t>(std::max(1, wxThread::GetCPUCount()))) {
}

SoxQueue::~SoxQueue() {
    for (Started& running : m_running) {
        running.child->Forget();
        running.child->Kill();
    }
    for (Started& running : m_running)
        running.child->AwaitStop();
}

void SoxQueue::Add(SoxJob job) {
    m_waiting.push_back(m_jobs.size());
    m_jobs.push_back(std::move(job));
    if (m_ticker) {
        // Often enough that a process printing fast never waits long on a full pipe.
        if (!m_ticker->IsRunning())
            m_ticker->Start(10);
        Tick();
    }
}

void SoxQueue::RunInBackground() {
    if (!m_ticker)
        m_ticker.reset(new Ticker(*this));
}

void SoxQueue::Tick() {
    // A begin or an end that waits for SoX of its own runs the event loop,
    // and so this timer, again.
    if (m_ticking)
        return;
    m_ticking = true;
    Poll();
    Deliver();
    while (BeginNext())
        Deliver();
    if (m_running.empty() && m_ended.empty() && m_waiting.empty() && !m_deferred.active) {
        m_ticker->Stop();
        m_jobs.clear(); // nothing refers to them now
    }
    m_ticking = false;
}

void SoxQueue::Cancel() {
    m_cancelled = true;
    m_waiting.clear();
    if (m_deferred.active) {
        SoxOutput none;
        none.cancelled = true;
        m_ended.push_back({m_deferred.job, none});
        m_deferred = Deferred();
    }
    for (Started& running : m_running)
        running.child->Kill();
    for (Started& running : m_running)
        running.child->AwaitStop();
}

bool SoxQueue::DeferredDue() const {
    return m_deferred.active &&
           (Child::s_ends != m_deferred.ends || wxGetLocalTimeMillis() >= m_deferred.due);
}

bool SoxQueue::BeginNext() {
    if (m_deferred.active) {
        if (m_cancelled || !DeferredDue())
            return false;
        // Only a pause with nothing of ours running to free a process counts
        // against the job: ours end by themselves.
        if (Child::s_ends == m_deferred.ends && Child::s_running.empty())
            ++m_deferred.tries;
        m_deferred.active = false;
        return StartJob(m_deferred.job, m_deferred.command);
    }
    if (m_cancelled || m_running.size() >= m_parallel || m_waiting.empty())
        return false;
    auto next = std::find_if(m_waiting.begin(), m_waiting.end(), [this](size_t job) {
        return !m_jobs[job].ready || m_jobs[job].ready();
    });
    if (next == m_waiting.end()) {
        if (!m_running.empty())
            return false; // they wait for one of those
        next = m_waiting.begin();
    }
    const size_t job = *next;
    m_waiting.erase(next);
    wxString command;
    if (!m_jobs[job].begin(command))
        return true;
    if (command.empty()) {
        SoxOutput nothingRan;
        nothingRan.status = 0;
        m_ended.push_back({job, nothingRan});
        return true;
    }
    StartJob(job, command);
    return true;
}

bool SoxQueue::StartJob(size_t job, const wxString& command) {
    Child* child = nullptr;
    int error = 0;
    if (!m_cancelled) {
        // ~SoxQueue forgets the children still running, so this never outlives the queue.
        child = Start(
            command,
            [this, job](const SoxOutput& out) {
                const auto running = std::find_if(m_running.begin(), m_running.end(),
                                                  [job](const Started& r) { return r.job == job; });
                if (running != m_running.end())
                    m_running.erase(running);
                m_ended.push_back({job, out});
            },
            m_jobs[job].stream, &error);
    }
    if (!child && !m_cancelled && error == EAGAIN && m_deferred.tries < kStartTries) {
        // Out of processes (the user's limit, a full table) passes as
        // processes end: the job waits instead of failing.
        m_deferred.active = true;
        m_deferred.job = job;
        m_deferred.command = command;
        m_deferred.ends = Child::s_ends;
        m_deferred.due = (wxGetLocalTimeMillis() + StartPause(m_deferred.attempts++)).GetValue();
        return false;
    }
    m_deferred = Deferred();
    if (child) {
        m_running.push_back({job, child});
    } else {
        // Cancelled while it began, or SoX could not be started (status -1).
        SoxOutput none;
        none.cancelled = m_cancelled;
        m_ended.push_back({job, none});
    }
    return true;
}

void SoxQueue::Deliver() {
    while (!m_ended.empty()) {
        Ended ended = std::move(m_ended.front());
        m_ended.erase(m_ended.begin());
        if (m_jobs[ended.job].end)
            m_jobs[ended.job].end(ended.out);
    }
}

void SoxQueue::Run(const std::function<bool()>& stop) {
    auto stopAsked = [&] { return !m_cancelled && stop && stop(); };
    for (;;) {
        if (stopAsked())
            Cancel();
        Deliver();
        while (BeginNext()) {
            // A begin may take a while (it reads headers): hand over what
            // ended meanwhile before the next one.
            Deliver();
        }
        if (m_running.empty() && m_ended.empty() && !m_deferred.active &&
            (m_waiting.empty() || m_cancelled))
            return;
        WaitUntil([&] { return !m_ended.empty() || stopAsked() || DeferredDue(); });
    }
}

SoxOutput SoxQueue::RunNow(const wxString& command,
                           const std::function<void(const char*, size_t)>& stream) {
    SoxOutput result;
    bool ended = false;
    const auto done = [&](const SoxOutput& out) {
        result = out;
        ended = true;
    };
    int error = 0;
    for (int tries = 0; !Start(command, done, stream, &error);) {
        if (error != EAGAIN || tries == kStartTries)
            return result; // status -1: could not be started
        if (!PauseForProcesses(tries))
            ++tries;
    }
    WaitUntil([&] { return ended; });
    return result;
}
