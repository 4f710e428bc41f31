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

SettingsConfig::SettingsConfig(const wxString& path, std::function<void(const wxString&)> report)
    : wxFileConfig(wxEmptyString, wxEmptyString, ResolvedSettingsPath(path), wxEmptyString,
                   wxCONFIG_USE_LOCAL_FILE),
      m_path(ResolvedSettingsPath(path)), m_report(std::move(report)) {
    // The base class would write on destruction unchecked.
    DisableAutoSave();
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
    if (wxFileConfig::Flush(currentOnly))
        return true;
    problem = m_path + " could not be written, so settings will not be saved";
    return false;
}

SettingsLock::SettingsLock(const wxString& file)
    : m_fd(open(wxFileName(file).GetPath().fn_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
    if (m_fd >= 0)
        flock(m_fd, LOCK_EX);
}

SettingsLock::~SettingsLock() {
    if (m_fd >= 0)
        close(m_fd);
}
