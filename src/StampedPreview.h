#ifndef STAMPEDPREVIEW_H
#define STAMPEDPREVIEW_H

#include "AppPaths.h"
#include "RenderRun.h"
#include "SoxHandler.h"

#include <wx/arrstr.h>
#include <wx/string.h>

#include <memory>
#include <vector>

// A track as the run would write it, watermarks and all, rendered to WAV for
// the preview player into a private temporary folder. The last render is
// played again for as long as nothing that changes its sound has changed.
class StampedPreview {
public:
    StampedPreview() = default;
    // Removes the folder with everything rendered into it.
    ~StampedPreview() = default;
    StampedPreview(const StampedPreview&) = delete;
    StampedPreview& operator=(const StampedPreview&) = delete;

    // The file to play for track with watermarks and the start, interval,
    // level and mono of settings (the output format, names and folder do not
    // apply: the preview is always WAV). Renders only when one of those, the
    // track's file or a watermark's file has changed since the last render,
    // or its file is gone; runs the event loop while SoX works. True with
    // file set; false with the text to show in failure (the render's line;
    // empty after Cancel) and the last render kept.
    bool Prepare(const wxString& track, const wxArrayString& watermarks,
                 const RenderSettings& settings, wxString& file, wxString& failure);
    // Ends a render under way, from the event loop that Prepare runs.
    void Cancel();

    // The private folder, empty until the first render.
    wxString Folder() const { return m_folder ? m_folder->Path() : wxString(); }
    // The last rendered file, empty when none.
    const wxString& File() const { return m_file; }

private:
    // What a render was made from: its settings and each file as it stood.
    struct Sources {
        wxString settings;
        wxArrayString paths;
        std::vector<FileStamp> stamps;
        bool operator==(const Sources& other) const;
    };

    std::unique_ptr<TempFolder> m_folder;
    Sources m_rendered; // what m_file was rendered from
    wxString m_file;
    unsigned m_renders = 0;
    SoxQueue* m_queue = nullptr; // while a render runs
};

#endif
