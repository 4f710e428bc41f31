// Which files offered to the window's lists, or kept in a preset, may become rows.
#include "FileScreen.h"

#include "RenderRun.h"

#include <wx/filefn.h>
#include <wx/filename.h>

wxArrayString FileScreen::Existing(const wxArrayString& paths) {
    wxArrayString found;
    for (const wxString& path : paths) {
        // A FIFO or a folder too: MeasureLengths says what it is.
        if (wxFileName::Exists(path))
            found.Add(path);
        else
            m_refused.Add(wxFileName(path).GetFullName() + ": not a file that can be read.");
    }
    return found;
}

bool FileScreen::Accepts(const wxString& path, const FileLength& length) {
    if (!length.measured) {
        m_refused.Add(length.line);
        return false;
    }
    if (m_watermarks && !IsWatermarkLength(length.seconds)) {
        m_tooLong = true;
        m_refused.Add(wxFileName(path).GetFullName() + ": too long (" + length.text + ").");
        return false;
    }
    const wxString silent = m_watermarks ? CSoxHandler().WatermarkProblem(path) : "";
    if (!silent.empty()) {
        m_refused.Add(silent);
        return false;
    }
    return true;
}

wxString FileScreen::RefusedMessage() const {
    if (m_refused.empty())
        return wxString();
    wxString message;
    if (m_tooLong)
        message = WatermarkLengthRule() + "\n\n";
    message +=
        m_refused.size() == 1 ? "This file was not added:\n" : "These files were not added:\n";
    for (const wxString& line : m_refused)
        message += "\n" + line;
    return message;
}

wxString DropMissingWatermarks(const wxString& preset, wxArrayString& watermarks) {
    wxArrayString missing;
    wxArrayString found;
    for (const wxString& path : watermarks)
        (wxFileExists(path) ? found : missing).Add(path);
    watermarks = found;
    if (missing.empty())
        return wxString();
    wxString message = "These watermark files of the preset \"" + preset + "\" were not found:\n";
    for (const wxString& path : missing)
        message += "\n" + path;
    return message;
}
