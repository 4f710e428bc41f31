// The watermarked preview: its first part at once, the whole in the background.
#ifndef STAMPEDPREVIEW_H
#define STAMPEDPREVIEW_H

#include "AppPaths.h"
#include "RenderRun.h"
#include "SoxJobs.h"

#include <wx/arrstr.h>
#include <wx/string.h>

#include <functional>
#include <memory>
#include <vector>

// A track as the run would write it, watermarks and all, rendered to WAV for
// the preview player into a private temporary folder. Playback need not wait
// for a long track: its first seconds are rendered at once and played while
// the whole renders in the background. The last render is played again for
// as long as nothing that changes its sound has changed.
class StampedPreview {
public:
    // How much of a track is rendered before playback starts.
    static const int kFirstPartSeconds = 30;

    StampedPreview() = default;
    // Ends a render in the background and removes the folder with everything
    // rendered into it.
    ~StampedPreview() = default;
    StampedPreview(const StampedPreview&) = delete;
    StampedPreview& operator=(const StampedPreview&) = delete;

    // The file to play for track with watermarks and the start, interval,
    // level, mono and clip of settings (the output format, names and folder
    // do not apply: the preview is always WAV). The whole render when it is
    // there and nothing that changes its sound (those settings, the track's
    // file, a watermark's file) has changed since; otherwise the first
    // kFirstPartSeconds, rendered now (the event loop runs meanwhile), with
    // the whole rendering in the background, which WholeReady tells of. A
    // change ends a background render of what no longer applies. True with
    // file set; false with the text to show in failure (the render's line;
    // empty after Cancel) and the last render kept.
    // With wholeNow, the whole is rendered now instead, for playing beyond
    // the first part at once.
    bool Prepare(const wxString& track, const wxArrayString& watermarks,
                 const RenderSettings& settings, wxString& file, wxString& failure,
                 bool wholeNow = false);
    // Ends a render that Prepare waits for, from the event loop it runs.
    void Cancel();
    // Ends the background render, if any, and removes what it wrote.
    void StopBackground();
    bool RendersInBackground() const { return m_background != nullptr; }

    // Called, from the event loop, when a background render has finished:
    // the first part that Prepare gave, and the whole render's file.
    void OnWholeReady(std::function<void(const wxString& part, const wxString& whole)> ready) {
        m_wholeReady = std::move(ready);
    }

    // The private folder, empty until the first render.
    wxString Folder() const { return m_folder ? m_folder->Path() : wxString(); }
    // The last whole render, empty when none.
    const wxString& File() const { return m_file; }

private:
    // What a render was made from: its settings and each file as it stood.
    struct Sources {
        wxString settings;
        wxArrayString paths;
        std::vector<FileStamp> stamps;
        bool operator==(const Sources& other) const;
    };
    // A render in the background: what it renders, its engines and queue.
    struct Background {
        Sources sources;
        wxString part;   // the first part, played meanwhile
        wxString output; // where the whole goes
        CSoxHandler measure, sox;
        bool rendered = false;
        SoxQueue queue{1};
    };

    // A name of its own for every render: the player may still hold the last one.
    wxString NextPrefix() { return wxString::Format("%u-", ++m_renders); }
    void WholeFinished();

    std::unique_ptr<TempFolder> m_folder;
    Sources m_rendered; // what m_file was rendered from
    wxString m_file;
    wxString m_part; // the first part of the last render, while it may be playing
    unsigned m_renders = 0;
    SoxQueue* m_queue = nullptr; // while Prepare renders
    std::unique_ptr<Background> m_background;
    std::unique_ptr<Background> m_finished; // told of its end, dropped at the next change
    std::function<void(const wxString&, const wxString&)> m_wholeReady;
};

#endif
