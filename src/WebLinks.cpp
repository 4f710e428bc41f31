// The web pages and the manual that the menu and the About dialog open.
#include "WebLinks.h"

#include "SoxRunner.h"

#include <wx/filefn.h>
#include <wx/filename.h>
#include <wx/utils.h>

#include <iterator>

namespace {

wxString WithoutTrailingSlash(wxString address) {
    while (address.EndsWith("/"))
        address.RemoveLast();
    return address;
}

} // namespace

wxString g_websiteBase = WithoutTrailingSlash(VELISTO_WEB_ADDRESS);

std::function<void(const wxString&)> g_webPageOpener;

wxString ManualPath() {
    // Relative to the bundle's folder, the working directory: installed, that
    // is PREFIX/share/velisto, beside PREFIX/share/doc/velisto.
    for (const wxString& path :
         {g_resourceFolder + "doc/manual.html", wxString("../doc/velisto/manual.html")}) {
        if (wxFileExists(path)) {
            wxFileName manual(path);
            manual.MakeAbsolute();
            return manual.GetFullPath();
        }
    }
    return wxString();
}

wxString PageAddress(WebPage page) {
    // The paths are the website's own; the last three are the maker's pages.
    static const char* const kPaths[] = {
        "/",        "/versionupdate_v1_01", "/tutorials",       "/contact/",          "/faq",
        "/support", "/fenwaro/facebook",    "/fenwaro/twitter", "/fenwaro/googleplus"};
    static_assert(std::size(kPaths) == static_cast<size_t>(WebPage::GooglePlus) + 1);
    if (!g_websiteBase.empty())
        return g_websiteBase + kPaths[static_cast<int>(page)];
    // The manual tells how to use the program and what to do when it fails;
    // updates, feedback and the social pages need the web.
    if (page != WebPage::Tutorial && page != WebPage::Faq && page != WebPage::Support)
        return wxString();
    const wxString manual = ManualPath();
    return manual.empty() ? wxString() : wxFileName::FileNameToURL(wxFileName(manual));
}

void OpenWebPage(const wxString& address) {
    if (g_webPageOpener) {
        g_webPageOpener(address);
        return;
    }
    wxLaunchDefaultBrowser(address, 0);
}

void OpenPage(WebPage page) {
    const wxString address = PageAddress(page);
    if (!address.empty())
        OpenWebPage(address);
}
