// The menu bar: every item reaches its handler, the links open their pages,
// About shows its dialog and Quit closes the main window.
#include "testutil.h"

#include "WebLinks.h"
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

// Checks the About dialog that the menu opens, then closes it.
class AboutExpect : public wxExpectModalBase<AboutDlg, AboutExpect> {
public:
    AboutExpect(wxWindow* mainWindow, std::vector<AboutDlg*>* opened)
        : m_mainWindow(mainWindow), m_opened(opened) {}

protected:
    int OnInvoked(AboutDlg* dialog) const override {
        EXPECT_EQ("About", dialog->GetTitle());
        EXPECT_EQ(m_mainWindow, dialog->GetParent());
        EXPECT_EQ(wxSize(431, 736), dialog->GetSize());
        EXPECT_TRUE(dialog->HasFlag(wxRESIZE_BORDER));
        m_opened->push_back(dialog);
        return wxID_CANCEL;
    }

private:
    wxWindow* m_mainWindow;
    std::vector<AboutDlg*>* m_opened;
};

// Chooses a menu item the way a click on it does.
bool Choose(wxFrame* frame, const wxString& menu, const wxString& item) {
    const int id = frame->GetMenuBar()->FindMenuItem(menu, item);
    EXPECT_NE(wxNOT_FOUND, id) << menu << " / " << item;
    return id != wxNOT_FOUND && frame->ProcessCommand(id);
}

CMainFormImp* NewMainWindow() {
    auto* window =
        new CMainFormImp(nullptr, wxID_ANY, "Fenwaro Watermark Generator V1.01", wxDefaultPosition,
                         wxSize(810, 590), wxDEFAULT_FRAME_STYLE | wxTAB_TRAVERSAL);
    window->Show(true);
    return window;
}

class Menu : public BundleTest {};

TEST_F(Menu, EachLinkOpensItsPageOncePerChoice) {
    MainWindow w;
    RecordedPages recorded;
    struct Link {
        const char* menu;
        const char* item;
        wxString page;
    };
    const Link links[] = {
        {"&Info", "Visit Website", "https://www.example.com/"},
        {"Help", "Check For Updates", "https://www.example.com/versionupdate_v1_01"},
        {"Help", "Tutorial", "https://www.example.com/tutorials"},
        {"Help", "Feedback", "https://www.example.com/contact/"},
        {"Help", "FAQ", "https://www.example.com/faq"},
        {"Help", "Support", "https://www.example.com/support"},
        {"Help", "Facebook", g_facebookPage},
        {"Help", "Twitter", g_twitterPage},
        {"Help", "Google+", g_googlePlusPage},
    };
    for (const Link& link : links) {
        SCOPED_TRACE(link.item);
        recorded.pages.clear();
        EXPECT_TRUE(Choose(w.get(), link.menu, link.item));
        EXPECT_EQ(std::vector<wxString>{link.page}, recorded.pages);
        // Again: the page opens again.
        EXPECT_TRUE(Choose(w.get(), link.menu, link.item));
        EXPECT_EQ(2u, recorded.pages.size());
    }
    // The three social pages are the maker's own, apart from the website's pages.
    EXPECT_TRUE(g_facebookPage.StartsWith("https://"));
    EXPECT_NE(g_facebookPage, g_twitterPage);
    EXPECT_NE(g_twitterPage, g_googlePlusPage);
    EXPECT_TRUE(w->IsShown());
}

TEST_F(Menu, AboutShowsItsDialogOverTheMainWindowEachTime) {
    MainWindow w;
    RecordedPages recorded;
    EXPECT_EQ("About VLWG", w->GetMenuBar()->GetLabel(wxID_ABOUT));
    std::vector<AboutDlg*> opened;
    wxTEST_DIALOG(
        {
            EXPECT_TRUE(w->ProcessCommand(wxID_ABOUT));
            EXPECT_TRUE(w->ProcessCommand(wxID_ABOUT));
        },
        AboutExpect(w.get(), &opened), AboutExpect(w.get(), &opened));
    EXPECT_EQ(2u, opened.size());
    // Each lived only while it was shown.
    Pump(50);
    for (wxWindow* child : w->GetChildren())
        EXPECT_EQ(nullptr, dynamic_cast<AboutDlg*>(child));
    EXPECT_TRUE(recorded.pages.empty());
}

TEST_F(Menu, QuitAsksTheWindowToCloseLikeItsCloseBox) {
    wxWeakRef<CMainFormImp> window = NewMainWindow();
    EXPECT_EQ("&Quit", window->GetMenuBar()->GetLabel(ID_QUIT_MENU));

    // A close handler may still refuse: the request is not forced.
    int requests = 0;
    auto refuse = [&](wxCloseEvent& event) {
        ++requests;
        EXPECT_TRUE(event.CanVeto());
        event.Veto();
    };
    window->Bind(wxEVT_CLOSE_WINDOW, refuse);
    EXPECT_TRUE(window->ProcessCommand(ID_QUIT_MENU));
    wxTheApp->ProcessIdle();
    ASSERT_TRUE(window);
    EXPECT_EQ(1, requests);
    EXPECT_TRUE(window->IsShown());

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
