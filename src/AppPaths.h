// Where the programs find their bundle, their settings and private temporary folders.
#ifndef APPPATHS_H
#define APPPATHS_H

#include <wx/string.h>

// Where the programs find their bundle and their settings, and what the
// product is called. No window code: the window program and the console
// program both use it.

// The product's name: the window's title, the caption of its messages and
// the About page show it.
inline const wxString g_programName = "Fenwaro Watermark Generator";

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

// A private folder in the system's temporary folder, named after prefix,
// removed with its contents when the object goes. It is locked while it
// lives; the folders of the same prefix that nobody holds (their program was
// killed) are removed when a new one is made.
class TempFolder {
public:
    explicit TempFolder(const wxString& prefix);
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    // Empty when it could not be made.
    const wxString& Path() const { return m_path; }

private:
    wxString m_path;
    int m_lock = -1;
};

#endif
