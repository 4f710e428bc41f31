#include "StampedPreview.h"

#include <wx/filefn.h>
#include <wx/filename.h>

bool StampedPreview::Sources::operator==(const Sources& other) const {
    return settings == other.settings && paths == other.paths && stamps == other.stamps;
}

void StampedPreview::Cancel() {
    if (m_queue)
        m_queue->Cancel();
}

bool StampedPreview::Prepare(const wxString& track, const wxArrayString& watermarks,
                             const RenderSettings& settings, wxString& file, wxString& failure) {
    failure.clear();
    if (watermarks.empty()) {
        failure = "Please add at least one watermark file.";
        return false;
    }
    // A file saved again under the same name counts as changed.
    Sources sources;
    sources.settings = wxString::Format("%d\t%d\t%d\t%d\t%d\t%d\t%d", settings.start,
                                        settings.interval, settings.level, settings.mono ? 1 : 0,
                                        settings.clipLength, settings.clipStart, settings.clipFade);
    sources.paths.Add(track);
    WX_APPEND_ARRAY(sources.paths, watermarks);
    for (const wxString& path : sources.paths)
        sources.stamps.push_back(StampOf(path));
    if (sources == m_rendered && wxFileExists(m_file)) {
        file = m_file;
        return true;
    }

    if (!m_folder)
        m_folder.reset(new TempFolder("velisto-preview"));
    if (m_folder->Path().empty()) {
        m_folder.reset();
        failure = "Could not create a temporary folder in " + wxFileName::GetTempDir() + ".";
        return false;
    }

    // WAV in the preview's own folder, whatever the output settings say.
    RenderSettings preview = settings;
    preview.format = OutputFormat::Wav;
    preview.folder = m_folder->Path();
    // A name of its own for every render: the player may still hold the last one.
    preview.prefix = wxString::Format("%u-", ++m_renders);
    preview.suffix.clear();
    CSoxHandler sox = WatermarkHandler(preview, watermarks);
    sox.SetInputFile(track);
    bool rendered = false;
    SoxQueue queue(1);
    queue.Add(OperationJob(sox, &rendered));
    m_queue = &queue;
    queue.Run();
    m_queue = nullptr;
    if (!rendered) {
        if (!queue.WasCancelled()) {
            failure = wxJoin(sox.GetErrors(), '\n', '\0');
            if (failure.empty())
                failure = wxFileName(track).GetFullName() + ": could not be rendered.";
        }
        return false;
    }
    if (!m_file.empty() && wxFileExists(m_file))
        wxRemoveFile(m_file);
    m_file = sox.GetResultOutput();
    m_rendered = sources;
    file = m_file;
    return true;
}
