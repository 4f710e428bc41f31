// The audio formats the programs read and write: their names, extensions and
// which of them take a bitrate.
#ifndef FORMATS_H
#define FORMATS_H

#include <wx/arrstr.h>
#include <wx/string.h>

enum class OutputFormat { Mp3, Wav, Aiff, Flac, Ogg, Opus, M4a };

// The format's file extension and its name in presets and on the command
// line, in lower case: "mp3", "wav", "aiff", "flac", "ogg", "opus" or "m4a".
wxString FormatExtension(OutputFormat format);
// The format a name stands for (any case); false when none does.
bool FormatNamed(const wxString& name, OutputFormat& format);
// Every format's name, as a list reads: "mp3, wav, aiff, ..., opus or m4a".
wxString FormatNames();
// True for the formats that take the quality slider's bitrate (MP3, Opus,
// M4A's AAC, and Ogg as its nominal bitrate); the lossless ones ignore it.
bool FormatTakesBitrate(OutputFormat format);

// True when a file of that name may be listed as a track or a watermark, by
// its extension (any case): MP3, WAV, AIFF, FLAC, Ogg Vorbis, WavPack, and
// through ffmpeg M4A/MP4 (AAC, ALAC), Opus and WMA.
bool IsAudioFileName(const wxString& path);
// The file dialogs' filter for those files.
wxString AudioFileWildcard();
// A folder's audio files (IsAudioFileName) in name order as a file browser
// shows it (case only breaks ties); hidden ones are left out.
wxArrayString AudioFilesIn(const wxString& folder);

#endif
