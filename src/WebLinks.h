// The web pages and the manual that the menu and the About dialog open.
#ifndef WEBLINKS_H
#define WEBLINKS_H

#include <wx/string.h>

#include <functional>

// The product's web address, the pages under it, the manual that stands in
// for some of them, and the one way to open them, shared by the menu bar and
// the About dialog.

// The product website as the build set it (VELISTO_WEB_ADDRESS), without a
// trailing slash; empty when the build set none.
extern wxString g_websiteBase;

// The pages the menu offers.
enum class WebPage {
    Home,
    Updates,
    Tutorial,
    Feedback,
    Faq,
    Support,
    Facebook,
    Twitter,
    GooglePlus
};

// The manual made from the README: the bundle's copy when the program runs
// from the build tree, the one installed with the package's documents
// otherwise. An absolute path, or empty when neither is there.
wxString ManualPath();

// Where page is: its address under g_websiteBase; without a website, the
// manual's file address for the pages it answers (tutorial, FAQ, support).
// Empty when the page is nowhere.
wxString PageAddress(WebPage page);

// Shows address in the user's default browser. The outcome is not reported:
// a browser that cannot be started leaves the program as it was.
void OpenWebPage(const wxString& address);
// Opens page's address; does nothing when it has none.
void OpenPage(WebPage page);

// When set, OpenWebPage hands the address to this instead of starting a
// browser; tests use it to see which page would open.
extern std::function<void(const wxString&)> g_webPageOpener;

#endif
