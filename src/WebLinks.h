// The web pages the menu and the About dialog open.
#ifndef WEBLINKS_H
#define WEBLINKS_H

#include <wx/string.h>

#include <functional>

// The product's web addresses and the one way to open them, shared by the
// menu bar and the About dialog.

// The product website, without a trailing slash; page paths are appended to it.
inline const wxString g_websiteBase = "https://www.example.com";
// The maker's social-media pages.
inline const wxString g_facebookPage = "https://www.example.com/fenwaro/facebook";
inline const wxString g_twitterPage = "https://www.example.com/fenwaro/twitter";
inline const wxString g_googlePlusPage = "https://www.example.com/fenwaro/googleplus";

// Shows address in the user's default browser. The outcome is not reported:
// a browser that cannot be started leaves the program as it was.
void OpenWebPage(const wxString& address);

// When set, OpenWebPage hands the address to this instead of starting a
// browser; tests use it to see which page would open.
extern std::function<void(const wxString&)> g_webPageOpener;

#endif
