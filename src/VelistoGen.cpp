#include "VelistoGen.h"

#include "MainFormImp.h"

#include <wx/filename.h>
#include <wx/image.h>
#include <wx/stdpaths.h>

#include <csignal>

// The tests link this file too and bring their own application object.
#ifndef VELISTO_NO_ENTRY
wxIMPLEMENT_APP(MyApp);
#endif

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

namespace {

// SIGTERM and SIGINT close the windows as the close box does, so a render in
// progress ends its SoX processes instead of leaving them running.
void CloseOnSignal(int) {
    for (wxWindow* window : wxTopLevelWindows)
        window->Close(false);
}

} // namespace

bool MyApp::OnInit() {
    wxInitAllImageHandlers();
    if (!wxApp::OnInit())
        return false;
    // Pictures, SoX and the preset sounds are all reached relative to the
    // folder that holds the bundle, wherever the program was started from.
    EnterBundleFolder(wxStandardPaths::Get().GetExecutablePath());
    CMainFormImp* frame = new CMainFormImp(
        nullptr, wxID_ANY, "Fenwaro Watermark Generator V" VELISTO_VERSION, wxDefaultPosition,
        wxSize(810, 590), wxDEFAULT_FRAME_STYLE | wxTAB_TRAVERSAL);
    frame->Show(true);
    SetSignalHandler(SIGTERM, CloseOnSignal);
    SetSignalHandler(SIGINT, CloseOnSignal);
    return true;
}
