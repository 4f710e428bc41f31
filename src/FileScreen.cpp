// Which files offered to the window's lists, or kept in a preset, may become rows.
#include "FileScreen.h"

#include "RenderRun.h"

#include <wx/filefn.h>
#include <wx/filename.h>

#include <algorithm>

wxArrayString FileScreen::Existing(const wxArrayString& paths, std::vector<size_t>* places) {
    wxArrayString found;
    for (const wxString& path : paths) {
        const size_t place = m_offered++;
        // A FIFO or a folder too: its measure says what it is.
        if (wxFileName::Exists(path)) {
            found.Add(path);
            if (places)
                places->push_back(place);
        } else {
            Refuse(place, wxFileName(path).GetFullName() + ": not a file that can be read.");
        }
    }
    return found;
}

bool FileScreen::AcceptsLength(size_t place, const wxString& path, const FileLength& length) {
    if (!length.measured) {
        Refuse(place, length.line);
        return false;
    }
    if (m_watermarks && !IsWatermarkLength(length.seconds)) {
        m_tooLong = true;
        Refuse(place, wxFileName(path).GetFullName() + ": too long (" + length.text + ").");
        return false;
    }
    return true;
}

bool FileScreen::AcceptsSound(size_t place, const wxString& problem) {
    if (problem.empty())
        return true;
    Refuse(place, problem);
    return false;
}

void FileScreen::Refuse(size_t place, const wxString& line) {
    // Measures end in any order: the notes keep the order offered.
    auto after = std::upper_bound(
        m_refused.begin(), m_refused.end(), place,
        [](size_t p, const std::pair<size_t, wxString>& note) { return p < note.first; });
    m_refused.insert(after, {place, line});
}

wxString FileScreen::RefusedMessage() const {
    if (m_refused.empty())
        return wxString();
    wxString message;
    if (m_tooLong)
        message = WatermarkLengthRule() + "\n\n";
    message +=
        m_refused.size() == 1 ? "This file was not added:\n" : "These files were not added:\n";
    for (const auto& note : m_refused)
        message += "\n" + note.second;
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
