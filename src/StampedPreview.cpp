// The watermarked preview: its first part at once, the whole in the background.
#include "StampedPreview.h"

#include <wx/filefn.h>
#include <wx/filename.h>

namespace {

void RemoveFile(const wxString& path) {
    if (!path.empty() && wxFileExists(path))
        wxRemoveFile(path);
}

} // namespace

bool StampedPreview::Sources::operator==(const Sources& other) const {
    return settings == other.settings && paths == other.paths && stamps == other.stamps;
}

void StampedPreview::Cancel() {
    if (m_queue)
        m_queue->Cancel();
}

void StampedPreview::StopBackground() {
    m_finished.reset();
    if (!m_background)
        return;
    std::unique_ptr<Background> stopped = std::move(m_background);
    stopped->queue.Cancel(); // ends its SoX processes
    stopped->sox.AbandonRun();
}

void StampedPreview::WholeFinished() {
    if (m_background->rendered) {
        if (m_file != m_background->output)
            RemoveFile(m_file);
        m_file = m_background->output;
        m_rendered = m_background->sources;
    } else {
        RemoveFile(m_background->output);
    }
    // Not destroyed here: its queue is telling of the end.
    m_finished = std::move(m_background);
    if (m_finished->rendered && m_wholeReady)
        m_wholeReady(m_finished->part, m_file);
}

bool StampedPreview::Prepare(const wxString& track, const wxArrayString& watermarks,
                             const RenderSettings& settings, wxString& file, wxString& failure,
                             bool wholeNow) {
    failure.clear();
    if (watermarks.empty()) {
        failure = "Please add at least one watermark file.";
        return false;
    }
    // A file saved again under the same name counts as changed.
    Sources sources;
    sources.settings = wxString::Format(
        "%d\t%d\t%d\t%d\t%d\t%d\t%d\t%d\t%d", settings.start, settings.interval, settings.level,
        static_cast<int>(settings.levelMode), settings.duck, settings.mono ? 1 : 0,
        settings.clipLength, settings.clipStart, settings.clipFade);
    sources.paths.Add(track);
    WX_APPEND_ARRAY(sources.paths, watermarks);
    for (const wxString& path : sources.paths)
        sources.stamps.push_back(StampOf(path));
    if (sources == m_rendered && wxFileExists(m_file)) {
        StopBackground();
        file = m_file;
        return true;
    }
    if (!wholeNow && m_background && sources == m_background->sources &&
        wxFileExists(m_background->part)) {
        file = m_background->part;
        return true;
    }
    StopBackground();

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
    preview.prefix = NextPrefix();
    preview.suffix.clear();
    CSoxHandler part = WatermarkHandler(preview, watermarks);
    part.SetInputFile(track);
    part.SetFirstSeconds(wholeNow ? 0 : kFirstPartSeconds);
    bool rendered = false;
    SoxQueue queue(1);
    queue.Add(OperationJob(part, &rendered));
    m_queue = &queue;
    queue.Run();
    m_queue = nullptr;
    if (!rendered) {
        if (!queue.WasCancelled()) {
            failure = wxJoin(part.GetErrors(), '\n', '\0');
            if (failure.empty())
                failure = wxFileName(track).GetFullName() + ": could not be rendered.";
        }
        return false;
    }
    // Nothing plays the earlier renders now.
    RemoveFile(m_part);
    RemoveFile(m_file);
    m_file.clear();
    m_rendered = Sources();
    m_part = part.GetResultOutput();
    file = m_part;
    if (wholeNow || part.GetPlacedLength() <= kFirstPartSeconds) {
        // The part is all there is.
        m_file = m_part;
        m_part.clear();
        m_rendered = sources;
        return true;
    }

    // The whole, in the background: the track measured exactly in SoX
    // processes of the queue's, then the render. Copies of the part's engine
    // share what it has read of the files, so neither waits for SoX here.
    m_background.reset(new Background);
    Background& whole = *m_background;
    whole.sources = sources;
    whole.part = m_part;
    whole.measure = part;
    whole.measure.SetOperation(SOX_TRACK_LENGTH);
    whole.sox = part;
    whole.sox.SetFirstSeconds(0);
    whole.sox.SetPrefix(NextPrefix());
    whole.output = whole.sox.GetOutputPath();
    // One at a time: the render begins once the measure has ended.
    SoxJob render = OperationJob(whole.sox, &whole.rendered);
    const auto began = render.begin;
    render.begin = [this, began](wxString& command) {
        if (began(command))
            return true;
        WholeFinished(); // not rendered: nothing will end
        return false;
    };
    const auto ended = render.end;
    render.end = [this, ended](const SoxOutput& out) {
        ended(out);
        if (!out.cancelled)
            WholeFinished();
    };
    whole.queue.RunInBackground();
    whole.queue.Add(OperationJob(whole.measure));
    // The music's loudness too, unless the strip has it: the render would
    // otherwise measure it while the window waits.
    whole.queue.Add(MusicLoudnessJob(track, [] {}));
    whole.queue.Add(render);
    return true;
}
