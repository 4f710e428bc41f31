// How a track of a run ended, as a type, and the fixed words its line says.
#ifndef TRACKRESULT_H
#define TRACKRESULT_H

#include <wx/arrstr.h>
#include <wx/string.h>

enum class TrackOutcome {
    Done,          // rendered and checked
    DoneWithNotes, // rendered and checked; its lines say more (clipped samples, tags)
    Skipped,       // already rendered, left out
    NotProcessed,  // refused before anything ran
    Failed,        // SoX ran and the output is not what was asked
    Cancelled      // stopped by the user
};

// A track's outcome with its lines ("<name>: ...", the first its own; none
// when cancelled).
struct TrackResult {
    TrackOutcome outcome = TrackOutcome::NotProcessed;
    wxArrayString lines;
    // True when the track's output is there, rendered now or before.
    bool HasOutput() const {
        return outcome == TrackOutcome::Done || outcome == TrackOutcome::DoneWithNotes ||
               outcome == TrackOutcome::Skipped;
    }
};

// The line of a track that name (without folders, as DisplayName shows it)
// rendered (Done) or left out as rendered before (Skipped).
wxString OutcomeLine(const wxString& name, TrackOutcome outcome);

#endif
