#include "SoxHandler.h"

#include <wx/app.h>
#include <wx/apptrait.h>
#include <wx/evtloop.h>
#include <wx/filename.h>
#include <wx/process.h>
#include <wx/thread.h>
#include <wx/utils.h>

#include <map>
#include <memory>
#include <algorithm>
#include <set>
#include <string>
#include <sys/stat.h>

const wxString g_resourceFolder = "Velisto.app/Contents/Resources/";

std::function<void(const wxString&)> CSoxHandler::s_commandObserver;

namespace {

const wxString kLengthLabel = "Length (seconds):";

// Backslash-escapes every character of text that appears in specials.
wxString Escape(const wxString& text, const wxString& specials) {
    wxString escaped;
    escaped.reserve(text.length());
    for (wxUniChar c : text) {
        if (specials.Find(c) != wxNOT_FOUND)
            escaped += '\\';
        escaped += c;
    }
    return escaped;
}

// SoX reads "-..." as an option, "|..." as a command to run and
// "http:"/"https:"/"ftp:" names through wget; "./" keeps such a relative
// name a plain file.
wxString PlainFileName(const wxString& path) {
    const wxString lower = path.Lower();
    if (path.StartsWith("-") || path.StartsWith("|") || lower.StartsWith("http:") ||
        lower.StartsWith("https:") || lower.StartsWith("ftp:"))
        return "./" + path;
    return path;
}

} // namespace

wxString QuoteSoxPath(const wxString& rawPath, bool insidePipe) {
    const wxString path = PlainFileName(rawPath);
    // The command splitter takes a backslash as "next character literal", so
    // only backslashes and double quotes need escaping for it. A pipe input is
    // also read by /bin/sh, where $, backtick, " and \ stay special inside
    // double quotes: escape those for the shell first, then the result for the
    // splitter.
    if (!insidePipe)
        return "\"" + Escape(path, "\\\"") + "\"";
    return "\\\"" + Escape(Escape(path, "\\\"$`"), "\\\"") + "\\\"";
}

std::vector<int> WatermarkPositions(int length, int start, int interval) {
    std::vector<int> positions;
    if (interval <= 0 || start < 0)
        return positions;
    for (long long at = start; at <= static_cast<long long>(length) - 1; at += interval)
        positions.push_back(static_cast<int>(at));
    return positions;
}

wxString WatermarkOutputPath(const wxString& track, const wxString& folder, const wxString& prefix,
                             const wxString& suffix, const wxString& format) {
    wxFileName name(track);
    name.SetPath(folder);
    name.SetName(prefix + name.GetName() + suffix);
    name.SetExt(format.Lower());
    return name.GetFullPath();
}

wxString MergedOutputPath(const wxString& folder, const wxString& name, const wxString& format) {
    wxFileName path(folder, name);
    path.SetExt(format.Lower());
    return path.GetFullPath();
}

bool IsUsableMergeName(const wxString& name) {
    const wxString trimmed = wxString(name).Trim(true).Trim(false);
    // A leading dot would hide the file from the user.
    if (trimmed.empty() || trimmed.StartsWith("."))
        return false;
    if (name.find_first_of(wxFileName::GetPathSeparators()) != wxString::npos)
        return false;
    return !wxFileName(name).GetName().empty();
}

bool IsSameFile(const wxString& a, const wxString& b) {
    struct stat sa, sb;
    if (::stat(a.fn_str(), &sa) == 0 && ::stat(b.fn_str(), &sb) == 0)
        return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    wxFileName fa(a), fb(b);
    fa.Normalize(wxPATH_NORM_DOTS | wxPATH_NORM_ABSOLUTE);
    fb.Normalize(wxPATH_NORM_DOTS | wxPATH_NORM_ABSOLUTE);
    return fa.GetFullPath() == fb.GetFullPath();
}

CSoxHandler::CSoxHandler()
    : m_operation(static_cast<SOX_FLAGS>(0)), m_resultLong(0), m_startTime(0),
      m_waterMarkInterval(0), m_bitrate(0), m_mono(false) {
}

CSoxHandler::~CSoxHandler() = default;

CSoxHandler::RunResult CSoxHandler::Execute(const wxString& command) {
    if (s_commandObserver)
        s_commandObserver(command);
    RunResult result;
    wxExecuteEnv env;
    env.cwd = g_resourceFolder;
    result.status = wxExecute(command, result.output, result.errors, 0, &env);
    return result;
}

CSoxHandler::Signal CSoxHandler::ReadSignal(const wxString& path) {
    // One header read gives both: "Channels       : 2", "Sample Rate    : 44100".
    Signal signal;
    RunResult info = Execute("./sox --i " + QuoteSoxPath(path));
    if (info.status != 0)
        return signal;
    for (const wxString& line : info.output) {
        const wxString label = line.BeforeFirst(':').Trim();
        const wxString value = line.AfterFirst(':').Trim(false);
        long number;
        if (!value.ToLong(&number))
            continue;
        if (label == "Channels")
            signal.channels = number;
        else if (label == "Sample Rate")
            signal.rate = number;
    }
    return signal;
}

const CSoxHandler::Signal& CSoxHandler::WatermarkSignal(const wxString& path) {
    auto known = m_watermarkSignals.find(path);
    if (known == m_watermarkSignals.end())
        known = m_watermarkSignals.emplace(path, ReadSignal(path)).first;
    return known->second;
}

wxString CSoxHandler::ConversionOptions(const Signal& from, const Signal& to) {
    // An unreadable header gets no options; SoX then reports the file itself.
    wxString options;
    if (from.rate > 0 && to.rate > 0 && from.rate != to.rate)
        options += wxString::Format("-r %ld ", to.rate);
    if (from.channels > 0 && to.channels > 0 && from.channels != to.channels)
        options += wxString::Format("-c %ld ", to.channels);
    return options;
}

wxString CSoxHandler::MeasureCommand(const wxString& path) {
    return "./sox " + QuoteSoxPath(path) + " -n stat";
}

int CSoxHandler::ParseLength(const wxArrayString& errors) {
    if (errors.size() < 3 || !errors[1].StartsWith(kLengthLabel))
        return -1;
    wxString rest = errors[1].Mid(kLengthLabel.length());
    rest.Trim(true).Trim(false);
    // Whole seconds: the digits before the decimal point, fraction dropped.
    long seconds = 0;
    size_t i = 0;
    while (i < rest.length() && wxIsdigit(rest[i])) {
        seconds = seconds * 10 + (rest[i].GetValue() - '0');
        ++i;
    }
    return static_cast<int>(seconds);
}

void CSoxHandler::AddMessage(const wxString& text) {
    m_errors.Add(wxFileName(m_inputFile).GetFullName() + ": " + text);
}

wxString CSoxHandler::GetOutputPath() const {
    return WatermarkOutputPath(m_inputFile, m_outputFile, m_prefix, m_suffix, m_fileFormat);
}

int CSoxHandler::GetTrackLength(const wxString& path) {
    RunResult run = Execute(MeasureCommand(path));
    if (run.status != 0)
        return -1;
    int seconds = ParseLength(run.errors);
    if (seconds < 0)
        return -1;
    m_resultLong = seconds;
    return seconds;
}

bool CSoxHandler::Run() {
    m_errors.Clear();
    wxString command;
    if (m_operation == SOX_TRACK_LENGTH) {
        if (m_inputFile.empty())
            return false;
        command = MeasureCommand(m_inputFile);
    } else if (m_operation == SOX_ADD_WATERMARK) {
        if (!BuildWatermarkCommand(command))
            return false;
    } else {
        return false;
    }

    RunResult run = Execute(command);
    if (run.status != 0) {
        if (!run.errors.empty())
            AddMessage(run.errors[0]);
        return false;
    }
    if (m_operation == SOX_TRACK_LENGTH && run.errors.size() >= 3) {
        int seconds = ParseLength(run.errors);
        if (seconds < 0)
            return false;
        m_result = wxString::Format("%02d:%02d", seconds / 60, seconds % 60);
        m_resultLong = seconds;
    }
    AddMessage("Process completed successfully");
    return true;
}

bool CSoxHandler::BuildWatermarkCommand(wxString& command) {
    if (m_inputFile.empty() || m_outputFile.empty() || m_waterMarks.empty())
        return false;
    if (m_waterMarkInterval <= 0 || m_startTime < 0)
        return false;
    const int length = GetTrackLength(m_inputFile);
    if (length == -1 || length - m_startTime < 0)
        return false;

    m_fileFormat.MakeLower();
    m_resultOutput = GetOutputPath();
    // SoX truncates its output before reading the inputs: writing over one of
    // them would destroy it.
    if (IsSameFile(m_resultOutput, m_inputFile)) {
        AddMessage("Not processed: the output file would replace this track. Choose another "
                   "output folder, a prefix or suffix, or another format.");
        return false;
    }
    for (const wxString& watermark : m_waterMarks) {
        if (IsSameFile(m_resultOutput, watermark)) {
            AddMessage("Not processed: the output file would replace the watermark file " +
                       wxFileName(watermark).GetFullName() + ".");
            return false;
        }
    }

    const std::vector<int> positions = WatermarkPositions(length, m_startTime, m_waterMarkInterval);
    // SoX mixes only inputs of one sample rate, and a mono copy in a stereo mix
    // sounds on one side: every copy is converted to the track's signal.
    const Signal track = ReadSignal(m_inputFile);
    std::map<wxString, wxString> conversions;
    command = "./sox ";
    // -m with a single input is a usage error; a track without copies is a
    // plain conversion.
    command += positions.empty() ? " -v 1 " : " -v 1 -m ";
    command += QuoteSoxPath(m_inputFile) + " ";
    for (size_t k = 0; k < positions.size(); ++k) {
        const wxString& watermark = m_waterMarks[k % m_waterMarks.size()];
        auto known = conversions.find(watermark);
        if (known == conversions.end())
            known =
                conversions.emplace(watermark, ConversionOptions(WatermarkSignal(watermark), track))
                    .first;
        command += "\"| ./sox " + QuoteSoxPath(watermark, true) + " " + known->second +
                   wxString::Format("-p pad %d\" ", positions[k]);
    }
    if (m_mono)
        command += " -c 1 ";
    else if (m_fileFormat == "mp3" && track.channels > 2)
        command += " -c 2 "; // MP3 holds at most two channels
    if (m_bitrate != 0)
        command += wxString::Format("-C %d ", m_bitrate);
    command += QuoteSoxPath(m_resultOutput);
    return true;
}

int CSoxHandler::AppendFiles(const wxArrayString& files, const wxString& output) {
    m_errors.Clear();
    // SoX joins only files of one sample rate and channel count: the others
    // come in through a pipe input that converts them to the first one's.
    const Signal first = files.empty() ? Signal() : ReadSignal(files[0]);
    wxString command = "./sox ";
    for (size_t i = 0; i < files.size(); ++i) {
        const wxString options =
            i == 0 ? wxString() : ConversionOptions(ReadSignal(files[i]), first);
        if (options.empty())
            command += QuoteSoxPath(files[i]) + " ";
        else
            command += "\"| ./sox " + QuoteSoxPath(files[i], true) + " " + options + "-p\" ";
    }
    if (m_mono)
        command += " -c 1 ";
    if (m_bitrate != 0)
        command += wxString::Format("-C %d ", m_bitrate);
    command += QuoteSoxPath(output);
    RunResult run = Execute(command);
    if (run.status == 0)
        return 0;
    wxString reason;
    if (!run.errors.empty())
        reason = run.errors[0];
    else if (run.status == -1)
        reason = "SoX could not be started.";
    else
        reason = wxString::Format("SoX failed with status %ld.", run.status);
    m_errors.Add(wxFileName(output).GetFullName() + ": " + reason);
    return -1;
}

// ---------------------------------------------------------------------------
// Background runs

namespace {

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

void ReadAvailable(wxInputStream* stream, std::string& into) {
    char buffer[4096];
    while (stream && stream->CanRead()) {
        stream->Read(buffer, sizeof buffer);
        const size_t count = stream->LastRead();
        if (count == 0)
            break;
        into.append(buffer, count);
    }
}

} // namespace

class SoxProcess::Child : public wxProcess {
public:
    explicit Child(Done done) : m_done(std::move(done)) { Redirect(); }

    void Drain() {
        ReadAvailable(GetInputStream(), m_output);
        ReadAvailable(GetErrorStream(), m_errors);
    }
    // The owner is going away: nobody is told of the end.
    void Forget() { m_done = nullptr; }

    long pid = 0;
    bool running = false;
    static std::set<Child*> s_running;

    void OnTerminate(int, int status) override {
        Drain();
        running = false;
        s_running.erase(this);
        SoxOutput result;
        result.status = status;
        SplitLines(m_output, result.output);
        SplitLines(m_errors, result.errors);
        Done done = std::move(m_done);
        if (done)
            done(result);
        else
            delete this;
    }

private:
    Done m_done;
    std::string m_output;
    std::string m_errors;
};

std::set<SoxProcess::Child*> SoxProcess::Child::s_running;

SoxProcess::SoxProcess() = default;

SoxProcess::~SoxProcess() {
    if (!m_child)
        return;
    if (m_child->running) {
        // The toolkit still holds the object: it deletes itself once the
        // killed process has been reaped.
        m_child->Forget();
        Kill();
    } else {
        delete m_child;
    }
}

bool SoxProcess::Start(const wxString& command, Done done) {
    if (m_child && m_child->running)
        return false;
    delete m_child;
    m_child = nullptr;
    if (CSoxHandler::s_commandObserver)
        CSoxHandler::s_commandObserver(command);
    auto* child = new Child(std::move(done));
    wxExecuteEnv env;
    env.cwd = g_resourceFolder;
    const long pid = wxExecute(command, wxEXEC_ASYNC | wxEXEC_MAKE_GROUP_LEADER, child, &env);
    if (pid <= 0) {
        delete child;
        return false;
    }
    child->pid = pid;
    child->running = true;
    Child::s_running.insert(child);
    m_child = child;
    return true;
}

void SoxProcess::Kill() {
    if (m_child && m_child->running)
        wxProcess::Kill(static_cast<int>(m_child->pid), wxSIGKILL, wxKILL_CHILDREN);
}

bool SoxProcess::IsRunning() const {
    return m_child && m_child->running;
}

void SoxProcess::WaitUntil(const std::function<bool()>& finished) {
    wxAppConsole* app = wxAppConsole::GetInstance();
    std::unique_ptr<wxEventLoopBase> loop(app ? app->GetTraits()->CreateEventLoop() : nullptr);
    wxEventLoopBase* active = wxEventLoopBase::GetActive();
    wxEventLoopBase* use = active ? active : loop.get();
    std::unique_ptr<wxEventLoopActivator> activate;
    if (!active && use)
        activate.reset(new wxEventLoopActivator(use));
    while (!finished()) {
        for (Child* child : std::set<Child*>(Child::s_running))
            child->Drain();
        if (use)
            use->DispatchTimeout(20);
        if (app)
            app->ProcessPendingEvents();
    }
}

std::vector<bool> RunAll(std::vector<CSoxHandler>& handlers, int parallel) {
    if (parallel <= 0)
        parallel = std::max(1, wxThread::GetCPUCount());
    std::vector<bool> results(handlers.size(), false);
    std::vector<std::unique_ptr<SoxProcess>> processes;
    size_t next = 0;
    size_t running = 0;
    while (next < handlers.size() || running > 0) {
        while (next < handlers.size() && running < static_cast<size_t>(parallel)) {
            const size_t i = next++;
            wxString command;
            if (!handlers[i].BeginRun(command))
                continue;
            processes.emplace_back(new SoxProcess);
            auto done = [&handlers, &results, &running, i](const SoxOutput& out) {
                results[i] = handlers[i].EndRun(out);
                --running;
            };
            ++running;
            if (!processes.back()->Start(command, done))
                done(SoxOutput());
        }
        if (running > 0) {
            const size_t before = running;
            SoxProcess::WaitUntil([&] { return running != before; });
        }
    }
    return results;
}
