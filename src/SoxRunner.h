// Runs SoX commands as child processes: it knows nothing of what they do.
#ifndef SOXRUNNER_H
#define SOXRUNNER_H

#include <wx/arrstr.h>
#include <wx/string.h>

#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// Folder that holds the bundled SoX, pictures and preset sounds, relative to
// the working directory.
extern const wxString g_resourceFolder;

// The words before a command that make its process die with this one, even
// killed outright; empty where the tool for it is missing. The runner puts
// them before every command, and a shell it runs before the processes that
// would outlive it.
const wxString& DieWithParent();
// True when program is found on the PATH. Looked up each time: cheap, and a
// user may install a tool while the window is open.
bool OnPath(const wxString& program);

// True for the toolkit's assertion that its wake-up pipe held two bytes:
// children ending together can each signal it, and the pipe is drained
// either way. Not a fault to report.
bool IsWakeUpPipeRace(const wxString& message);

// What one SoX run left behind: its exit status (-1 when it could not be
// started), its standard output and error line by line, and whether a
// SoxQueue::Cancel ended it before it finished (its output is then partial).
struct SoxOutput {
    long status = -1;
    wxArrayString output;
    wxArrayString errors;
    bool cancelled = false;
};

// One command for a SoxQueue.
struct SoxJob {
    // Asked before the job begins; false keeps it waiting while later jobs
    // go ahead (empty: always ready). A job still not ready when nothing
    // else runs begins anyway.
    std::function<bool()> ready;
    // The command to run in the resource folder; false when nothing is to
    // run, which ends the job (end is not called). An empty command runs
    // nothing and ends at once, as a run of status 0 that printed nothing.
    std::function<bool(wxString& command)> begin;
    // How the command ended, called once from the queue's Run (or, running
    // in the background, from the event loop), never from within another
    // job's begin.
    std::function<void(const SoxOutput& out)> end;
    // When set, the command's standard output is handed here piece by piece
    // as it arrives, from the event loop, and not kept: neither lines nor
    // lines. The pieces split lines and samples anywhere. Never called once
    // the queue is gone.
    std::function<void(const char* bytes, size_t size)> stream;
};

// The one queue of SoX processes: runs jobs in the background, up to a
// number at once, on the thread that runs the event loop. Each command runs
// in the resource folder as the leader of a new process group, so that
// ending it also ends the SoX processes its pipe inputs started. A process's
// pipes are closed and its object released as soon as it has ended and its
// output has been read, so open descriptors stay bounded by the processes
// running at once, however many jobs there are.
class SoxQueue {
public:
    // parallel: how many commands run at once; 0 means one per processor core.
    explicit SoxQueue(int parallel = 0);
    // Ends whatever still runs; no job is told.
    ~SoxQueue();
    SoxQueue(const SoxQueue&) = delete;
    SoxQueue& operator=(const SoxQueue&) = delete;

    void Add(SoxJob job);
    // Begins the jobs added, in order, while fewer than Parallel() run, and
    // returns once every job has ended or was dropped by a cancel. Runs the
    // event loop meanwhile, reading what the processes print so that no pipe
    // fills up. stop is asked as it waits; true cancels as Cancel does.
    void Run(const std::function<bool()>& stop = nullptr);
    // From now on, begins jobs as they are added and returns at once: a
    // timer of the event loop reads what they print and tells their ends.
    // For a queue that lives as long as a window; Run is not to be called.
    void RunInBackground();
    // Ends every running command at once (each job's end is told, with
    // cancelled set unless it had just finished) and drops the jobs not yet
    // begun; Run then returns. The commands have stopped when it returns:
    // what they were writing can be removed. For use while Run runs, from the event loop.
    void Cancel();
    bool WasCancelled() const { return m_cancelled; }

    size_t Parallel() const { return m_parallel; }
    size_t Running() const { return m_running.size(); }
    // Jobs added and neither begun nor dropped.
    size_t Waiting() const { return m_waiting.size(); }

    // Runs command through the one starter and waits for it in the event
    // loop; a start that finds no process free is tried again for a while.
    // With stream, its standard output goes there as it arrives (as
    // SoxJob::stream), not into the result.
    static SoxOutput RunNow(const wxString& command,
                            const std::function<void(const char*, size_t)>& stream = nullptr);

    // Runs command as RunNow does but on the calling thread, which may be
    // any: no event loop runs, and the toolkit's process handling, which
    // belongs to the main thread, is not used. stop, asked every tenth of a
    // second, ends the command (then cancelled is set).
    static SoxOutput RunHere(const wxString& command,
                             const std::function<void(const char*, size_t)>& stream = nullptr,
                             const std::function<bool()>& stop = nullptr);

    // Every command text goes through here before it runs; tests hook it to
    // see the commands. Empty by default.
    static std::function<void(const wxString&)> s_commandObserver;

private:
    class Child;
    // The one place that starts SoX: command in the background, in the
    // resource folder. done is called once, from the event loop, when it has
    // ended and its output has been read; the process object is gone by
    // then. Null when it could not be started (done is not called).
    // With stream, its standard output is handed over piece by piece as it
    // arrives. On failure *error (when given) is
    // errno's value, EAGAIN when out of processes.
    static Child* Start(const wxString& command, std::function<void(const SoxOutput&)> done,
                        std::function<void(const char*, size_t)> stream = nullptr,
                        int* error = nullptr);
    // After a start found no process free: runs the event loop until one of
    // ours ends (true) or a pause that grows with tries has passed.
    static bool PauseForProcesses(int tries);
    // Runs the event loop until finished() holds, reading what every running
    // process prints.
    static void WaitUntil(const std::function<bool()>& finished);
    // Reads what every running process has printed, and finishes the ones
    // that have ended; true when a streamed output has more waiting.
    static bool Poll();
    // One round of the background queue: read, tell, begin.
    void Tick();

    // Begins the next job that is ready, if a place is free; false when none began.
    bool BeginNext();
    // Tells the jobs that ended how they ended.
    void Deliver();

    struct Started {
        size_t job;
        Child* child;
    };
    struct Ended {
        size_t job;
        SoxOutput out;
    };

    // A job begun whose command found no process free: started again once
    // one of ours has ended or after a pause. Later jobs wait behind it.
    struct Deferred {
        bool active = false;
        size_t job = 0;
        wxString command;
        int tries = 0;          // pauses that passed with none of ours running
        int attempts = 0;       // starts tried
        unsigned long ends = 0; // Child ends counted when it was put off
        long long due = 0;      // milliseconds
    };
    // True when the put-off start should be tried again now.
    bool DeferredDue() const;
    // Starts job's command, putting it off when no process is free; false when
    // it was put off.
    bool StartJob(size_t job, const wxString& command);

    class Ticker;
    size_t m_parallel;
    Deferred m_deferred;
    // A deque: a job's end may add a job while it runs.
    std::deque<SoxJob> m_jobs;
    std::deque<size_t> m_waiting; // in the order added
    std::vector<Started> m_running;
    std::vector<Ended> m_ended; // finished, not yet told
    bool m_cancelled = false;
    std::unique_ptr<Ticker> m_ticker; // running in the background
    bool m_ticking = false;
};

#endif
