// Headers read inside the process, without starting a tool: TagLib for WAV,
// AIFF, FLAC and WavPack, libmpg123 for MP3.
#ifndef HEADERREAD_H
#define HEADERREAD_H

#include "AudioHeader.h"

#include <wx/string.h>

// Reads path's header when it is of a format read here and the file reads
// as one: true with header (frames exact where the file states them to the
// sample: an MP3 where its LAME header states the encoder's delay and
// padding, as the decoder drops them). False leaves the file to the tools,
// which also tell why one cannot be read.
bool ReadHeaderInProcess(const wxString& path, AudioHeader& header);

#endif
