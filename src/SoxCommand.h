// SoX's command lines as text, and what SoX prints back.
#ifndef SOXCOMMAND_H
#define SOXCOMMAND_H

#include "Formats.h"
#include "SoxRunner.h"

#include <wx/arrstr.h>
#include <wx/string.h>

#include <cstddef>
#include <vector>

// The volume factor for a gain in dB, as SoX's -v and vol take it
// ("0.501187" for -6), written with a point whatever the locale.
wxString VolumeFactor(double dB);
// A count of samples as SoX's effects take it ("441000s").
wxString Samples(long long count);

// Quotes a path for a SoX command line. At the top level the result is the
// path in double quotes; inside a pipe input (run by /bin/sh) it is in
// backslash-escaped double quotes. Characters that the command splitter or the
// shell would interpret are escaped, so the path reaches SoX unchanged.
// A path that SoX would take for something other than a file (a leading "-"
// or "|", a URL) is given a leading "./" first.
wxString QuoteSoxPath(const wxString& path, bool insidePipe = false);
// A file to read as SoX takes it, quoted as QuoteSoxPath quotes: the file
// itself, or for what ffmpeg decodes, "-t sox" and a pipe input decoding it
// (up to its exact frames, when given).
wxString QuoteSoxInput(const wxString& path, bool insidePipe = false, long long frames = -1);
// The same as words for /bin/sh, for a pipe input's own SoX.
wxString ShellInput(const wxString& path, long long frames = -1);

// The reason in the first FAIL line of SoX's standard error ("sox FAIL
// formats: can't open ..." gives "can't open ..."), or empty when there is
// none. SoX exits 0 after some failures (a full disk), so this decides.
wxString SoxFailure(const wxArrayString& errors);

// Samples SoX clipped in its own stages, 0 when it clipped none: mixing the
// inputs ("sox WARN sox: mix-combining clipped 120 samples; decrease
// volume?"), scaling an input by its -v, reading and writing. Those stages
// each report a count and mostly clip the same samples again, so the largest
// count is taken, not their sum. Effects (a watermark's resampling in its pipe
// run) are not counted: no watermark level can help there.
long long SoxClippedSamples(const wxArrayString& errors);

// What a run that failed tells the user: SoX's FAIL reason, else a pipe
// input's failure, else its first line that is not a warning, else how it
// ended. Empty for a run that did not fail.
wxString RunFailure(const SoxOutput& out);
// True when a failure's reason is the one SoX gives when it could not write
// and does not know why (a full disk).
bool IsUnexplainedWriteFailure(const wxString& reason);

// The digits at the start of text, after blanks ("16-bit" -> 16); -1 when none.
long long LeadingNumber(const wxString& text);

// Marks a command run by /bin/sh as a pipe input, so that its own failure
// (SoX ignores how its pipe inputs end) is reported on the error stream.
// role says what it was for: "track", "watermark", "join", "decoder" (ffmpeg
// decoding a file) or "render" (SoX writing to ffmpeg).
wxString GuardedInput(const wxString& shellCommand, const wxString& role);
// The shell command that reports such a failure of role with status (a
// shell expression).
wxString FailureReport(const wxString& role, const wxString& status = "$?");
// path as one word for /bin/sh, in double quotes.
wxString ShellWord(const wxString& text);
// path as one argument for wxExecute's splitting, in double quotes.
wxString SplitterWord(const wxString& text);
// path with "./" before a name SoX would take for something else.
wxString PlainFileName(const wxString& path);

// The options that set a format's size or quality from the slider's bitrate,
// each followed by a blank; empty for the formats without one.
wxString CompressionOptions(OutputFormat format, int kbits);
// The sample size to write a lossless format in, when SoX would not keep the
// source's on its own; empty when there is nothing to set.
wxString SampleSizeOption(OutputFormat format, long bits, bool piped);
// SoX copies what comments it can and adds its own; the tags are written
// afterwards, from the track, so its output carries none.
extern const char* const kNoComment;

// A watermark file as the beds use it.
struct BedSound {
    wxString path;
    wxString effects; // converting it to the track's signal, or empty
    long long frames; // its length once converted
};
// Pipe inputs (top-level arguments) that together sound copy k of
// sounds[k mod N] at start + k * interval seconds, k < copies, each
// sample-exact; a bed that would sound past cutAt frames (a clip's end; -1:
// none) is cut there, its last fade frames faded out with the clip's. Given
// gains (dB, one per copy), a bed whose copies differ in gain gives each its
// own in a run after it.
wxArrayString WatermarkBeds(const std::vector<BedSound>& sounds, long rate, int start, int interval,
                            size_t copies, long long cutAt = -1, long long fade = 0,
                            const std::vector<double>* gains = nullptr);
// One pipe input (a top-level argument) that sounds copy k of sounds[k mod N]
// at frame starts[k], sample-exact, for copies at places of their own (in
// order, none starting before the one before it ends); cut, faded and given
// gains as WatermarkBeds does.
wxArrayString PlacedBed(const std::vector<BedSound>& sounds, const std::vector<long long>& starts,
                        long long cutAt = -1, long long fade = 0,
                        const std::vector<double>* gains = nullptr);

#endif
