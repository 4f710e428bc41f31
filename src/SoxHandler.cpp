#include "SoxHandler.h"

#include <wx/filename.h>
#include <wx/utils.h>

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

} // namespace

wxString QuoteSoxPath(const wxString& path, bool insidePipe) {
    // The command splitter takes a backslash as "next character literal", so
    // only backslashes and double quotes need escaping for it. A pipe input is
    // also read by /bin/sh, where $, backtick, " and \ stay special inside
    // double quotes: escape those for the shell first, then the result for the
    // splitter.
    if (!insidePipe)
        return "\"" + Escape(path, "\\\"") + "\"";
    return "\\\"" + Escape(Escape(path, "\\\"$`"), "\\\"") + "\\\"";
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

int CSoxHandler::AppendFiles(const wxArrayString& files, const wxString& output) {
    wxString command = "./sox ";
    for (const wxString& file : files)
        command += QuoteSoxPath(file) + " ";
    if (m_mono)
        command += " -c 1 ";
    if (m_bitrate != 0)
        command += wxString::Format("-C %d ", m_bitrate);
    command += QuoteSoxPath(output);
    return Execute(command).status == 0 ? 0 : -1;
}
