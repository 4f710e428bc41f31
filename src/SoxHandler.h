#ifndef SOXHANDLER_H
#define SOXHANDLER_H

#include <wx/arrstr.h>
#include <wx/string.h>

#include <functional>
#include <map>
#include <vector>

// What CSoxHandler::Run does.
enum SOX_FLAGS { SOX_TRACK_LENGTH = 1, SOX_ADD_WATERMARK = 2 };

// Progress reporting interface implemented by the main window.
class CProgressCallback {
public:
    virtual void OnProgressUpdate(int) = 0;
};

// Folder that holds the bundled SoX, pictures and preset sounds, relative to
// the working directory.
extern const wxString g_resourceFolder;

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
    void SetFileFormat(wxString format) { m_fileFormat = format; }
    void SetBitrate(int kbits) { m_bitrate = kbits; }
    void SetMono(bool mono) { m_mono = mono; }
    void SetPrefix(wxString prefix) { m_prefix = prefix; }
    void SetSuffix(wxString suffix) { m_suffix = suffix; }

    wxString& GetResult() { return m_result; }
    int& GetResultLong() { return m_resultLong; }
    wxString GetResultOutput() const { return m_resultOutput; }
    // Where watermarking the input file writes: the output folder, prefix +
    // name + suffix, the format as extension.
    wxString GetOutputPath() const;
    wxArrayString& GetErrors() { return m_errors; }

    // Performs the selected operation. True when SoX ran, exited with status 0
    // and (when measuring) its output held the length. Leaves at most one
    // message line in GetErrors().
    // Watermarking renders m_inputFile with its watermark copies into
    // GetResultOutput(). It returns false without a line when an input is
    // missing, the interval is not positive or the track is not measurable or
    // shorter than the start; with a line and without running SoX when the
    // output would replace the track or a watermark. Watermarks whose sample
    // rate or channel count differ from the track's are converted to it.
    bool Run();

    // Length of the file in whole seconds (fraction dropped), or -1 when SoX
    // cannot measure it.
    int GetTrackLength(const wxString& path);

    // Joins the files one after another into output, converting each to the
    // first one's sample rate and channel count; mono and the bitrate are the
    // ones set on this object (SetMono, SetBitrate). 0 on success, -1 otherwise;
    // on failure GetErrors() holds one line: output's name, ": ", the reason.
    int AppendFiles(const wxArrayString& files, const wxString& output);

    // Every command text goes through here before it runs; tests hook it to
    // see the commands. Empty by default.
    static std::function<void(const wxString&)> s_commandObserver;

private:
    struct RunResult {
        long status = -1;
        wxArrayString output;
        wxArrayString errors;
    };
    // The one place that starts SoX: synchronously, in the resource folder.
    static RunResult Execute(const wxString& command);

    struct Signal {
        long rate = 0;
        long channels = 0;
    };
    // Sample rate and channel count from the file's header; zeros when unreadable.
    static Signal ReadSignal(const wxString& path);
    // A watermark's signal, read once per object: every track of a batch uses
    // the same watermark files.
    const Signal& WatermarkSignal(const wxString& path);
    // Output options that turn audio of signal from into audio of signal to.
    static wxString ConversionOptions(const Signal& from, const Signal& to);

    static wxString MeasureCommand(const wxString& path);
    // The mixing command for operation 2, or false (with a line when the
    // output would replace one of its inputs).
    bool BuildWatermarkCommand(wxString& command);
    // Whole seconds from SoX's statistics, or -1 when the length is missing.
    static int ParseLength(const wxArrayString& errors);
    void AddMessage(const wxString& text);

    wxString m_outputFile;
    wxString m_inputFile;
    SOX_FLAGS m_operation;
    wxString m_result;
    int m_resultLong;
    wxArrayString m_waterMarks;
    wxArrayString m_errors;
    int m_startTime;
    int m_waterMarkInterval;
    int m_bitrate;
    bool m_mono;
    wxString m_fileFormat;
    wxString m_prefix;
    wxString m_suffix;
    wxString m_resultOutput;
    std::map<wxString, Signal> m_watermarkSignals;
};

#endif

// One SoX command running in the background, on the thread that runs the
// event loop. The command runs in the resource folder as the leader of a new
// process group, so that ending it also ends the SoX processes its pipe
// inputs started.
// What one SoX run printed, line by line, and how it ended.
struct SoxOutput {
    long status = -1; // exit status; -1 when it could not start or was ended by a signal
    wxArrayString output;
    wxArrayString errors;
};

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
