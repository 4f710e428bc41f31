// A render's or a join's file while it is written: under a hidden partial
// name, read back when SoX ends, tagged, marked and only then given its name.
#ifndef WRITTENFILE_H
#define WRITTENFILE_H

#include "FileFacts.h"
#include "OutputFiles.h"
#include "TagCopy.h"

#include <wx/string.h>

// Seconds of the MP3 frames an encoder may add as delay and padding: what a
// written file may differ from its plan by.
double FrameSlack(long rate, int frames);

struct WrittenFile {
    wxString output;  // the name it takes once finished
    wxString partial; // where it is written; empty when nothing is
    FileStamp before; // what stood at partial before
    // The seconds it must last (-1: not known), and by how much it may
    // differ (encoder delay and padding, a length only estimated).
    double plannedSeconds = -1;
    double plannedMargin = 0;
    // Whose copy it is (no name: an ordinary preview), said in its tags.
    Recipient recipient;

    // Starts writing toward output.
    void Begin(const wxString& name);
    // Removes the partial file when the run created or changed it.
    void Abandon();
    // Reads the finished partial file back, writes its tags from tagsFrom
    // (none when empty), marks it and gives it the output's name: the
    // failure's reason, or empty. A tag problem that leaves the audio whole
    // is only a note.
    wxString Finish(FileFacts& facts, const wxString& tagsFrom, TagScope scope, wxString& note);
    // A failure while writing in the user's words: a full disk said so, the
    // output named rather than its hidden partial file.
    wxString Failure(wxString failure) const;
};

#endif
