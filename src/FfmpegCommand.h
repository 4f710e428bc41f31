// What ffmpeg does for the engine: decoding what SoX reads badly or not at
// all (MP3 without its encoder's delay and padding, M4A, Opus, WMA) into
// SoX's pipe inputs, and encoding what SoX cannot write (MP3 with a gapless
// header, Opus, M4A) from SoX's output.
#ifndef FFMPEGCOMMAND_H
#define FFMPEGCOMMAND_H

#include "AudioHeader.h"
#include "Formats.h"
#include "SoxRunner.h"

#include <wx/arrstr.h>
#include <wx/string.h>

// True when path, by its extension, is decoded by ffmpeg rather than SoX.
bool DecodedByFfmpeg(const wxString& path);
// True when SoX cannot even read path's header: ffprobe does.
bool ProbedByFfmpeg(const wxString& path);
// True when ffmpeg, not SoX, writes files of format.
bool EncodedByFfmpeg(OutputFormat format);

// True when ffmpeg and ffprobe are on the PATH.
bool FfmpegInstalled();
// Why path cannot be read here (ffmpeg would decode it and is missing), as
// a result line's reason; empty when nothing stands in the way.
wxString MissingDecoderReason(const wxString& path);
// Why files of format cannot be written here; empty when they can.
wxString MissingEncoderReason(OutputFormat format);

// The text of a SoX pipe input (unquoted, "| ffmpeg ...") that decodes
// path, for SoX to read as "-t sox". A reader that stops early (a clip's
// end) is no failure; ffmpeg killed half-way is reported as a failed input.
// Given its exact frames (from its header), the decode stops there: ffmpeg
// keeps an M4A's last padded frame, though the file states where it ends.
wxString DecodeInput(const wxString& path, long long frames = -1);

// The command that prints path's stream as ffprobe sees it.
wxString ProbeCommand(const wxString& path);
// Why that command could not tell; empty when it could.
wxString ProbeFailure(const SoxOutput& out);
// A header from what ProbeCommand printed. Its length is exact where the
// container states it to the sample (MP4's edit list), else only stated.
AudioHeader ParseProbe(const wxArrayString& lines);

// soxCommand (a SoX command without its output) run so that its sound goes
// to ffmpeg, which writes output as format at kbits (0: its default).
wxString EncodeCommand(const wxString& soxCommand, OutputFormat format, int kbits,
                       const wxString& output);
// The reason when the encoder of such a command failed, in ffmpeg's words;
// empty when it did not.
wxString EncoderFailure(const wxArrayString& errors);

#endif
