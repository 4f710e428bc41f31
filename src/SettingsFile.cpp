// The settings file opened so that saving never harms what stands at its place.
#include "SettingsFile.h"

#include <wx/filename.h>
#include <wx/log.h>

#include <climits>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

wxString ResolvedSettingsPath(const wxString& path) {
    wxString resolved = path;
    // As many links as the system itself follows; a loop ends as a link.
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (lstat(resolved.fn_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            break;
        char target[PATH_MAX];
        const ssize_t length = readlink(resolved.fn_str(), target, sizeof target);
        if (length <= 0 || length == static_cast<ssize_t>(sizeof target))
            break;
        const wxString next(target, *wxConvFileName, static_cast<size_t>(length));
        resolved = next.StartsWith("/") ? next : wxFileName(resolved).GetPathWithSep() + next;
    }
    return resolved;
}

wxString SettingsWriteProblem(const wxString& resolved) {
    const wxString folder = wxFileName(resolved).GetPath();
    const wxString fate = ", so settings will not be saved";
    struct stat st;
    if (lstat(resolved.fn_str(), &st) != 0) {
        // The file is made in its folder, as is the replacement of one that is there.
        if (access(folder.fn_str(), W_OK | X_OK) != 0)
            return resolved + " cannot be created in its folder" + fate;
        return wxString();
    }
    if (S_ISDIR(st.st_mode))
        return resolved + " is a folder, not a file" + fate;
    if (!S_ISREG(st.st_mode))
        return resolved + " is not a regular file" + fate;
    // Root may write any file, but one that no one may write is meant to stay as it is.
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || access(resolved.fn_str(), W_OK) != 0)
        return resolved + " is read-only" + fate;
    // The new content is written beside the file and renamed over it.
    if (access(folder.fn_str(), W_OK | X_OK) != 0)
        return resolved + " cannot be replaced in its folder" + fate;
    return wxString();
}

const wxString g_presetsGroup = "/Presets";

namespace {

using Items = std::vector<std::pair<wxString, wxString>>;

// Adds the groups and entries below group, each path relative to base.
void AddItems(wxConfigBase& config, const wxString& base, const wxString& relative, Items& items) {
    config.SetPath(base + relative);
    wxString name;
    long cookie = 0;
    for (bool more = config.GetFirstEntry(name, cookie); more;
         more = config.GetNextEntry(name, cookie))
        items.emplace_back(relative + name, config.Read(name, wxString()));
    wxArrayString groups;
    for (bool more = config.GetFirstGroup(name, cookie); more;
         more = config.GetNextGroup(name, cookie))
        groups.Add(name);
    for (const wxString& group : groups) {
        items.emplace_back(relative + group + "/", wxString());
        AddItems(config, base, relative + group + "/", items);
    }
}

// Every preset of config, by name.
std::map<wxString, Items> PresetsOf(wxConfigBase& config) {
    std::map<wxString, Items> presets;
    // SetPath would make the group.
    if (!config.HasGroup(g_presetsGroup))
        return presets;
    const wxString oldPath = config.GetPath();
    config.SetPath(g_presetsGroup);
    wxArrayString names;
    wxString name;
    long cookie = 0;
    for (bool more = config.GetFirstGroup(name, cookie); more;
         more = config.GetNextGroup(name, cookie))
        names.Add(name);
    for (const wxString& preset : names)
        AddItems(config, g_presetsGroup + "/" + preset + "/", wxString(), presets[preset]);
    config.SetPath(oldPath);
    return presets;
}

// Folders this program holds locked, by how many SettingsLocks hold each,
// and the descriptor of the lock: flock would make this program's second
// lock of a folder wait for its first.
struct HeldFolder {
    int fd = -1;
    int holders = 0;
};
std::map<wxString, HeldFolder>& HeldFolders() {
    static std::map<wxString, HeldFolder> held;
    return held;
}

} // namespace

SettingsConfig::SettingsConfig(const wxString& path, std::function<void(const wxString&)> report)
    : SettingsConfig(path, std::move(report), SettingsLock(ResolvedSettingsPath(path))) {
}

SettingsConfig::SettingsConfig(const wxString& path, std::function<void(const wxString&)> report,
                               const SettingsLock&)
    : wxFileConfig(wxEmptyString, wxEmptyString, ResolvedSettingsPath(path), wxEmptyString,
                   wxCONFIG_USE_LOCAL_FILE),
      m_path(ResolvedSettingsPath(path)), m_report(std::move(report)) {
    // The base class would write on destruction unchecked.
    DisableAutoSave();
    // A stored "$HOME" in a file name is compared and merged as written.
    SetExpandEnvVars(false);
    m_synced = PresetsOf(*this);
}

SettingsConfig::~SettingsConfig() {
    wxString problem;
    TryFlush(false, problem);
}

bool SettingsConfig::Flush(bool currentOnly) {
    wxString problem;
    if (TryFlush(currentOnly, problem))
        return true;
    if (!m_reported && m_report)
        m_report(problem);
    m_reported = true;
    return false;
}

bool SettingsConfig::TryFlush(bool currentOnly, wxString& problem) {
    // Checked on every write: the file may have changed since the last one.
    problem = SettingsWriteProblem(m_path);
    if (!problem.empty())
        return false;
    // A failure shows as one report of ours, not as the toolkit's messages,
    // which the window would show in a dialog of their own.
    wxLogNull quiet;
    SettingsLock lock(m_path);
    MergeFromFile();
    if (wxFileConfig::Flush(currentOnly)) {
        m_synced = PresetsOf(*this);
        return true;
    }
    problem = m_path + " could not be written, so settings will not be saved";
    return false;
}

void SettingsConfig::MergeFromFile() {
    // Removed by the user meanwhile: starting over is for the next start.
    if (!wxFileName::FileExists(m_path))
        return;
    wxFileConfig file(wxEmptyString, wxEmptyString, m_path, wxEmptyString, wxCONFIG_USE_LOCAL_FILE);
    file.DisableAutoSave();
    file.SetExpandEnvVars(false);
    const std::map<wxString, Items> theirs = PresetsOf(file);
    const std::map<wxString, Items> ours = PresetsOf(*this);
    for (const auto& [name, items] : theirs) {
        const auto synced = m_synced.find(name);
        const auto mine = ours.find(name);
        if (mine == ours.end()) {
            // Not known before: another program added it. Known: we removed it.
            if (synced == m_synced.end())
                PutPreset(name, items);
        } else if (synced != m_synced.end() && mine->second == synced->second &&
                   items != synced->second) {
            PutPreset(name, items);
        }
    }
    for (const auto& [name, items] : ours) {
        const auto synced = m_synced.find(name);
        if (theirs.find(name) == theirs.end() && synced != m_synced.end() &&
            items == synced->second)
            DeleteGroup(g_presetsGroup + "/" + name);
    }
}

void SettingsConfig::PutPreset(const wxString& name, const PresetItems& items) {
    const wxString group = g_presetsGroup + "/" + name;
    const wxString oldPath = GetPath();
    DeleteGroup(group);
    // The group stands even with nothing in it, as the one the file had.
    SetPath(group);
    for (const auto& [path, value] : items) {
        if (path.EndsWith("/"))
            SetPath(group + "/" + path.Left(path.length() - 1));
        else
            Write(group + "/" + path, value);
    }
    SetPath(oldPath);
}

SettingsLock::SettingsLock(const wxString& file) : m_folder(wxFileName(file).GetPath()) {
    HeldFolder& held = HeldFolders()[m_folder];
    if (held.holders++ > 0)
        return;
    held.fd = open(m_folder.fn_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (held.fd >= 0)
        flock(held.fd, LOCK_EX);
}

SettingsLock::~SettingsLock() {
    auto held = HeldFolders().find(m_folder);
    if (--held->second.holders > 0)
        return;
    if (held->second.fd >= 0)
        close(held->second.fd);
    HeldFolders().erase(held);
}
