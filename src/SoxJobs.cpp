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
                                             SoxQueue& queue,
                                             std::function<void(size_t, size_t)> read) {
    // Enough files per run that the runs cost little beside the files' own
    // work, few enough that the first renders need not wait long.
    const size_t perRun = 50;
    const size_t runs = (paths.size() + perRun - 1) / perRun;
    auto readers = std::make_shared<std::vector<CSoxHandler>>(runs, sox);
    auto done = std::make_shared<std::vector<char>>(runs, 0);
    for (size_t run = 0; run < runs; ++run) {
        wxArrayString part;
        for (size_t i = run * perRun; i < paths.size() && i < (run + 1) * perRun; ++i)
            part.Add(paths[i]);
        const auto finish = [done, run, read, first = run * perRun,
                             end = run * perRun + part.size()] {
            (*done)[run] = 1;
            if (read)
                read(first, end);
        };
        SoxJob job;
        job.begin = [readers, run, part, finish](wxString& command) {
            if ((*readers)[run].BeginReadHeaders(part, command))
                return true;
            finish();
            return false;
        };
        job.end = [readers, run, finish](const SoxOutput& out) {
            (*readers)[run].EndReadHeaders(out);
            finish();
        };
        queue.Add(job);
    }
    return [done, perRun](size_t i) { return (*done)[i / perRun] != 0; };
}

namespace {

// The length a measure found, or the line saying why it found none.
FileLength LengthOf(CSoxHandler& sox, bool measured, const wxString& path) {
    FileLength length;
    length.measured = measured;
    if (measured) {
        length.seconds = sox.GetResultLong();
        length.exactSeconds = sox.GetResultSeconds();
        length.text = sox.GetResult();
    } else {
        length.line = sox.GetErrors().empty()
                          ? wxFileName(path).GetFullName() + ": SoX could not read its length."
                          : sox.GetErrors()[0];
    }
    return length;
}

} // namespace

std::vector<FileLength> MeasureLengths(const wxArrayString& paths, SoxQueue& queue) {
    CSoxHandler measure;
    measure.SetOperation(SOX_TRACK_LENGTH);
    const std::function<bool(size_t)> headerRead = ReadHeadersAhead(measure, paths, queue);
    auto lengths = std::make_shared<std::vector<FileLength>>(paths.size());
    for (size_t i = 0; i < paths.size(); ++i) {
        const wxString refused = UnreadableFileLine(paths[i]);
        if (!refused.empty()) {
            (*lengths)[i].line = refused;
            continue;
        }
        SoxJob job =
            LengthJob(measure, paths[i], [lengths, i](const FileLength& l) { (*lengths)[i] = l; });
        job.ready = [headerRead, i] { return headerRead(i); };
        queue.Add(job);
    }
    queue.Run();
    return *lengths;
}

SoxJob LengthJob(const CSoxHandler& measure, const wxString& path,
                 std::function<void(const FileLength& length)> measured) {
    auto sox = std::make_shared<CSoxHandler>(measure);
    sox->SetInputFile(path);
    SoxJob job;
    job.begin = [sox, path, measured](wxString& command) {
        if (sox->BeginRun(command))
            return true;
        measured(LengthOf(*sox, false, path));
        return false;
    };
    job.end = [sox, path, measured](const SoxOutput& out) {
        const bool ok = sox->EndRun(out);
        if (!out.cancelled)
            measured(LengthOf(*sox, ok, path));
    };
    return job;
}

bool KnownLength(const CSoxHandler& measure, const wxString& path, FileLength& length) {
    CSoxHandler sox(measure);
    sox.SetInputFile(path);
    wxString command;
    if (!sox.BeginRun(command) || !command.empty())
        return false;
    SoxOutput nothingRan;
    nothingRan.status = 0;
    length = LengthOf(sox, sox.EndRun(nothingRan), path);
    return true;
}

SoxJob WatermarkCheckJob(const wxString& path,
                         std::function<void(const wxString& problem)> checked) {
    SoxJob job;
    job.begin = [path](wxString& command) {
        command = CSoxHandler::WatermarkCheckCommand(path);
        return true;
    };
    job.end = [path, checked](const SoxOutput& out) {
        if (!out.cancelled)
            checked(CSoxHandler::WatermarkCheckLine(path, out));
    };
    return job;
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
