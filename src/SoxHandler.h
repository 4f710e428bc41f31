#ifndef SOXHANDLER_H
#define SOXHANDLER_H

#include <wx/arrstr.h>
#include <wx/string.h>

#include <functional>
#include <map>
#include <memory>
#include <vector>

// What CSoxHandler::Run does.
enum SOX_FLAGS { SOX_TRACK_LENGTH = 1, SOX_ADD_WATERMARK = 2 };

// Folder that holds the bundled SoX, pictures and preset sounds, relative to
// the working directory.
extern const wxString g_resourceFolder;

// What one SoX run left behind: its exit status (-1 when it could not be
// started) and its standard output and error, line by line.
struct SoxOutput {
    long status = -1;
    wxArrayString output;
    wxArrayString errors;
};

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

// Start seconds of the watermark copies for a track of length whole seconds:
// start, start + interval, ... while below the last whole second. Empty when
// the interval is not positive or the start is negative or past the end.
std::vector<int> WatermarkPositions(int length, int start, int interval);

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

// True when both paths name one file: the same file on disk (also through
// links) when both exist, otherwise the same absolute path once "." and ".."
// are resolved.
bool IsSameFile(const wxString& a, const wxString& b);

// The audio engine: builds SoX command lines, runs SoX in the resource folder
// and reads back what it prints.
class CSoxHandler {
public:
    CSoxHandler();
    ~CSoxHandler();

    void SetOperation(SOX_FLAGS operation) { m_operation = operation; }
    void SetInputFile(const wxString& path) { m_inputFile = path; }
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
    void SetSuffix(wxString suffix) { m_suffix = suffix; }

    wxString& GetResult() { return m_result; }
    int& GetResultLong() { return m_resultLong; }
    wxString GetResultOutput() const { return m_resultOutput; }
    // Where watermarking the input file writes: the output folder, prefix +
    // name + suffix, the format as extension.
    wxString GetOutputPath() const;
    wxArrayString& GetErrors() { return m_errors; }

    // Performs the selected operation: BeginRun, Execute, EndRun. True when
    // SoX ran without failing and (when measuring) its output held the
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
    // printed to EndRun. One begun run per object at a time.
    // Watermarking reads headers and measures the track with SoX here (short
    // synchronous runs; an MP3 track is decoded once to be measured). Its
    // command mixes the track with one pipe input per bed of watermark
    // copies: one bed unless a watermark outlasts the interval, whatever the
    // track's length.
    bool BeginRun(wxString& command);
    // Reads what that command printed and sets results and the message line
    // as Run does; true on success. A FAIL line counts as failure whatever
    // the exit status. Removes a partial output file on failure (one that the
    // run created or changed; an untouched earlier file stays).
    bool EndRun(const SoxOutput& out);

    // Length of the file in whole seconds (fraction dropped), or -1 when SoX
    // cannot measure it. Read from the header where that is exact (WAV,
    // AIFF), otherwise by decoding the file.
    int GetTrackLength(const wxString& path);

    // Joins the files one after another into output, converting each to the
    // first one's sample rate and channel count; mono and the bitrate are the
    // ones set on this object (SetMono, SetBitrate). BeginAppend, Execute,
    // EndAppend. 0 on success, -1 otherwise; on failure GetErrors() holds one
    // line: output's name, ": ", the reason.
    int AppendFiles(const wxArrayString& files, const wxString& output);
    // Prepares the join: false with the line when it must not run (output
    // would replace one of the files); on true, command is to run in the
    // resource folder as BeginRun's. Reads each file's header with SoX.
    bool BeginAppend(const wxArrayString& files, const wxString& output, wxString& command);
    // Reads what the join printed: 0, or -1 with the line and a partial
    // output removed, as AppendFiles.
    int EndAppend(const SoxOutput& out);

    // Every command text goes through here before it runs; tests hook it to
    // see the commands. Empty by default.
    static std::function<void(const wxString&)> s_commandObserver;

private:
    // The one place that starts SoX: synchronously, in the resource folder.
    static SoxOutput Execute(const wxString& command);

    struct Header {
        long rate = 0;
        long channels = 0;
        // Sample frames when the header states them exactly, else -1.
        long long frames = -1;
        // Sample frames as the header states them, exact or not; -1 when it does not.
        long long statedFrames = -1;
    };
    // The file's header; false with SoX's reason when it cannot be read.
    static bool ReadHeader(const wxString& path, Header& header, wxString& failure);
    // Whole seconds and header of a file; false with the reason when SoX
    // cannot read or measure it.
    static bool Measure(const wxString& path, Header& header, int& seconds, wxString& failure);
    // A watermark as the bed plays it on a track of signal track: the
    // effects that convert it and its length in frames once converted.
    // Cached, and shared by copies of the object: every track of a batch
    // uses the same files.
    bool WatermarkSound(const wxString& path, const Header& track, wxString& effects,
                        long long& frames, wxString& failure);

    static wxString MeasureCommand(const wxString& path);
    // The mixing command for operation 2, or false (with a line when the
    // track cannot be rendered).
    bool BuildWatermarkCommand(wxString& command);
    // Whole seconds from SoX's statistics, or -1 when the length is missing.
    static int ParseLength(const wxArrayString& errors);
    void AddMessage(const wxString& text);

    // What stood at a path before a run, to tell a file the run wrote from
    // one it never reached.
    struct FileStamp {
        bool exists = false;
        unsigned long long device = 0, inode = 0, size = 0;
        long long modified = 0;
    };
    static FileStamp Stamp(const wxString& path);
    // Removes path when the run created or changed it.
    static void RemoveIfWritten(const wxString& path, const FileStamp& before);

    wxString m_outputFile;
    wxString m_inputFile;
    SOX_FLAGS m_operation;
    wxString m_result;
    int m_resultLong;
    wxArrayString m_waterMarks;
    wxArrayString m_errors;
    int m_startTime;
    int m_waterMarkInterval;
    int m_waterMarkLevel = 0;
    int m_bitrate;
    bool m_mono;
    bool m_decodeApart = false;
    wxString m_fileFormat;
    wxString m_prefix;
    wxString m_suffix;
    wxString m_resultOutput;

    // Between BeginRun/BeginAppend and their End: copies in the render,
    // and the file the run writes with what stood there before.
    size_t m_copies = 0;
    wxString m_writing;
    FileStamp m_writingBefore;

    struct Converted {
        wxString effects;
        long long frames;
    };
    struct WatermarkCache {
        std::map<wxString, Header> headers;
        std::map<wxString, Converted> sounds; // by path and effects
    };
    std::shared_ptr<WatermarkCache> m_watermarkCache = std::make_shared<WatermarkCache>();
};

#endif

// One SoX command running in the background, on the thread that runs the
// event loop. The command runs in the resource folder as the leader of a new
// process group, so that ending it also ends the SoX processes its pipe
// inputs started.
class SoxProcess {
public:
    using Done = std::function<void(const SoxOutput&)>;

    SoxProcess();
    // Ends a process still running (see Kill); done is then never called.
    ~SoxProcess();
    SoxProcess(const SoxProcess&) = delete;
    SoxProcess& operator=(const SoxProcess&) = delete;

    // Starts command; done is called once, from the event loop, when it has
    // ended. False when it could not be started (done is not called).
    bool Start(const wxString& command, Done done);
    // Ends the process and every process of its group at once.
    void Kill();
    bool IsRunning() const;

    // Runs the event loop until finished() holds, reading what the running
    // processes print so that no pipe fills up.
    static void WaitUntil(const std::function<bool()>& finished);

private:
    class Child;
    Child* m_child = nullptr;
};

// Runs the operation of every handler (BeginRun, its command in the
// background, EndRun), up to parallel at once (0: one per processor core),
// waiting in the event loop. Returns each handler's success, in order.
std::vector<bool> RunAll(std::vector<CSoxHandler>& handlers, int parallel = 0);
