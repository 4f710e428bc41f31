#ifndef SOXHANDLER_H
#define SOXHANDLER_H

#include <wx/arrstr.h>
#include <wx/string.h>

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

// What CSoxHandler::Run does.
enum SOX_FLAGS { SOX_TRACK_LENGTH = 1, SOX_ADD_WATERMARK = 2 };

// Folder that holds the bundled SoX, pictures and preset sounds, relative to
// the working directory.
extern const wxString g_resourceFolder;

// What one SoX run left behind: its exit status (-1 when it could not be
// started), its standard output and error line by line, and whether a
// SoxQueue::Cancel ended it before it finished (its output is then partial).
// A job that asked for its standard output as bytes (SoxJob::rawOutput) has
// it in data, and no output lines.
struct SoxOutput {
    long status = -1;
    wxArrayString output;
    wxArrayString errors;
    std::string data;
    bool cancelled = false;
};

// What stands at a path, to tell a file apart from one written or replaced
// since: device, inode, size and modification time, or nothing.
struct FileStamp {
    bool exists = false;
    unsigned long long device = 0, inode = 0, size = 0;
    long long modified = 0; // nanoseconds
    bool operator==(const FileStamp& other) const;
    bool operator!=(const FileStamp& other) const { return !(*this == other); }
};
FileStamp StampOf(const wxString& path);

// Why the file at path must not be read as a track or a watermark, as its
// whole line ("b.wav: Not processed: it is not a regular file (a FIFO)."), or
// empty. SoX would wait forever on a FIFO or a device, and a name that is not
// UTF-8 cannot reach it intact. A missing file is SoX's to report.
wxString UnreadableFileLine(const wxString& path);
// A file's name as a result line shows it: without its folders, bytes that
// are not UTF-8 and control characters (a newline would split the line)
// escaped ("caf\xe9.wav", "a\nb.wav").
wxString DisplayName(const wxString& path);

// The reason in the first FAIL line of SoX's standard error ("sox FAIL
// formats: can't open ..." gives "can't open ..."), or empty when there is
// none. SoX exits 0 after some failures (a full disk), so this decides.
wxString SoxFailure(const wxArrayString& errors);

// Samples SoX clipped in its own stages, 0 when it clipped none: mixing the
// inputs ("sox WARN sox: mix-combining clipped 120 samples; decrease
// volume?"), scaling an input by its -v, reading and writing. Those stages
// each report a count and mostly clip the same samples again, so the largest
// count is taken, not their sum. Effects (a watermark's resampling in its pipe
// run) are not counted: no watermark level can help there.
long long SoxClippedSamples(const wxArrayString& errors);

// Longest file name, in bytes, that the file systems take.
extern const size_t g_maxNameBytes;
// True when a file name (no folders) is longer than that.
bool IsNameTooLong(const wxString& name);

// The volume factor for a gain in whole dB, as SoX's -v takes it ("0.501187"
// for -6), written with a point whatever the locale.
wxString VolumeFactor(int dB);

// Quotes a path for a SoX command line. At the top level the result is the
// path in double quotes; inside a pipe input (run by /bin/sh) it is in
// backslash-escaped double quotes. Characters that the command splitter or the
// shell would interpret are escaped, so the path reaches SoX unchanged.
// A path that SoX would take for something other than a file (a leading "-"
// or "|", a URL) is given a leading "./" first.
wxString QuoteSoxPath(const wxString& path, bool insidePipe = false);

// A position in a track as a player shows it: "m:ss" ("1:05", "75:00").
wxString ClockText(int seconds);

// Start seconds of the watermark copies for a track of length whole seconds:
// start, start + interval, ... while below the last whole second. Empty when
// the interval is not positive or the start is negative or past the end.
std::vector<int> WatermarkPositions(int length, int start, int interval);

// The second of a track of length whole seconds that a clip of clipLength
// seconds asked to start at clipStart does start at: moved earlier where the
// track would end before the clip. -1 when there is no clip (clipLength 0)
// or the track is shorter than it, so that the whole track is written.
int ClipFrom(int length, int clipLength, int clipStart);

// Path of a track's watermarked output: folder, prefix + base name + suffix,
// and the format in lower case as extension ("/in/a.b.wav" -> "/out/x_a.b.aiff").
wxString WatermarkOutputPath(const wxString& track, const wxString& folder, const wxString& prefix,
                             const wxString& suffix, const wxString& format);

// Path of the merged file: name in folder, its extension replaced by the
// format in lower case ("Mix.wav", "MP3" -> "folder/Mix.mp3").
wxString MergedOutputPath(const wxString& folder, const wxString& name, const wxString& format);

// True when name can name the merged file: not blank, no folder part, and
// not hidden (no leading dot).
bool IsUsableMergeName(const wxString& name);

// The reason a file at path, which this program did not write, stands where
// an output goes: "<name> already exists and ...", saying how to go on.
wxString ForeignOutputText(const wxString& path);

// True when both paths name one file: the same file on disk (also through
// links) when both exist, otherwise the same absolute path once "." and ".."
// are resolved.
bool IsSameFile(const wxString& a, const wxString& b);
// A key that two paths share exactly when IsSameFile holds for them now, so
// that a long list is checked against a set instead of pair by pair.
wxString FileIdentity(const wxString& path);

// The audio engine: builds SoX command lines, runs SoX in the resource folder
// and reads back what it prints.
class CSoxHandler {
public:
    CSoxHandler();
    ~CSoxHandler();

    void SetOperation(SOX_FLAGS operation) { m_operation = operation; }
    void SetInputFile(const wxString& path) { m_inputFile = path; }
    // The folder the rendered file goes to, not a file.
    void SetOutputFile(const wxString& folder) { m_outputFile = folder; }
    void SetWaterMarks(const wxArrayString& paths) { m_waterMarks = paths; }
    void SetStartTime(int seconds) { m_startTime = seconds; }
    void SetWaterMarkInterval(int seconds) { m_waterMarkInterval = seconds; }
    // Gain in dB of every watermark copy, never of the track; 0 leaves them
    // as recorded and the command as it was without a level.
    void SetWaterMarkLevel(int dB) { m_waterMarkLevel = dB; }
    void SetFileFormat(wxString format) { m_fileFormat = format; }
    void SetBitrate(int kbits) { m_bitrate = kbits; }
    void SetMono(bool mono) { m_mono = mono; }
    // For MP3 output: decode the track in a SoX process of its own, piped
    // into the one that mixes and encodes, so that the two overlap on two
    // cores. Only worth it when a core would otherwise be idle; the file is
    // the same either way. Other formats take their sample size from the
    // track, which a pipe would hide, and cost little to write.
    void SetDecodeApart(bool apart) { m_decodeApart = apart; }
    void SetPrefix(wxString prefix) { m_prefix = prefix; }
    // A render carries its track's tags and pictures into its output, before
    // the output takes its name.
    void SetCopyTags(bool copy) { m_copyTags = copy; }
    // A join carries this track's album tags and pictures into the joined
    // file (empty: none).
    void SetAlbumTagsFrom(const wxString& track) { m_albumTagsFrom = track; }
    void SetSuffix(wxString suffix) { m_suffix = suffix; }
    // Writes only the first seconds of what the render would write (0: all
    // of it), soon: the track's length may be taken from its header's
    // estimate instead of decoding it, which moves a copy at most a second.
    void SetFirstSeconds(int seconds) { m_firstSeconds = seconds; }
    // A preview clip instead of the whole track: seconds long (0: the whole
    // track), from start seconds into it, faded in and out over fade
    // seconds. Watermarks are placed from the clip's start. A track shorter
    // than the clip is written whole, faded; one whose end comes before the
    // clip's does starts the clip earlier, so that it keeps its length. Its
    // line says either.
    void SetClip(int seconds, int start, int fade) {
        m_clipLength = seconds;
        m_clipStart = start;
        m_clipFade = fade;
    }

    // The measured length as "mm:ss" (minutes not capped at two digits).
    wxString& GetResult() { return m_result; }
    // The measured length in whole seconds, fraction dropped.
    int& GetResultLong() { return m_resultLong; }
    // The measured length with its fraction: as decoded, or as the header
    // states it where that decided the whole seconds.
    double GetResultSeconds() const { return m_resultSeconds; }
    wxString GetResultOutput() const { return m_resultOutput; }
    // Where watermarking the input file writes: the output folder, prefix +
    // name + suffix, the format as extension.
    wxString GetOutputPath() const;
    // After BeginRun of a render: the seconds its watermark copies start at,
    // counted from the start of what is written (the clip's, when clipping).
    const std::vector<int>& GetPositions() const { return m_positions; }
    // After BeginRun of a render: the whole seconds it places watermarks on
    // (the clip's when clipping), whatever SetFirstSeconds cuts.
    int GetPlacedLength() const { return m_placedLength; }
    // After BeginRun of a render: the second of the track its clip starts
    // at, or -1 when the whole track is written.
    int GetClipFrom() const { return m_clipFrom; }
    // After BeginRun of a render: the position of the copy that the clip's
    // end cuts short, or -1 when none is.
    int GetCutCopy() const { return m_cutCopy; }
    // The message lines of the last run ("<name>: <what happened>"), not only errors.
    wxArrayString& GetErrors() { return m_errors; }

    // Performs the selected operation: BeginRun, the command, EndRun. True
    // when SoX ran without failing and (when measuring) its output held the
    // length. Leaves at most one message line in GetErrors(), except for a
    // render that SoX clipped: its success line is followed by
    // "<name>: N samples clipped: lower the watermark level."
    // Watermarking renders m_inputFile with its watermark copies into
    // GetResultOutput(). It returns false without a line when an input is
    // missing or the interval is not positive; with a line when the track
    // cannot be measured, is shorter than the start, or the output would
    // replace the track or a watermark. A track that ends before its first
    // copy is written without one and its line says so. Watermarks whose
    // sample rate or channel count differ from the track's are converted to it.
    bool Run();

    // Prepares the selected operation: false when nothing should run
    // (GetErrors() then holds the line, if any). On true, command is the SoX
    // command line to run in the resource folder (g_resourceFolder), as text
    // for wxExecute's own argument splitting (not for a shell); hand what it
    // printed to EndRun. One begun run per object at a time. Measuring a
    // file whose header was read ahead and states its length needs no run:
    // command is then empty, and EndRun takes an output of status 0.
    // Watermarking reads headers and measures the track with SoX here (short
    // runs waited for; an MP3 track is decoded once to be measured). Its
    // command mixes the track with one pipe input per bed of watermark
    // copies: one bed unless a watermark outlasts the interval, whatever the
    // track's length.
    bool BeginRun(wxString& command);
    // Reads what that command printed and sets results and the message line
    // as Run does; true on success. A FAIL line, or a pipe input that ended
    // abnormally, counts as failure whatever the exit status. A render
    // writes under a hidden name beside its output; here it is read back
    // (it must be as long as planned), given its tags and the output mark,
    // and only then renamed to the output, so the output's name only ever
    // holds a finished file; on failure or cancel the partial file is
    // removed and an earlier output stays as it was. A cancelled run leaves
    // no line.
    bool EndRun(const SoxOutput& out);
    // For a begun run whose end will never be told (its queue went with its
    // process): removes the file it was writing, as a cancelled end would.
    void AbandonRun();

    // Length of the file in whole seconds (fraction dropped), or -1 when SoX
    // cannot measure it. Read from the header where that is exact (WAV,
    // AIFF), otherwise by decoding the file.
    int GetTrackLength(const wxString& path);

    // Joins the files one after another into output, converting each to the
    // first one's sample rate and channel count; mono and the bitrate are the
    // ones set on this object (SetMono, SetBitrate). BeginAppend, the
    // command, EndAppend. 0 on success, -1 otherwise; on failure GetErrors()
    // holds one line: output's name, ": ", the reason.
    int AppendFiles(const wxArrayString& files, const wxString& output);
    // Prepares the join: false with the line when it must not run (output
    // would replace one of the files, or a file this program did not
    // write); on true, command is to run in the
    // resource folder as BeginRun's. Reads each file's header with SoX.
    bool BeginAppend(const wxArrayString& files, const wxString& output, wxString& command);
    // Reads what the join printed: 0, or -1 with the line and a partial
    // output removed, as AppendFiles; a cancelled join leaves no line. The
    // join, like a render, is written under a hidden name, checked, tagged
    // and renamed; a tag problem leaves a line on success too.
    int EndAppend(const SoxOutput& out);

    // Reads the headers of paths with one SoX run (BeginReadHeaders, the
    // command, EndReadHeaders), so that measuring or rendering one of them
    // later needs no run of its own for it. What is learnt is shared with
    // copies of this object; a file changed since is read again. Begin is
    // false when every header is known already.
    bool BeginReadHeaders(const wxArrayString& paths, wxString& command);
    void EndReadHeaders(const SoxOutput& out);

    // Why path cannot be a watermark although SoX reads it (it is silent or
    // nearly so), as "<name>: <reason>"; empty when it can. A render refuses
    // such a watermark too. Runs SoX once per
    // file, shared with copies of this object.
    wxString WatermarkProblem(const wxString& path);

    // Every command text goes through here before it runs; tests hook it to
    // see the commands. Empty by default.
    static std::function<void(const wxString&)> s_commandObserver;

private:
    // Runs command through the one starter and waits for it in the event loop.
    static SoxOutput Execute(const wxString& command);

    struct Header {
        long rate = 0;
        long channels = 0;
        // Sample frames when the header states them exactly, else -1.
        long long frames = -1;
        // Sample frames as the header states them, exact or not; -1 when it does not.
        long long statedFrames = -1;
        long bits = 0; // precision of its samples, 0 when not stated
    };
    // A header from the lines SoX prints for one file (its "--i" block).
    static Header ParseHeader(const wxArrayString& lines, const wxString& path);
    // The header read earlier, if the file has not changed since.
    bool CachedHeader(const wxString& path, Header& header) const;
    // The file's header; false with SoX's reason when it cannot be read.
    bool ReadHeader(const wxString& path, Header& header, wxString& failure);
    // Whole seconds as the header states them, when that is certain.
    static bool LengthFromHeader(const Header& header, int& seconds);
    // Whole seconds and header of a file, and its length with the fraction
    // (exact, or as its header estimates it: *estimated says which); false
    // with the reason when SoX cannot read or measure it.
    bool Measure(const wxString& path, Header& header, int& seconds, wxString& failure,
                 double* exact = nullptr, bool* estimated = nullptr);
    // A watermark as the bed plays it on a track of signal track: the
    // effects that convert it and its length in frames once converted. Cached.
    bool WatermarkSound(const wxString& path, const Header& track, wxString& effects,
                        long long& frames, wxString& failure);

    static wxString MeasureCommand(const wxString& path);
    // The mixing command for operation 2, or false (with a line when the
    // track cannot be rendered).
    bool BuildWatermarkCommand(wxString& command);
    // Measures the track and decides where it goes: false with the line
    // (if any) when it must not be rendered.
    bool PrepareTrack(Header& track, int& length);
    // The output would replace the track or a watermark: the line saying so, or empty.
    wxString OutputReplacesInput() const;
    // Where the clip of a track of length whole seconds starts, and its line
    // when it is not the one asked for; the length the watermarks are placed on.
    int PlaceClip(int length);
    // The effects that cut and fade the track's clip, or empty.
    wxString ClipEffects() const;
    // The largest sample of a watermark as the beds play it, cached.
    bool SoundPeak(const wxString& path, const wxString& effects, double& peak, wxString& failure);
    // Reads the finished partial file back, writes its tags, marks it and
    // gives it the output's name: the failure's reason, or empty. A tag
    // problem that leaves the audio whole is only a note.
    wxString FinishOutput(const wxString& tagsFrom, bool album, wxString& note);
    // A failure while writing in the user's words: a full disk said so,
    // the output named rather than its hidden partial file.
    wxString WritingFailure(wxString failure) const;
    // The mix of the track with the beds, written to m_resultOutput.
    wxString MixCommand(const Header& track, const wxArrayString& beds) const;
    // Whole seconds from SoX's statistics, or -1 when the length is missing.
    static int ParseLength(const wxArrayString& errors);
    // The same length with its fraction, or -1.
    static double ParseSeconds(const wxArrayString& errors);
    // Seconds the header states, exactly or not; -1 when it states none.
    static double HeaderSeconds(const Header& header);
    void AddMessage(const wxString& text);

    // Removes path when the run created or changed it.
    static void RemoveIfWritten(const wxString& path, const FileStamp& before);

    wxString m_outputFile; // the output folder
    wxString m_inputFile;
    SOX_FLAGS m_operation;
    wxString m_result;
    int m_resultLong;
    wxArrayString m_waterMarks;
    wxArrayString m_errors; // message lines, successes included
    int m_startTime;
    int m_waterMarkInterval;
    int m_waterMarkLevel = 0;
    int m_bitrate;
    bool m_mono;
    bool m_decodeApart = false;
    bool m_copyTags = false;
    wxString m_albumTagsFrom;
    wxString m_fileFormat;
    wxString m_prefix;
    wxString m_suffix;
    wxString m_resultOutput;
    int m_clipLength = 0;
    int m_clipStart = 0;
    int m_clipFade = 0;
    int m_firstSeconds = 0;
    int m_placedLength = -1;

    // Between BeginRun/BeginAppend and their End: copies in the render,
    // and the file the run writes with what stood there before.
    size_t m_copies = 0;
    wxString m_writing;
    FileStamp m_writingBefore;
    int m_knownLength = -1;    // measuring: the length the header stated, or -1
    FileStamp m_measuredStamp; // measuring: the file as it stood
    int m_clipFrom = -1;       // second the clip starts at, -1 for the whole track
    wxString m_clipNote;       // why the clip is not the one asked for, or empty
    std::vector<int> m_positions;
    // The seconds the file being written must last, and by how much it may
    // differ (encoder delay and padding, a length only estimated).
    double m_plannedSeconds = -1;
    int m_cutCopy = -1;
    double m_plannedMargin = 0;
    // The track's length with its fraction, and whether its header only
    // estimated it.
    double m_trackSeconds = -1;
    bool m_trackEstimated = true;
    // Measuring: the seconds the header stated, or -1; what was measured.
    double m_knownSeconds = -1;
    double m_resultSeconds = 0;
    // Between BeginReadHeaders and its End: the files asked for, as they stood.
    wxArrayString m_headerPaths;
    std::vector<FileStamp> m_headerStamps;

    struct Converted {
        wxString effects;
        long long frames;
        double peak; // largest absolute sample, 0 to 1
    };
    struct KnownHeader {
        Header header;
        FileStamp stamp; // of the file when it was read
    };
    // What SoX told of files, shared by copies of the object: every track of
    // a batch uses the same watermarks, and headers are read ahead.
    struct KnownLength {
        int seconds;
        double exactSeconds;
        FileStamp stamp;
    };
    struct Cache {
        std::map<wxString, KnownHeader> headers; // by path
        std::map<wxString, Converted> sounds;    // by path and effects
        std::map<wxString, KnownLength> lengths; // decoded to be measured, by path
    };
    std::shared_ptr<Cache> m_cache = std::make_shared<Cache>();
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
    // The command's standard output is wanted as bytes (SoxOutput::data).
    bool rawOutput = false;
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

private:
    friend class CSoxHandler;
    class Child;
    // The one place that starts SoX: command in the background, in the
    // resource folder. done is called once, from the event loop, when it has
    // ended and its output has been read; the process object is gone by
    // then. Null when it could not be started (done is not called).
    // With raw, its standard output is handed over as bytes. On failure
    // *error (when given) is errno's value, EAGAIN when out of processes.
    static Child* Start(const wxString& command, std::function<void(const SoxOutput&)> done,
                        bool raw = false, int* error = nullptr);
    // After a start found no process free: runs the event loop until one of
    // ours ends (true) or a pause that grows with tries has passed.
    static bool PauseForProcesses(int tries);
    // Runs the event loop until finished() holds, reading what every running
    // process prints.
    static void WaitUntil(const std::function<bool()>& finished);
    // Reads what every running process has printed, and finishes the ones
    // that have ended.
    static void Poll();
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

// A job that performs sox's selected operation: BeginRun, its command,
// EndRun; *succeeded (when given) is set to its result. sox must stay while
// the queue runs.
SoxJob OperationJob(CSoxHandler& sox, bool* succeeded = nullptr);

// Adds jobs to queue that read the headers of paths into sox's knowledge
// (shared with its copies), many files per SoX run; they begin before any
// job added later. The function returned tells whether path i has been read.
std::function<bool(size_t)> ReadHeadersAhead(const CSoxHandler& sox, const wxArrayString& paths,
                                             SoxQueue& queue);

// A file's length as the list shows it, measured with SOX_TRACK_LENGTH.
struct FileLength {
    bool measured = false;
    int seconds = 0;         // whole seconds, fraction dropped
    double exactSeconds = 0; // with the fraction
    wxString text;           // "mm:ss"
    wxString line;           // when not measured: "<name>: <SoX's reason>"
};
// Measures every file through queue, several at once, and runs it: the
// headers first, many per SoX run, then a decode for each file whose header
// does not tell its length. A file that a cancel left unmeasured has an
// empty line.
std::vector<FileLength> MeasureLengths(const wxArrayString& paths, SoxQueue& queue);

// A track's loudness over time, as a picture of it draws it: the largest
// absolute sample (0 to 1) of each stretch of kSecondsPerPeak seconds from
// its start, in either channel (more than two are mixed to two).
struct Envelope {
    static constexpr double kSecondsPerPeak = 0.01;
    std::vector<float> peaks;
    // Seconds of sound read.
    double Seconds() const { return peaks.size() * kSecondsPerPeak; }
    // The largest peak of the stretches from..to seconds (at least the one
    // that holds from); 0 outside the track.
    float PeakBetween(double from, double to) const;
};
// A job for a SoxQueue that reads the envelope of the file at path with one
// SoX run, which decodes it at a low rate and pipes the samples out. done is
// told the envelope, or an empty one and the reason SoX gives (empty after a
// cancel).
SoxJob EnvelopeJob(const wxString& path,
                   std::function<void(const Envelope& envelope, const wxString& failure)> done);

#endif
