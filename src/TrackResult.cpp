// How a track of a run ended, as a type, and the fixed words its line says.
#include "TrackResult.h"

wxString OutcomeLine(const wxString& name, TrackOutcome outcome) {
    switch (outcome) {
    case TrackOutcome::Done:
    case TrackOutcome::DoneWithNotes:
        return name + ": Process completed successfully";
    case TrackOutcome::Skipped:
        return name + ": already rendered, skipped.";
    default:
        return name;
    }
}
