// The menu bar and the dialogs: Quit, About and the web pages, and the
// results dialog's lines and folder button.
#include "testutil.h"

#include "WebLinks.h"
#include "aboutdlg.h"

#include <wx/app.h>
#include <wx/filename.h>
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

// Each case sets the website the build would have set, and hooks the opener.
class Menu : public BundleTest {
protected:
    void SetUp() override {
        BundleTest::SetUp();
        m_website = g_websiteBase;
        g_webPageOpener = [this](const wxString& address) { opened.Add(address); };
    }
    void TearDown() override {
        g_webPageOpener = nullptr;
        g_websiteBase = m_website;
        BundleTest::TearDown();
    }
    // Chooses the item of the menu as a user does; false when it is disabled.
    static bool ChooseItem(CMainFormImp* window, const wxString& menu, const wxString& item) {
        const int id = window->GetMenuBar()->FindMenuItem(menu, item);
        EXPECT_NE(wxNOT_FOUND, id) << item;
        const bool enabled = window->GetMenuBar()->IsEnabled(id);
        EXPECT_TRUE(window->ProcessCommand(id)) << item;
        return enabled;
    }

    wxArrayString opened;

private:
    wxString m_website;
};

const char* const kHelpItems[] = {"Check For Updates", "Tutorial", "Feedback", "FAQ",
                                  "Support",           "Facebook", "Twitter",  "Google+"};

TEST_F(Menu, WithAWebsiteEveryItemAndTheAboutLinksOpenTheirPagesThroughTheOneOpener) {
    g_websiteBase = "https://velisto.test";
    MainWindow w;
    EXPECT_TRUE(ChooseItem(w.get(), "&Info", "Visit Website"));
    for (const char* item : kHelpItems)
        EXPECT_TRUE(ChooseItem(w.get(), "Help", item));
    EXPECT_EQ(
        Strings({"https://velisto.test/", "https://velisto.test/versionupdate_v1_01",
                 "https://velisto.test/tutorials", "https://velisto.test/contact/",
                 "https://velisto.test/faq", "https://velisto.test/support",
                 "https://velisto.test/fenwaro/facebook", "https://velisto.test/fenwaro/twitter",
                 "https://velisto.test/fenwaro/googleplus"}),
        opened);
    opened.Clear();
    wxArrayString clicked;
    wxTEST_DIALOG(EXPECT_TRUE(w->ProcessCommand(wxID_ABOUT)), AboutExpect(&clicked));
    EXPECT_EQ(clicked, opened);
    EXPECT_NE(wxNOT_FOUND, clicked.Index("https://velisto.test/"));
}

// Without a website, the questions the manual answers open it; the items
// that only the web could answer are shown disabled and do nothing.
TEST_F(Menu, WithoutAWebsiteTutorialFaqAndSupportOpenTheManual) {
    g_websiteBase.clear();
    const wxString manual = Wx(Work("Velisto.app/Contents/Resources/doc/manual.html"));
    ASSERT_TRUE(wxFileExists(manual));
    {
        MainWindow w;
        EXPECT_FALSE(ChooseItem(w.get(), "&Info", "Visit Website"));
        for (const char* item : kHelpItems) {
            const bool manualItem = wxString(item).IsSameAs("Tutorial") ||
                                    wxString(item).IsSameAs("FAQ") ||
                                    wxString(item).IsSameAs("Support");
            EXPECT_EQ(manualItem, ChooseItem(w.get(), "Help", item)) << item;
        }
    }
    const wxString url = wxFileName::FileNameToURL(wxFileName(manual));
    EXPECT_EQ(Strings({url, url, url}), opened);
    EXPECT_TRUE(url.StartsWith("file:///")) << url;
    // The page the README made, with its picture beside it.
    const std::string page = Contents(Work("Velisto.app/Contents/Resources/doc/manual.html"));
    EXPECT_NE(std::string::npos, page.find("<title>" + g_programName.utf8_string() + "</title>"));
    EXPECT_NE(std::string::npos, page.find("<h2>From a terminal: velisto-batch</h2>"));
    EXPECT_NE(std::string::npos, page.find("<img src=\"main-window.png\""));
    EXPECT_TRUE(wxFileExists(Wx(Work("Velisto.app/Contents/Resources/doc/main-window.png"))));

    // Installed, it is with the package's documents, beside the bundle's folder.
    MakeFolders({"usr/share/velisto/Velisto.app", "usr/share/doc/velisto"});
    ASSERT_EQ(0, Shell("touch " + ShellQuote(Work("usr/share/doc/velisto/manual.html"))));
    ASSERT_TRUE(wxSetWorkingDirectory(Wx(Work("usr/share/velisto"))));
    EXPECT_EQ(Wx(Work("usr/share/doc/velisto/manual.html")), ManualPath());
    opened.Clear();
    OpenPage(WebPage::Faq);
    EXPECT_EQ(Strings({wxFileName::FileNameToURL(
                  wxFileName(Wx(Work("usr/share/doc/velisto/manual.html"))))}),
              opened);
    // With no manual either, nothing opens.
    ASSERT_TRUE(wxSetWorkingDirectory(Wx(Work("in"))));
    EXPECT_EQ("", ManualPath());
    OpenPage(WebPage::Support);
    EXPECT_EQ(1u, opened.size());
}

// The About page names what is installed: the SoX that runs, the LAME
// library it loads, and no made-up address.
TEST_F(Menu, TheAboutPageNamesTheSoxAndLameFoundAndNoPlaceholderAddress) {
    std::string soxSays, lamePackage;
    ASSERT_EQ(0, Shell("Velisto.app/Contents/Resources/sox --version", &soxSays));
    const size_t at = soxSays.find("SoX v");
    ASSERT_NE(std::string::npos, at) << soxSays;
    const std::string soxVersion = soxSays.substr(at, soxSays.find('\n', at) - at);
    ASSERT_EQ(0, Shell("dpkg-query -W -f '${Version}' libmp3lame0", &lamePackage));
    const std::string lameVersion = lamePackage.substr(0, lamePackage.find('-'));

    for (const wxString website : {"", "https://velisto.test"}) {
        SCOPED_TRACE(website);
        g_websiteBase = website;
        AboutDlg dialog(nullptr, wxID_ANY, "About", wxDefaultPosition, wxSize(431, 691),
                        wxDEFAULT_FRAME_STYLE | wxTAB_TRAVERSAL);
        EXPECT_EQ(wxSize(431, 736), dialog.GetSize());
        wxString texts;
        for (wxWindow* row : dialog.GetChildren()) {
            texts += row->GetLabel() + "\n";
            if (auto* link = dynamic_cast<wxHyperlinkCtrl*>(row))
                texts += link->GetURL() + "\n";
        }
        EXPECT_FALSE(texts.Contains("example.com")) << texts;
        EXPECT_FALSE(texts.Contains("3.99.5")) << texts;
        EXPECT_TRUE(texts.Contains("\n" + Wx(soxVersion) + "\n")) << texts;
        EXPECT_TRUE(texts.Contains("LAME " + Wx(lameVersion) + ",")) << texts;
        EXPECT_EQ(website.empty(), !texts.Contains("Official Website")) << texts;
        if (!website.empty()) {
            EXPECT_TRUE(texts.Contains("\nhttps://velisto.test/\n")) << texts;
        }
    }
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

TEST(ResultsDialog, ListsTheLastTrackFirstWithItsLinesTogetherAndOpensTheFolderAsItIs) {
    wxArrayString folders;
    const auto saved = ProcessCompleteImp::s_openFolder;
    ProcessCompleteImp::s_openFolder = [&](const wxString& folder) { folders.Add(folder); };
    {
        ProcessCompleteImp dialog(
            Strings({"a.wav: Process completed successfully", "a.wav: 12 samples clipped.",
                     "b.wav: Process completed successfully", "c.wav: Not processed: no.",
                     "Cancelled: 1 of 3 tracks not rendered."}),
            "/home/me/My Music/out 2", nullptr, wxID_ANY, "Process Completed", wxDefaultPosition,
            wxDefaultSize, wxDEFAULT_FRAME_STYLE);
        ResultsProbe p{dialog};
        EXPECT_EQ(Strings({"Cancelled: 1 of 3 tracks not rendered.", "c.wav: Not processed: no.",
                           "b.wav: Process completed successfully",
                           "a.wav: Process completed successfully", "a.wav: 12 samples clipped."}),
                  p.lines());
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
