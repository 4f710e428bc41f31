#ifndef APPPATHS_H
#define APPPATHS_H

#include <wx/string.h>

// Where the programs find their bundle and their settings. No window code:
// the window program and the console program both use it.

// Makes the folder that holds Velisto.app the working directory, found from
// the executable's own path: .../Velisto.app/Contents/MacOS/PROGRAM in the
// build tree, PREFIX/bin/PROGRAM with PREFIX/share/velisto/Velisto.app when
// installed. False, leaving the working directory alone, when neither fits.
bool EnterBundleFolder(const wxString& executablePath);

// Absolute path of the shipped watermark sounds, once the working directory
// is the bundle's folder.
wxString ShippedPresetsFolder();

// The settings file both programs keep their presets in (~/.velisto).
wxString SettingsFilePath();

#endif
