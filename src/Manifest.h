// The record a recipients run leaves beside its outputs: whose copy each
// file is and where its watermarks were placed, read back to trace a leak.
#ifndef MANIFEST_H
#define MANIFEST_H

#include <wx/arrstr.h>
#include <wx/string.h>

#include <cstdint>
#include <vector>

// The manifest's name in the output folder.
extern const wxString g_manifestName; // "manifest.json"

// One output of a recipients run.
struct ManifestCopy {
    wxString recipient;
    wxString id;
    wxString track;    // the track it was rendered from, absolute
    wxString output;   // the file written, absolute
    wxString sha256;   // of output as written, lower-case hex
    uint32_t seed = 0; // its placement's seed (the recipient's)
    // Seconds into output where each watermark copy starts, in order, and
    // the sound each plays: an index into Manifest::watermarks, or -1 for
    // the recipient's spoken tag.
    std::vector<double> positions;
    std::vector<int> sounds;
};

struct Manifest {
    uint32_t seed = 0;        // the run's seed
    int vary = 0;             // seconds the copies varied by
    wxArrayString watermarks; // the watermark files, absolute, in list order
    std::vector<ManifestCopy> copies;
};

// Writes the manifest as JSON into path, replacing it in one step: false
// with the reason.
bool WriteManifest(const wxString& path, const Manifest& manifest, wxString& error);
// Reads one back: false with the reason (unreadable, not a manifest).
bool ReadManifest(const wxString& path, Manifest& manifest, wxString& error);

// SHA-256 of a file's bytes as lower-case hex, or empty when it cannot be read.
wxString FileSha256(const wxString& path);

#endif
