// Jobs built on the engine for a SoxQueue: a selected operation, headers read
// ahead many files per run, the lengths of a list of files, a watermark's check.
#ifndef SOXJOBS_H
#define SOXJOBS_H

#include "SoxHandler.h"
#include "SoxRunner.h"

#include <wx/arrstr.h>
#include <wx/string.h>

#include <functional>
#include <vector>

// A job that performs sox's selected operation: BeginRun, its command,
// EndRun; *succeeded (when given) is set to its result. sox must stay while
// the queue runs.
SoxJob OperationJob(CSoxHandler& sox, bool* succeeded = nullptr);

// Adds jobs to queue that read the headers of paths into sox's knowledge
// (shared with its copies), many files per SoX run; they begin before any
// job added later. The function returned tells whether path i has been read.
// read (when given) is called with the paths [first, end) of each run once
// they have been read, or were known already.
std::function<bool(size_t)>
ReadHeadersAhead(const CSoxHandler& sox, const wxArrayString& paths, SoxQueue& queue,
                 std::function<void(size_t first, size_t end)> read = nullptr);

// A file's length as the list shows it, measured with SOX_TRACK_LENGTH.
struct FileLength {
    bool measured = false;
    int seconds = 0;         // whole seconds, fraction dropped
    double exactSeconds = 0; // with the fraction
    wxString text;           // "mm:ss"
    wxString line;           // when not measured: "<name>: <SoX's reason>"
};

// Measures every file through queue, several at once, and runs it: the
// headers first, many per SoX run, then a decode for each file whose header
// does not tell its length. A file that a cancel left unmeasured has an
// empty line.
std::vector<FileLength> MeasureLengths(const wxArrayString& paths, SoxQueue& queue);

// A job that measures path as MeasureLengths does, with a copy of measure
// (set to SOX_TRACK_LENGTH), which shares what its headers read ahead learnt.
// measured is called once with the length, or with the line saying why
// there is none; not for a run that a cancel ended or dropped.
SoxJob LengthJob(const CSoxHandler& measure, const wxString& path,
                 std::function<void(const FileLength& length)> measured);

// The length of path as LengthJob would tell it, when the headers read
// ahead state it and no SoX run is needed; false otherwise.
bool KnownLength(const CSoxHandler& measure, const wxString& path, FileLength& length);

// A job that tells why path cannot be a watermark although SoX reads it, as
// CSoxHandler::WatermarkProblem does, without waiting in the event loop:
// checked is called once with the line, empty when it can be one; not for
// a run that a cancel ended or dropped.
SoxJob WatermarkCheckJob(const wxString& path,
                         std::function<void(const wxString& problem)> checked);

// A job that measures a track's music before its render (FileFacts::TrackLoudness
// then finds it); measured is called once it is known, could not be, or was
// known already (nothing runs then).
SoxJob MusicLoudnessJob(const wxString& path, std::function<void()> measured);

#endif
