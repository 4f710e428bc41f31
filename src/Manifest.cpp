// The manifest of a recipients run, written and read back as JSON.
#include "Manifest.h"

const wxString g_manifestName = "manifest.json";

bool WriteManifest(const wxString&, const Manifest&, wxString& error) {
    error = "not written yet";
    return false;
}

bool ReadManifest(const wxString&, Manifest&, wxString& error) {
    error = "not read yet";
    return false;
}

wxString FileSha256(const wxString&) {
    return wxString();
}
