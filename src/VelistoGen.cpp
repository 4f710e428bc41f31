// The application object and the program's entry.
#include "VelistoGen.h"

#include "MainFormImp.h"
#include "SoxRunner.h"

#include <wx/cmdline.h>
#include <wx/filename.h>
#include <wx/image.h>
#include <wx/stdpaths.h>

#include <csignal>
#include <cstdio>
#include <cstring>

// The tests link this file too and bring their own application object.
#ifndef VELISTO_NO_ENTRY
wxIMPLEMENT_APP_NO_MAIN(MyApp);

int main(int argc, char** argv) {
    // Answered before the toolkit starts, which fails without a display.
    if (AsksForHelp(argc, argv)) {
        std::fputs(UsageText(argc, argv).utf8_str(), stdout);
        return 0;
    }
    return wxEntry(argc, argv);
}
#endif

void DescribeCommandLine(wxCmdLineParser& parser) {
    parser.AddSwitch("h", "help", "show this help message", wxCMD_LINE_OPTION_HELP);
    parser.AddSwitch("", "verbose", "generate verbose log messages");
    parser.AddUsageText("GTK's own options, such as --display=DISPLAY, are accepted as well.");
}

bool AsksForHelp(int argc, char** argv) {
    for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0)
            return true;
    }
    return false;
}

wxString UsageText(int argc, char** argv) {
    wxCmdLineParser parser(argc, argv);
    DescribeCommandLine(parser);
    return parser.GetUsageString();
}

namespace {

volatile std::sig_atomic_t g_stopRequested = 0;

void NoteStopRequest(int) {
    g_stopRequested = 1;
}

} // namespace

void MyApp::OnInitCmdLine(wxCmdLineParser& parser) {
    DescribeCommandLine(parser);
}

void MyApp::OnAssertFailure(const wxChar* file, int line, const wxChar* func, const wxChar* cond,
                            const wxChar* msg) {
    // A race inside the toolkit, harmless: no dialog for it.
    if (msg && IsWakeUpPipeRace(msg))
        return;
    wxApp::OnAssertFailure(file, line, func, cond, msg);
}

bool MyApp::OnInit() {
    wxInitAllImageHandlers();
    if (!wxApp::OnInit())
        return false;
    // Pictures, SoX and the preset sounds are all reached relative to the
    // folder that holds the bundle, wherever the program was started from.
    EnterBundleFolder(wxStandardPaths::Get().GetExecutablePath());
    CMainFormImp* frame =
        new CMainFormImp(nullptr, wxID_ANY, g_programName + " V" VELISTO_VERSION, wxDefaultPosition,
                         wxSize(810, 590), wxDEFAULT_FRAME_STYLE | wxTAB_TRAVERSAL);
    frame->Show(true);
    // SIGTERM and SIGINT close the windows as the close box does, so a render
    // in progress ends its SoX processes instead of leaving them running. The
    // handler only takes note; the timer acts on it from the event loop,
    // which a run keeps turning while it waits.
    std::signal(SIGTERM, NoteStopRequest);
    std::signal(SIGINT, NoteStopRequest);
    m_signalCheck.Bind(wxEVT_TIMER, [](wxTimerEvent&) {
        if (!g_stopRequested)
            return;
        g_stopRequested = 0;
        for (wxWindow* window : wxTopLevelWindows)
            window->Close(false);
    });
    m_signalCheck.Start(200);
    return true;
}
