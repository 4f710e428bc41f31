// Jobs built on the engine for a SoxQueue.
#include "SoxJobs.h"

#include "Envelope.h"
#include "FileFacts.h"

#include <wx/filename.h>

#include <memory>

SoxJob OperationJob(CSoxHandler& sox, bool* succeeded) {
    if (succeeded)
        *succeeded = false;
    SoxJob job;
    job.begin = [&sox](wxString& command) { return sox.BeginRun(command); };
    job.end = [&sox, succeeded](const SoxOutput& out) {
        const bool ok = sox.EndRun(out);
        if (succeeded)
            *succeeded = ok;
    };
    return job;
}

std::function<bool(size_t)> ReadHeadersAhead(const CSoxHandler& sox, const wxArrayString& paths,
                                             SoxQueue& queue) {
    // Enough files per run that the runs cost little beside the files' own
    // work, few enough that the first renders need not wait long.
    const size_t perRun = 50;
    const size_t runs = (paths.size() + perRun - 1) / perRun;
    auto readers = std::make_shared<std::vector<CSoxHandler>>(runs, sox);
    auto read = std::make_shared<std::vector<char>>(runs, 0);
    for (size_t run = 0; run < runs; ++run) {
        wxArrayString part;
        for (size_t i = run * perRun; i < paths.size() && i < (run + 1) * perRun; ++i)
            part.Add(paths[i]);
        SoxJob job;
        job.begin = [readers, read, run, part](wxString& command) {
            if ((*readers)[run].BeginReadHeaders(part, command))
                return true;
            (*read)[run] = 1;
            return false;
        };
        job.end = [readers, read, run](const SoxOutput& out) {
            (*readers)[run].EndReadHeaders(out);
            (*read)[run] = 1;
        };
        queue.Add(job);
    }
    return [read, perRun](size_t i) { return (*read)[i / perRun] != 0; };
}

std::vector<FileLength> MeasureLengths(const wxArrayString& paths, SoxQueue& queue) {
    CSoxHandler measure;
    measure.SetOperation(SOX_TRACK_LENGTH);
    const std::function<bool(size_t)> headerRead = ReadHeadersAhead(measure, paths, queue);
    // Copies share what the header runs learn.
    std::vector<CSoxHandler> measures(paths.size(), measure);
    std::unique_ptr<bool[]> measured(new bool[paths.size()]());
    std::vector<wxString> refused(paths.size());
    for (size_t i = 0; i < paths.size(); ++i) {
        refused[i] = UnreadableFileLine(paths[i]);
        if (!refused[i].empty())
            continue;
        measures[i].SetInputFile(paths[i]);
        SoxJob job = OperationJob(measures[i], &measured[i]);
        job.ready = [headerRead, i] { return headerRead(i); };
        queue.Add(job);
    }
    queue.Run();
    std::vector<FileLength> lengths(paths.size());
    for (size_t i = 0; i < paths.size(); ++i) {
        FileLength& length = lengths[i];
        CSoxHandler& sox = measures[i];
        length.measured = measured[i];
        if (length.measured) {
            length.seconds = sox.GetResultLong();
            length.exactSeconds = sox.GetResultSeconds();
            length.text = sox.GetResult();
        } else if (!refused[i].empty()) {
            length.line = refused[i];
        } else if (!queue.WasCancelled()) {
            length.line = sox.GetErrors().empty() ? wxFileName(paths[i]).GetFullName() +
                                                        ": SoX could not read its length."
                                                  : sox.GetErrors()[0];
        }
    }
    return lengths;
}

SoxJob MusicLoudnessJob(const wxString& path, std::function<void()> measured) {
    const FileStamp stamp = StampOf(path);
    SoxJob job = AnalysisJob(path, [path, stamp, measured](const Envelope&,
                                                           const LoudnessProfile& loudness,
                                                           const wxString& failure) {
        // A failure is left for the render, which tells it in its line.
        if (failure.empty() && !loudness.Empty())
            FileFacts::RememberLoudness(path, stamp, std::make_shared<LoudnessProfile>(loudness));
        measured();
    });
    const std::function<bool(wxString&)> analyse = job.begin;
    job.begin = [path, measured, analyse](wxString& command) {
        // What cannot be read (a FIFO would never end) is the render's to refuse.
        if (FileFacts::CachedLoudness(path) || !UnreadableFileLine(path).empty()) {
            measured();
            return false;
        }
        return analyse(command);
    };
    return job;
}
