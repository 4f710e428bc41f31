// The settings file opened so that saving never harms what stands at its place.
#ifndef SETTINGSFILE_H
#define SETTINGSFILE_H

#include <wx/fileconf.h>
#include <wx/string.h>

#include <functional>

// The file path names once its symbolic links are followed to the last one,
// even when that one leads to nothing yet; path itself when it is no link.
wxString ResolvedSettingsPath(const wxString& path);

// Why the settings file at the resolved path cannot be created or replaced,
// ending "so settings will not be saved"; empty when it can.
wxString SettingsWriteProblem(const wxString& resolved);

// The presets' configuration over the settings file at path: it reads and
// writes the file a symbolic link leads to, so the link stays, and writes only
// when SettingsWriteProblem finds nothing, so a read-only file or a folder is
// left as it is and no temporary file is left beside it. The first change
// that cannot be saved is reported once, through report; the toolkit's own
// messages about it are kept quiet.
class SettingsConfig : public wxFileConfig {
public:
    explicit SettingsConfig(const wxString& path,
                            std::function<void(const wxString&)> report = nullptr);
    // Saves what is left unsaved, when it may, without reporting.
    ~SettingsConfig() override;
    SettingsConfig(const SettingsConfig&) = delete;
    SettingsConfig& operator=(const SettingsConfig&) = delete;

    // The file read and written.
    const wxString& Path() const { return m_path; }
    // False when nothing was written: the file may not be written or writing failed.
    bool Flush(bool currentOnly = false) override;

private:
    // Writes unless the file may not be written; why not in problem.
    bool TryFlush(bool currentOnly, wxString& problem);

    wxString m_path;
    std::function<void(const wxString&)> m_report;
    bool m_reported = false;
};

// Holds the folder of the settings file locked while it lives. Jobs that
// GNU parallel starts together each read the file and may add the shipped
// presets to it; the toolkit replaces the file by removing it first, so a
// job reading meanwhile would find no file and no preset.
class SettingsLock {
public:
    explicit SettingsLock(const wxString& file);
    ~SettingsLock();
    SettingsLock(const SettingsLock&) = delete;
    SettingsLock& operator=(const SettingsLock&) = delete;

private:
    int m_fd;
};

#endif
