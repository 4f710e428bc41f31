// What SoX tells of an audio file: its header and its measured length.
#ifndef AUDIOHEADER_H
#define AUDIOHEADER_H

#include <wx/arrstr.h>
#include <wx/string.h>

// A file's signal as its header ("sox --i") states it.
struct AudioHeader {
    long rate = 0;
    long channels = 0;
    // Sample frames when the header states them exactly, else -1.
    long long frames = -1;
    // Sample frames as the header states them, exact or not; -1 when it does not.
    long long statedFrames = -1;
    long bits = 0; // precision of its samples, 0 when not stated
};

// A header from the lines SoX prints for one file (its "--i" block); the
// exact frames only where the format states them and the file holds them.
AudioHeader ParseHeader(const wxArrayString& lines, const wxString& path);
// Whole seconds as the header states them, when it states them exactly.
bool LengthFromHeader(const AudioHeader& header, int& seconds);
// Seconds the header states, exactly or not; -1 when it states none.
double HeaderSeconds(const AudioHeader& header);

// The command that decodes the whole file to measure it.
wxString MeasureCommand(const wxString& path);
// Whole seconds from SoX's statistics, or -1 when the length is missing.
int ParseLength(const wxArrayString& errors);
// The same length with its fraction, or -1.
double ParseSeconds(const wxArrayString& errors);

// The samples (all channels) and the largest absolute sample (0 to 1) of
// SoX's statistics (stat); false when SoX did not report both.
bool ParseSoundStat(const wxArrayString& errors, long long& samples, double& peak);
// The command that prints those statistics of path, after effects.
wxString SoundStatCommand(const wxString& path, const wxString& effects = wxString());

#endif
