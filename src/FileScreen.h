// Which files offered to the window's lists, or kept in a preset, may become rows.
#ifndef FILESCREEN_H
#define FILESCREEN_H

#include "SoxJobs.h"

#include <wx/arrstr.h>

#include <cstddef>
#include <utility>
#include <vector>

// Screens the files offered to the track list or the watermark list, and
// notes each one refused with the reason, for one message naming them all
// in the order they were offered, however their measures ended.
class FileScreen {
public:
    explicit FileScreen(bool watermarks) : m_watermarks(watermarks) {}
    // Those of paths that exist, to be measured; the rest are noted. places
    // (when given) receives each found path's place among all the paths
    // offered, for the notes made of it later.
    wxArrayString Existing(const wxArrayString& paths, std::vector<size_t>* places = nullptr);
    // Whether the file at place, measured as length, may become a row;
    // noted when not. A watermark must have a watermark's length.
    bool AcceptsLength(size_t place, const wxString& path, const FileLength& length);
    // Watermarks only: whether the file at place, whose sound check found
    // problem (empty: none), may stay; noted when not. It must make a sound.
    bool AcceptsSound(size_t place, const wxString& problem);
    bool ForWatermarks() const { return m_watermarks; }
    // The message naming the files noted; empty when none was.
    wxString RefusedMessage() const;

private:
    void Refuse(size_t place, const wxString& line);

    bool m_watermarks;
    bool m_tooLong = false;
    size_t m_offered = 0;
    std::vector<std::pair<size_t, wxString>> m_refused; // by place
};

// Leaves only the files found in watermarks, those of the preset named; the
// message naming the rest, or empty.
wxString DropMissingWatermarks(const wxString& preset, wxArrayString& watermarks);

#endif
