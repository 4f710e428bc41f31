// The menu bar: every item reaches its handler, the links open their pages,
// About shows its dialog and Quit closes the main window.
#include "testutil.h"

#include "aboutdlg.h"

#include <wx/app.h>
#include <wx/weakref.h>

#include <vector>

namespace {

// Records the pages that would open instead of starting a browser.
class RecordedPages {
public:
    RecordedPages() {
        g_webPageOpener = [this](const wxString& address) { pages.push_back(address); };
    }
    ~RecordedPages() { g_webPageOpener = nullptr; }
    std::vector<wxString> pages;
};

// Checks the About dialog that the menu opens over the main window, then closes it.
class AboutExpect : public wxExpectModalBase<AboutDlg, AboutExpect> {
protected:
    int OnInvoked(AboutDlg* dialog) const override {
        EXPECT_NE(nullptr, dynamic_cast<CMainFormImp*>(dialog->GetParent()));
        return wxID_CANCEL;
    }
};

// Chooses a menu item the way a click on it does.
bool Choose(wxFrame* frame, const wxString& menu, const wxString& item) {
    const int id = frame->GetMenuBar()->FindMenuItem(menu, item);
    EXPECT_NE(wxNOT_FOUND, id) << menu << " / " << item;
    return id != wxNOT_FOUND && frame->ProcessCommand(id);
}

class Menu : public BundleTest {};

TEST_F(Menu, EachLinkOpensItsPage) {
    MainWindow w;
    RecordedPages recorded;
    const std::pair<const char*, const char*> links[] = {{"&Info", "Visit Website"},
                                                         {"Help", "Check For Updates"},
                                                         {"Help", "Tutorial"},
                                                         {"Help", "Feedback"},
                                                         {"Help", "FAQ"},
                                                         {"Help", "Support"},
                                                         {"Help", "Facebook"},
                                                         {"Help", "Twitter"},
                                                         {"Help", "Google+"}};
    for (const auto& [menu, item] : links)
        EXPECT_TRUE(Choose(w.get(), menu, item));
    const std::vector<wxString> expected = {"https://www.example.com/",
                                            "https://www.example.com/versionupdate_v1_01",
                                            "https://www.example.com/tutorials",
                                            "https://www.example.com/contact/",
                                            "https://www.example.com/faq",
                                            "https://www.example.com/support",
                                            g_facebookPage,
                                            g_twitterPage,
                                            g_googlePlusPage};
    EXPECT_EQ(expected, recorded.pages);
    EXPECT_TRUE(w->IsShown());
}

TEST_F(Menu, AboutShowsItsDialogOverTheMainWindowEachTime) {
    MainWindow w;
    EXPECT_EQ("About VLWG", w->GetMenuBar()->GetLabel(wxID_ABOUT));
    wxTEST_DIALOG(
        {
            EXPECT_TRUE(w->ProcessCommand(wxID_ABOUT));
            EXPECT_TRUE(w->ProcessCommand(wxID_ABOUT));
        },
        AboutExpect(), AboutExpect());
    // Each lived only while it was shown.
    Pump(50);
    for (wxWindow* child : w->GetChildren())
        EXPECT_EQ(nullptr, dynamic_cast<AboutDlg*>(child));
}

TEST_F(Menu, QuitAsksTheWindowToCloseLikeItsCloseBox) {
    wxWeakRef<CMainFormImp> window = NewMainWindow();
    EXPECT_EQ("&Quit", window->GetMenuBar()->GetLabel(ID_QUIT_MENU));
    // A close handler may still refuse: the request is not forced.
    int requests = 0;
    auto refuse = [&](wxCloseEvent& event) {
        ++requests;
        event.Veto();
    };
    window->Bind(wxEVT_CLOSE_WINDOW, refuse);
    EXPECT_TRUE(window->ProcessCommand(ID_QUIT_MENU));
    wxTheApp->ProcessIdle();
    ASSERT_TRUE(window);
    EXPECT_EQ(1, requests);

    window->Unbind(wxEVT_CLOSE_WINDOW, refuse);
    EXPECT_TRUE(window->ProcessCommand(ID_QUIT_MENU));
    // A closed frame is deleted once the pending work is done.
    wxTheApp->ProcessPendingEvents();
    wxTheApp->ProcessIdle();
    EXPECT_FALSE(window);
    if (window)
        window->Destroy();
}

} // namespace
