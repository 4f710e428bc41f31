// The menu bar and the dialogs: Quit, About and the web pages, and the
// results dialog's lines and folder button.
#include "testutil.h"

#include "WebLinks.h"
#include "aboutdlg.h"

#include <wx/app.h>
#include <wx/hyperlink.h>
#include <wx/weakref.h>

#include <fstream>

namespace {

// The About dialog the menu opens: over the main window, each link clicked
// (noted in *clicked).
Answer<AboutDlg> AboutExpect(wxArrayString* clicked) {
    return Answer<AboutDlg>([clicked](AboutDlg* dialog) {
        EXPECT_NE(nullptr, dynamic_cast<CMainFormImp*>(dialog->GetParent()));
        for (wxWindow* row : dialog->GetChildren()) {
            if (auto* link = dynamic_cast<wxHyperlinkCtrl*>(row)) {
                wxHyperlinkEvent click(link, link->GetId(), link->GetURL());
                link->GetEventHandler()->ProcessEvent(click);
                clicked->Add(link->GetURL());
            }
        }
        // It closes with its own button and with Escape.
        EXPECT_NE(nullptr, dynamic_cast<wxButton*>(dialog->FindWindow(wxID_CLOSE)));
        EXPECT_EQ(wxID_CLOSE, dialog->GetEscapeId());
        return wxID_CANCEL;
    });
}

class Menu : public BundleTest {};

TEST_F(Menu, WebItemsAndTheAboutLinksOpenTheirPagesThroughTheOneOpener) {
    MainWindow w;
    wxArrayString opened, clicked;
    g_webPageOpener = [&](const wxString& address) { opened.Add(address); };
    EXPECT_TRUE(w->ProcessCommand(w->GetMenuBar()->FindMenuItem("&Info", "Visit Website")));
    EXPECT_EQ(Strings({"https://www.example.com/"}), opened);
    opened.Clear();
    wxTEST_DIALOG(EXPECT_TRUE(w->ProcessCommand(wxID_ABOUT)), AboutExpect(&clicked));
    g_webPageOpener = nullptr;
    EXPECT_GT(clicked.size(), 1u);
    EXPECT_EQ(clicked, opened);
}

TEST_F(Menu, QuitAsksTheWindowToCloseLikeItsCloseBox) {
    wxWeakRef<CMainFormImp> window = NewMainWindow();
    // A close handler may still refuse: the request is not forced.
    auto refuse = [](wxCloseEvent& event) { event.Veto(); };
    window->Bind(wxEVT_CLOSE_WINDOW, refuse);
    EXPECT_TRUE(window->ProcessCommand(ID_QUIT_MENU));
    wxTheApp->ProcessIdle();
    ASSERT_TRUE(window);
    window->Unbind(wxEVT_CLOSE_WINDOW, refuse);
    EXPECT_TRUE(window->ProcessCommand(ID_QUIT_MENU));
    // A closed frame is deleted once the pending work is done.
    wxTheApp->ProcessPendingEvents();
    wxTheApp->ProcessIdle();
    EXPECT_FALSE(window);
}

TEST(ResultsDialog, ListsTheLastLineFirstAndOpensTheFolderAsItIs) {
    wxArrayString folders;
    const auto saved = ProcessCompleteImp::s_openFolder;
    ProcessCompleteImp::s_openFolder = [&](const wxString& folder) { folders.Add(folder); };
    {
        ProcessCompleteImp dialog(Strings({"first", "second", "third"}), "/home/me/My Music/out 2",
                                  nullptr, wxID_ANY, "Process Completed", wxDefaultPosition,
                                  wxDefaultSize, wxDEFAULT_FRAME_STYLE);
        ResultsProbe p{dialog};
        EXPECT_EQ(Strings({"third", "second", "first"}), p.lines());
        // The folder button leaves the dialog open; Close closes it.
        dialog.Show();
        Click(p.goToFolder());
        EXPECT_TRUE(dialog.IsShown());
        Click(p.close());
        EXPECT_FALSE(dialog.IsShown());
    }
    ProcessCompleteImp::s_openFolder = saved;
    EXPECT_EQ(Strings({"/home/me/My Music/out 2"}), folders);
    wxTheApp->ProcessPendingEvents();

    // The desktop's opener, found on PATH, is given the folder as one argument.
    TempDir dir;
    const std::string folder = dir / "My Music/out 2", opener = dir / "xdg-open";
    std::ofstream(opener)
        << "#!/bin/sh\nprintf '%s|' \"$#\" \"$@\" > \"$0.part\" && mv \"$0.part\" "
        << ShellQuote(dir / "opened") << "\n";
    ASSERT_EQ(0, Shell("mkdir -p " + ShellQuote(folder) + " && chmod +x " + ShellQuote(opener)));
    wxString path;
    wxGetEnv("PATH", &path);
    wxSetEnv("PATH", Wx(dir.path()) + ":" + path);
    ProcessCompleteImp::s_openFolder(Wx(folder));
    const bool ran = WaitUntil([&] { return wxFileExists(Wx(dir / "opened")); }, 10000);
    wxSetEnv("PATH", path);
    ASSERT_TRUE(ran);
    EXPECT_EQ("1|" + folder + "|", Contents(dir / "opened"));
}

} // namespace
