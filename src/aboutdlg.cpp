// The About dialog.
#include "aboutdlg.h"

#include "AppPaths.h"
#include "SoxHandler.h"
#include "ToolVersions.h"
#include "WebLinks.h"

#include <wx/button.h>
#include <wx/sizer.h>

namespace {

const wxString kSoxPage = "http://sox.sourceforge.net/";
const wxString kLamePage = "https://lame.sourceforge.io/";
const wxString kMadPage = "https://www.underbit.com/products/mad/";
const wxString kWxWidgetsPage = "https://www.wxwidgets.org/";

wxFont RowFont(int points, wxFontWeight weight) {
    return wxFont(points, wxFONTFAMILY_SWISS, wxFONTSTYLE_NORMAL, weight, false, "Arial");
}

} // namespace

AboutDlg::AboutDlg(wxWindow* parent, int id, const wxString& title, const wxPoint& pos,
                   const wxSize& size, long style)
    : wxDialog(parent, id, title, pos, size, style) {
    SetSize(wxSize(431, 736));
    SetSizeHints(wxDefaultSize, wxDefaultSize);

    wxBoxSizer* rows = new wxBoxSizer(wxVERTICAL);
    auto add = [rows](wxWindow* row, int points, wxFontWeight weight, int border) {
        row->SetFont(RowFont(points, weight));
        rows->Add(row, 0, wxALL | wxALIGN_CENTER_HORIZONTAL, border);
    };
    auto text = [this](const wxString& label) {
        wxStaticText* row = new wxStaticText(this, wxID_ANY, label);
        row->Wrap(-1);
        return row;
    };
    auto link = [this](const wxString& label, const wxString& address) {
        return new wxHyperlinkCtrl(this, wxID_ANY, label, address);
    };
    const wxFontWeight bold = wxFONTWEIGHT_BOLD;
    const wxFontWeight normal = wxFONTWEIGHT_NORMAL;

    m_logoButton = new wxBitmapButton(
        this, wxID_ANY, wxBitmap(g_resourceFolder + "logo.png", wxBITMAP_TYPE_ANY),
        wxDefaultPosition, wxDefaultSize, wxBU_AUTODRAW | wxBORDER_NONE);
    rows->Add(m_logoButton, 0, wxEXPAND | wxALL, 5);

    m_productLabel = text(g_programName);
    add(m_productLabel, 9, bold, 5);
    m_versionLabel = text("Version " VELISTO_VERSION);
    add(m_versionLabel, 9, normal, 5);
    // A build without a website has no rows for one.
    const wxString website = PageAddress(WebPage::Home);
    m_websiteCaption = nullptr;
    m_websiteLink = nullptr;
    if (!website.empty()) {
        m_websiteCaption = text("Official Website");
        add(m_websiteCaption, 9, bold, 5);
        m_websiteLink = link(website, website);
        add(m_websiteLink, 9, normal, 0);
    }

    m_developedCaption = text("Developed and designed by");
    add(m_developedCaption, 9, bold, 5);
    m_developerCredit1 = text("Audio engine and interface: the Fenwaro team");
    add(m_developerCredit1, 9, normal, 0);
    m_developerCredit2 = text("Artwork and watermark sounds: the Fenwaro design team");
    add(m_developerCredit2, 9, normal, 0);

    m_thanksCaption = text("Special thanks to :");
    add(m_thanksCaption, 9, bold, 5);
    m_communityLink1 = link("The wxWidgets community", kWxWidgetsPage);
    add(m_communityLink1, 9, normal, 0);
    m_thanksCredit1 = text("Our beta testers, for their patience and reports");
    add(m_thanksCredit1, 9, normal, 0);
    m_communityLink2 = link("The SoX community", kSoxPage);
    add(m_communityLink2, 9, normal, 0);
    m_thanksCredit2 = text("Everyone who reported a problem");
    add(m_thanksCredit2, 9, normal, 0);
    m_thanksCredit3 = text("The musicians who tried the first previews");
    add(m_thanksCredit3, 9, normal, 0);
    m_thanksCredit4 = text("The producers who suggested the watermark presets");
    add(m_thanksCredit4, 9, normal, 0);
    m_thanksCredit5 = text("The reviewers of our tutorials");
    add(m_thanksCredit5, 9, normal, 0);
    m_thanksCredit6 = text("The packagers who bring it to new systems");
    add(m_thanksCredit6, 9, normal, 0);
    m_thanksCredit7 = text("And you, for using it");
    add(m_thanksCredit7, 9, normal, 0);

    m_usingCaption = text(g_programName + " Using :");
    add(m_usingCaption, 9, bold, 5);
    // What is installed, not what the program was built with: SoX and the
    // encoder it loads are the system's.
    const wxString sox = SoxVersion();
    m_soxCaption = text(sox.empty() ? wxString("SoX (not found)") : sox);
    add(m_soxCaption, 9, bold, 5);
    m_soxLink = link(kSoxPage, kSoxPage);
    add(m_soxLink, 9, normal, 5);
    m_lameCaption = text("LAME");
    add(m_lameCaption, 9, bold, 0);
    m_lameLink = link(kLamePage, kLamePage);
    add(m_lameLink, 9, normal, 0);
    const wxString lame = LameVersion();
    m_lameNotice = text(lame.empty() ? wxString("LAME not found: SoX needs it to write MP3")
                                     : "LAME " + lame + ", the MP3 encoder SoX uses");
    add(m_lameNotice, 9, normal, 5);
    m_madCaption = text("libmad - MPEG audio decoder library");
    add(m_madCaption, 9, bold, 5);
    m_madLink = link(kMadPage, kMadPage);
    add(m_madLink, 9, normal, 0);
    m_madNotice = text("Copyright (C) 2000-2004 Underbit Technologies, Inc.");
    add(m_madNotice, 9, normal, 0);

    m_rightsNotice = text("Copyright (c) 2026 Fenwaro. All rights reserved.");
    add(m_rightsNotice, 8, bold, 5);
    const wxString support = PageAddress(WebPage::Support);
    m_supportContact =
        text(!g_websiteBase.empty() ? "Support: " + support
             : !support.empty()     ? wxString("Support: Help > Support opens the manual")
                                    : wxString("Support: see the manual"));
    add(m_supportContact, 8, bold, 0);

    // Closes with its button or Escape, not only with the window's close box.
    wxButton* close = new wxButton(this, wxID_CLOSE, "Close");
    rows->Add(close, 0, wxALL | wxALIGN_CENTER_HORIZONTAL, 5);
    SetEscapeId(wxID_CLOSE);
    close->SetDefault();

    SetSizer(rows);
    Layout();
    Centre(wxBOTH);

    // Every link opens through the program's one opener, as the menu's do.
    Bind(wxEVT_HYPERLINK, [](wxHyperlinkEvent& event) { OpenWebPage(event.GetURL()); });
}
