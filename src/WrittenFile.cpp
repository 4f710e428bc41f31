// A render's or a join's file while it is written: under a hidden partial
// name, read back when SoX ends, tagged, marked and only then given its name.
#include "WrittenFile.h"

#include "SoxCommand.h"

#include <wx/filename.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

double FrameSlack(long rate, int frames) {
    return rate > 0 ? frames * 1152.0 / rate : 0.1 * frames;
}

void WrittenFile::Begin(const wxString& name) {
    output = name;
    partial = PartialPath(name);
    before = StampOf(partial);
}

void WrittenFile::Abandon() {
    if (partial.empty())
        return;
    const FileStamp now = StampOf(partial);
    if (now.exists && now != before)
        wxRemoveFile(partial);
    partial.clear();
}

wxString WrittenFile::Finish(FileFacts& facts, const wxString& tagsFrom, TagScope scope,
                             wxString& note) {
    note.clear();
    // Read back without decoding: a process that died, a full disk or a
    // writer that gave up show as a file shorter than planned.
    const double written = AudioSeconds(partial);
    if (written < 0)
        return "the written file cannot be read back as audio.";
    if (plannedSeconds >= 0 && std::fabs(written - plannedSeconds) > plannedMargin)
        return wxString::Format("the written file lasts %s s instead of %s s.",
                                wxString::FromCDouble(written, 2),
                                wxString::FromCDouble(plannedSeconds, 2));
    if (!tagsFrom.empty()) {
        bool tagged = false;
        note = CopyTags(tagsFrom, partial, scope, &tagged,
                        recipient.name.empty() ? nullptr : &recipient);
        // A tag that did not fit may have cut the file short while TagLib
        // still says it saved: SoX, which reads what users play it with,
        // must still take the file for what it was.
        AudioHeader header;
        wxString unreadable;
        if (tagged && (!facts.ReadHeader(partial, header, unreadable) ||
                       std::fabs(HeaderSeconds(header) - written) >
                           std::max(plannedMargin, FrameSlack(header.rate, 2)) ||
                       std::fabs(AudioSeconds(partial) - written) > 0.001))
            return "writing its tags damaged the file.";
    }
    if (!MarkAsOutput(partial))
        return "the written file could not be marked as this program's output: " +
               wxString(std::strerror(errno)) + ".";
    // Checked again at the last moment: the file may have come since the run began.
    if (StampOf(output).exists && !IsMarkedOutput(output))
        return "Not processed: " + ForeignOutputText(output);
    // One step, so that the output's name only ever shows a finished file.
    if (std::rename(partial.fn_str(), output.fn_str()) != 0)
        return "the finished file could not be given its name: " + wxString(std::strerror(errno)) +
               ".";
    return wxString();
}

wxString WrittenFile::Failure(wxString failure) const {
    if (partial.empty())
        return failure;
    if (IsDiskFull(wxFileName(partial).GetPath())) {
        if (IsUnexplainedWriteFailure(failure))
            failure = "the output file could not be written: the disk is full.";
        else if (!failure.Contains("No space left on device"))
            failure += " The disk is full.";
    }
    // SoX names the file it wrote; the user knows the output's name.
    failure.Replace(wxFileName(partial).GetFullName(), wxFileName(output).GetFullName());
    return failure;
}
