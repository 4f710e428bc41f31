// The settings file opened so that saving never harms what stands at its place.
#ifndef SETTINGSFILE_H
#define SETTINGSFILE_H

#include <wx/fileconf.h>
#include <wx/string.h>

#include <functional>
#include <map>
#include <utility>
#include <vector>

// The file path names once its symbolic links are followed to the last one,
// even when that one leads to nothing yet; path itself when it is no link.
wxString ResolvedSettingsPath(const wxString& path);

// Why the settings file at the resolved path cannot be created or replaced,
// ending "so settings will not be saved"; empty when it can.
wxString SettingsWriteProblem(const wxString& resolved);

// Holds the folder of the settings file locked while it lives. Jobs that
// GNU parallel starts together each read the file and may add the shipped
// presets to it; the toolkit replaces the file by removing it first, so a
// job reading meanwhile would find no file and no preset. A lock taken
// while this program already holds the folder's (from the main thread) adds
// nothing and waits for nothing.
class SettingsLock {
public:
    explicit SettingsLock(const wxString& file);
    ~SettingsLock();
    SettingsLock(const SettingsLock&) = delete;
    SettingsLock& operator=(const SettingsLock&) = delete;

private:
    wxString m_folder;
};

// The group whose subgroups are the presets, merged one by one on Flush.
extern const wxString g_presetsGroup;

// The presets' configuration over the settings file at path: it reads and
// writes the file a symbolic link leads to, so the link stays, and writes only
// when SettingsWriteProblem finds nothing, so a read-only file or a folder is
// left as it is and no temporary file is left beside it. The first change
// that cannot be saved is reported once, through report; the toolkit's own
// messages about it are kept quiet. The file is read and written under its
// SettingsLock.
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
    // Writes this object's presets merged with the file's as it is now: a
    // preset another program added, changed or removed since this object
    // last read or wrote the file is taken as it is there, unless this
    // object changed or removed it too; then this object's version stands.
    // A file removed meanwhile gets this object's presets alone. False when
    // nothing was written: the file may not be written or writing failed.
    bool Flush(bool currentOnly = false) override;

private:
    // A preset's groups and entries, each path below the preset's group
    // with its value; a group's path ends in "/".
    using PresetItems = std::vector<std::pair<wxString, wxString>>;

    SettingsConfig(const wxString& path, std::function<void(const wxString&)> report,
                   const SettingsLock& reading);
    // Writes unless the file may not be written; why not in problem.
    bool TryFlush(bool currentOnly, wxString& problem);
    // Takes into this object what other programs did to the file's presets.
    void MergeFromFile();
    void PutPreset(const wxString& name, const PresetItems& items);

    wxString m_path;
    std::function<void(const wxString&)> m_report;
    bool m_reported = false;
    // The presets as this object last read or wrote them.
    std::map<wxString, PresetItems> m_synced;
};

#endif
