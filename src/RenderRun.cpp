#include "RenderRun.h"

#include "SoxHandler.h"

#include <wx/filefn.h>
#include <wx/filename.h>

#include <wx/thread.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>

const int g_maxWatermarkSeconds = 4;

namespace {

// A folder of the system's temporary folder, removed with its contents when
// the object goes.
class RunFolder {
public:
    RunFolder() {
        wxCharBuffer pattern = (wxFileName::GetTempDir() + "/velisto-run-XXXXXX").fn_str();
        if (mkdtemp(pattern.data()))
            m_path = wxString(pattern.data(), *wxConvFileName);
    }
    ~RunFolder() {
        if (!m_path.empty())
            wxFileName::Rmdir(m_path, wxPATH_RMDIR_RECURSIVE);
    }
    RunFolder(const RunFolder&) = delete;
    RunFolder& operator=(const RunFolder&) = delete;
    const wxString& path() const { return m_path; }

private:
    wxString m_path;
};

wxString FileName(const wxString& path) {
    return wxFileName(path).GetFullName();
}

// Why track row must not be written to output in this run, or empty: output
// is another listed track's file or was written earlier in the run.
wxString OutputConflict(const wxArrayString& tracks, size_t row, const wxString& output,
                        const wxArrayString& written) {
    for (const wxString& earlier : written) {
        if (IsSameFile(output, earlier))
            return "Not processed: " + FileName(output) +
                   " was already written by an earlier track of this run.";
    }
    for (size_t i = 0; i < tracks.size(); ++i) {
        if (i != row && IsSameFile(output, tracks[i]))
            return "Not processed: the output file would replace the listed track " +
                   FileName(tracks[i]) + ".";
    }
    return wxString();
}

} // namespace

wxString FormatExtension(OutputFormat format) {
    switch (format) {
    case OutputFormat::Wav:
        return "wav";
    case OutputFormat::Aiff:
        return "aiff";
    case OutputFormat::Mp3:
        break;
    }
    return "mp3";
}

CSoxHandler WatermarkHandler(const RenderSettings& settings, const wxArrayString& watermarks) {
    CSoxHandler sox;
    sox.SetOperation(SOX_ADD_WATERMARK);
    sox.SetOutputFile(settings.folder);
    sox.SetWaterMarks(watermarks);
    sox.SetStartTime(settings.start);
    sox.SetWaterMarkInterval(settings.interval);
    sox.SetWaterMarkLevel(settings.level);
    sox.SetFileFormat(FormatExtension(settings.format));
    sox.SetBitrate(settings.format == OutputFormat::Mp3 ? settings.bitrate : 0);
    sox.SetMono(settings.mono);
    sox.SetPrefix(settings.prefix);
    sox.SetSuffix(settings.suffix);
    return sox;
}

RenderRun::RenderRun(const RenderSettings& settings, const wxArrayString& tracks,
                     const wxArrayString& watermarks)
    : m_settings(settings), m_tracks(tracks), m_watermarks(watermarks) {
}

wxString RenderRun::InputProblem() const {
    if (m_settings.folder.empty())
        return "Choose an output folder first.";
    if (m_tracks.empty())
        return "Please add at least one input file.";
    if (m_watermarks.empty())
        return "Please add at least one watermark file.";
    // Checked before anything renders, so no track is written half-way.
    if (!wxDirExists(m_settings.folder))
        return "The output folder " + m_settings.folder + " does not exist.";
    if (!wxFileName::IsDirWritable(m_settings.folder))
        return "The output folder " + m_settings.folder + " cannot be written to.";
    // Either would put the output outside the chosen folder.
    for (const wxString& affix : {m_settings.prefix, m_settings.suffix}) {
        if (affix.find_first_of(wxFileName::GetPathSeparators()) != wxString::npos ||
            affix.Contains(".."))
            return "A prefix or suffix cannot contain \"/\" or \"..\".";
    }
    return wxString();
}

wxString RenderRun::MergedPath() const {
    return MergedOutputPath(m_settings.folder, m_settings.mergeName,
                            FormatExtension(m_settings.format));
}

wxString RenderRun::MergeProblem() const {
    if (!m_settings.merge)
        return wxString();
    if (!IsUsableMergeName(m_settings.mergeName))
        return "Please provide a file name for the merged file, without a folder.";
    const wxString merged = MergedPath();
    for (const wxArrayString* list : {&m_tracks, &m_watermarks}) {
        for (const wxString& path : *list) {
            if (IsSameFile(merged, path))
                return "The merged file " + merged + " would replace " + FileName(path) +
                       ", which is in your lists. Please choose another name.";
        }
    }
    return wxString();
}

namespace {

// One track of a run and the SoX process rendering it.
struct TrackJob {
    enum State { Waiting, Running, Ended };
    CSoxHandler sox;
    SoxProcess process;
    State state = Waiting;
    bool rendered = false;
    wxArrayString lines; // the engine's, in its order
    wxString output;     // where it writes
};

// A same-named track from another folder would write where an earlier one
// writes: it waits until that one has ended.
bool WaitsForEarlier(const std::vector<std::unique_ptr<TrackJob>>& jobs, size_t row) {
    for (size_t j = 0; j < row; ++j) {
        if (jobs[j]->state != TrackJob::Ended && IsSameFile(jobs[j]->output, jobs[row]->output))
            return true;
    }
    return false;
}

} // namespace

wxArrayString RenderRun::Run(RenderProgress* progress) {
    m_cancel = m_cancelled = m_complete = false;
    wxArrayString lines;
    const size_t count = m_tracks.size();
    // Tracks of the same name from different folders must not overwrite each
    // other before the join: each renders into a folder of its own.
    std::unique_ptr<RunFolder> renderFolder;
    if (m_settings.merge) {
        renderFolder.reset(new RunFolder);
        if (renderFolder->path().empty()) {
            lines.Add(FileName(MergedPath()) +
                      ": Not created: could not create a temporary "
                      "folder in " +
                      wxFileName::GetTempDir() + ".");
            return lines;
        }
    }

    CSoxHandler settings = WatermarkHandler(m_settings, m_watermarks);

    const size_t cores = std::max(1, wxThread::GetCPUCount());
    const size_t parallel = m_parallel > 0 ? static_cast<size_t>(m_parallel) : cores;
    std::vector<std::unique_ptr<TrackJob>> jobs;
    for (size_t i = 0; i < count; ++i) {
        jobs.emplace_back(new TrackJob);
        TrackJob& job = *jobs.back();
        job.sox = settings;
        job.sox.SetInputFile(m_tracks[i]);
        if (m_settings.merge) {
            const wxString folder = renderFolder->path() + wxString::Format("/%zu", i + 1);
            wxFileName::Mkdir(folder);
            job.sox.SetOutputFile(folder);
        } else {
            job.sox.SetOutputFile(m_settings.folder);
        }
        job.output = job.sox.GetOutputPath();
    }

    size_t running = 0;
    size_t ended = 0;
    size_t cancelled = 0;
    wxArrayString rendered;
    auto end = [&](TrackJob& job) {
        job.state = TrackJob::Ended;
        if (job.rendered)
            rendered.Add(job.output);
        ++ended;
        if (progress)
            progress->TracksFinished(ended, count);
    };
    auto start = [&](size_t row) {
        TrackJob& job = *jobs[row];
        if (!m_settings.merge) {
            const wxString conflict = OutputConflict(m_tracks, row, job.output, rendered);
            if (!conflict.empty()) {
                job.lines.Add(FileName(m_tracks[row]) + ": " + conflict);
                end(job);
                return;
            }
        }
        if (progress)
            progress->TrackStarted(row, count, FileName(m_tracks[row]));
        // Fewer renders than cores from here on (one at a time, or the last
        // of a batch): this one can spread over two.
        const size_t waiting = count - ended - running;
        job.sox.SetDecodeApart(running + std::min(waiting, parallel - running) < cores);
        wxString command;
        if (!job.sox.BeginRun(command)) {
            job.lines = job.sox.GetErrors();
            end(job);
            return;
        }
        job.output = job.sox.GetResultOutput();
        job.state = TrackJob::Running;
        ++running;
        auto finished = [&, row](const SoxOutput& out) {
            TrackJob& done = *jobs[row];
            --running;
            if (m_cancelled && out.status != 0) {
                // Ended by the cancel: what it wrote is not a whole file.
                if (wxFileExists(done.output))
                    wxRemoveFile(done.output);
                ++cancelled;
            } else {
                done.rendered = done.sox.EndRun(out);
                done.lines = done.sox.GetErrors();
            }
            end(done);
        };
        if (!job.process.Start(command, finished)) {
            SoxOutput none; // status -1: could not be started
            finished(none);
        }
    };

    size_t next = 0; // tracks before it have all been started or ended
    while (ended < count) {
        if (!m_cancelled && (m_cancel || (progress && progress->CancelRequested()))) {
            m_cancelled = true;
            for (auto& job : jobs) {
                if (job->state == TrackJob::Running)
                    job->process.Kill();
            }
        }
        if (m_cancelled) {
            // Tracks never started end as not rendered.
            for (auto& job : jobs) {
                if (job->state == TrackJob::Waiting) {
                    ++cancelled;
                    end(*job);
                }
            }
        }
        for (size_t row = next; !m_cancelled && row < count && running < parallel; ++row) {
            if (jobs[row]->state == TrackJob::Waiting && !WaitsForEarlier(jobs, row))
                start(row);
        }
        while (next < count && jobs[next]->state != TrackJob::Waiting)
            ++next;
        if (ended < count) {
            const size_t before = ended;
            SoxProcess::WaitUntil([&] {
                return ended != before ||
                       (!m_cancelled && (m_cancel || (progress && progress->CancelRequested())));
            });
        }
    }

    for (auto& job : jobs)
        WX_APPEND_ARRAY(lines, job->lines);
    if (m_cancelled) {
        lines.Add(wxString::Format("Cancelled: %zu of %zu tracks not rendered.", cancelled, count));
        return lines;
    }

    m_complete = rendered.size() == count;
    if (m_settings.merge) {
        // Joined in track order, whatever order the renders ended in.
        wxArrayString inOrder;
        for (auto& job : jobs) {
            if (job->rendered)
                inOrder.Add(job->output);
        }
        if (inOrder.empty()) {
            lines.Add(FileName(MergedPath()) + ": Not created: no track was rendered.");
        } else if (settings.AppendFiles(inOrder, MergedPath()) != 0) {
            m_complete = false;
            if (!settings.GetErrors().empty())
                lines.Add(settings.GetErrors()[0]);
        }
    }
    return lines;
}
