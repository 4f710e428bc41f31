// The About dialog.
#ifndef ABOUTDLG_H
#define ABOUTDLG_H

#include <wx/bmpbuttn.h>
#include <wx/dialog.h>
#include <wx/hyperlink.h>
#include <wx/stattext.h>

// The About page: logo, version, links, credits and the versions of SoX and
// LAME found on the system, one row each. No behaviour of its own: the links
// open their pages through OpenWebPage and the window's close box closes it.
class AboutDlg : public wxDialog {
public:
    // Builds every row; the dialog is 431 x 736 whatever size is passed, with
    // no minimum or maximum size.
    AboutDlg(wxWindow* parent, int id, const wxString& title, const wxPoint& pos,
             const wxSize& size, long style);

protected:
    wxBitmapButton* m_logoButton;
    wxStaticText* m_productLabel;
    wxStaticText* m_versionLabel;
    wxStaticText* m_websiteCaption; // null, as the link, without a website
    wxHyperlinkCtrl* m_websiteLink;
    wxStaticText* m_developedCaption;
    wxStaticText* m_developerCredit1;
    wxStaticText* m_developerCredit2;
    wxStaticText* m_thanksCaption;
    wxHyperlinkCtrl* m_communityLink1;
    wxStaticText* m_thanksCredit1;
    wxHyperlinkCtrl* m_communityLink2;
    wxStaticText* m_thanksCredit2;
    wxStaticText* m_thanksCredit3;
    wxStaticText* m_thanksCredit4;
    wxStaticText* m_thanksCredit5;
    wxStaticText* m_thanksCredit6;
    wxStaticText* m_thanksCredit7;
    wxStaticText* m_usingCaption;
    wxStaticText* m_soxCaption;
    wxHyperlinkCtrl* m_soxLink;
    wxStaticText* m_lameCaption;
    wxHyperlinkCtrl* m_lameLink;
    wxStaticText* m_lameNotice;
    wxStaticText* m_madCaption;
    wxHyperlinkCtrl* m_madLink;
    wxStaticText* m_madNotice;
    wxStaticText* m_rightsNotice;
    wxStaticText* m_supportContact;
};

#endif
