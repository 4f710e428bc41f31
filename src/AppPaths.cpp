// Where the programs find their bundle, their settings and private temporary folders.
#include "AppPaths.h"

#include "SoxHandler.h"

#include <wx/fileconf.h>
#include <wx/filefn.h>
#include <wx/filename.h>

#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <ctime>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

bool EnterBundleFolder(const wxString& executablePath) {
    wxFileName exe(executablePath);
    exe.MakeAbsolute();
    const wxArrayString dirs = exe.GetDirs();
    const size_t n = dirs.size();
    wxFileName folder(exe);
    if (n >= 3 && dirs[n - 3] == "Velisto.app" && dirs[n - 2] == "Contents" &&
        dirs[n - 1] == "MacOS") {
        for (int i = 0; i < 3; ++i)
            folder.RemoveLastDir();
    } else {
        // Installed: the program in PREFIX/bin, its bundle in PREFIX/share/velisto.
        if (n == 0)
            return false;
        folder.RemoveLastDir();
        folder.AppendDir("share");
        folder.AppendDir("velisto");
        if (!wxDirExists(folder.GetPathWithSep() + "Velisto.app"))
            return false;
    }
    return wxSetWorkingDirectory(folder.GetPath());
}

wxString ShippedPresetsFolder() {
    return wxFileName(wxGetCwd() + "/" + g_resourceFolder + "Presets", "").GetPath();
}

wxString SettingsFilePath() {
    return wxFileConfig::GetLocalFileName("velisto");
}

namespace {

// Holds a lock on the folder while it is in use; -1 when it cannot.
int LockFolder(const char* path, int how) {
    const int fd = open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0 && flock(fd, how) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// Removes the folders of prefix that nobody holds: left by a program that
// was killed or crashed, with whatever it had written (a merge's parts).
void RemoveAbandoned(const wxString& temp, const wxString& prefix) {
    DIR* dir = opendir(temp.fn_str());
    if (!dir)
        return;
    const std::string start = std::string(prefix.fn_str()) + "-";
    wxArrayString abandoned;
    while (const dirent* entry = readdir(dir)) {
        if (std::strncmp(entry->d_name, start.c_str(), start.size()) != 0)
            continue;
        const std::string path = std::string(temp.fn_str()) + "/" + entry->d_name;
        // One just made may not be locked yet.
        struct stat st;
        if (stat(path.c_str(), &st) != 0 || st.st_mtime > time(nullptr) - 60)
            continue;
        const int fd = LockFolder(path.c_str(), LOCK_EX | LOCK_NB);
        if (fd >= 0) {
            abandoned.Add(wxString(path.c_str(), *wxConvFileName));
            close(fd);
        }
    }
    closedir(dir);
    for (const wxString& path : abandoned)
        wxFileName::Rmdir(path, wxPATH_RMDIR_RECURSIVE);
}

} // namespace

TempFolder::TempFolder(const wxString& prefix) {
    const wxString temp = wxFileName::GetTempDir();
    RemoveAbandoned(temp, prefix);
    wxCharBuffer pattern = (temp + "/" + prefix + "-XXXXXX").fn_str();
    if (!mkdtemp(pattern.data()))
        return;
    m_lock = LockFolder(pattern.data(), LOCK_EX);
    m_path = wxString(pattern.data(), *wxConvFileName);
}

TempFolder::~TempFolder() {
    if (!m_path.empty())
        wxFileName::Rmdir(m_path, wxPATH_RMDIR_RECURSIVE);
    if (m_lock >= 0)
        close(m_lock);
}
