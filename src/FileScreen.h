// Which files offered to the window's lists, or kept in a preset, may become rows.
#ifndef FILESCREEN_H
#define FILESCREEN_H

#include "SoxJobs.h"

#include <wx/arrstr.h>

// Screens the files offered to the track list or the watermark list, and
// notes each one refused with the reason, for one message naming them all.
class FileScreen {
public:
    explicit FileScreen(bool watermarks) : m_watermarks(watermarks) {}
    // Those of paths that exist, to be measured; the rest are noted.
    wxArrayString Existing(const wxArrayString& paths);
    // Whether path, measured as length, may become a row; noted when not.
    // A watermark must have a watermark's length and make a sound.
    bool Accepts(const wxString& path, const FileLength& length);
    // The message naming the files noted; empty when none was.
    wxString RefusedMessage() const;

private:
    bool m_watermarks;
    bool m_tooLong = false;
    wxArrayString m_refused;
};

// Leaves only the files found in watermarks, those of the preset named; the
// message naming the rest, or empty.
wxString DropMissingWatermarks(const wxString& preset, wxArrayString& watermarks);

#endif
