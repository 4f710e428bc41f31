#include "AppPaths.h"

#include "SoxHandler.h"

#include <wx/fileconf.h>
#include <wx/filefn.h>
#include <wx/filename.h>

#include <cstdlib>

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

TempFolder::TempFolder(const wxString& prefix) {
    wxCharBuffer pattern = (wxFileName::GetTempDir() + "/" + prefix + "-XXXXXX").fn_str();
    if (mkdtemp(pattern.data()))
        m_path = wxString(pattern.data(), *wxConvFileName);
}

TempFolder::~TempFolder() {
    if (!m_path.empty())
        wxFileName::Rmdir(m_path, wxPATH_RMDIR_RECURSIVE);
}
