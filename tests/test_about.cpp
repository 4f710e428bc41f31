// The About dialog: its size, its rows in order, their fonts and links, and a
// layout in which every row can be read.
#include "testutil.h"

#include "WebLinks.h"
#include "aboutdlg.h"

#include <wx/hyperlink.h>

namespace {

class About : public BundleTest {};

struct Row {
    const char* kind; // "logo", "text" or "link"
    const char* text; // exact label, or nullptr where the wording is ours to choose
    const char* url;  // link target, or nullptr
    int points;
    bool bold;
};

// Rows 1 to 29, top to bottom.
const Row kRows[] = {
    {"logo", nullptr, nullptr, 0, false},
    {"text", "Orvel Watermark Generator", nullptr, 9, true},
    {"text", "Version 1.01", nullptr, 9, false},
    {"text", "Official Website", nullptr, 9, true},
    {"link", "https://www.example.com/", "https://www.example.com/", 9, false},
    {"text", "Developed and designed by", nullptr, 9, true},
    {"text", nullptr, nullptr, 9, false},
    {"text", nullptr, nullptr, 9, false},
    {"text", "Special thanks to :", nullptr, 9, true},
    {"link", nullptr, nullptr, 9, false},
    {"text", nullptr, nullptr, 9, false},
    {"link", nullptr, nullptr, 9, false},
    {"text", nullptr, nullptr, 9, false},
    {"text", nullptr, nullptr, 9, false},
    {"text", nullptr, nullptr, 9, false},
    {"text", nullptr, nullptr, 9, false},
    {"text", nullptr, nullptr, 9, false},
    {"text", nullptr, nullptr, 9, false},
    {"text", "Orvel watermark Generator Using :", nullptr, 9, true},
    {"text", "SOX", nullptr, 9, true},
    {"link", "http://sox.sourceforge.net/", "http://sox.sourceforge.net/", 9, false},
    {"text", "LAME", nullptr, 9, true},
    {"link", "https://lame.sourceforge.io/", "https://lame.sourceforge.io/", 9, false},
    {"text", nullptr, nullptr, 9, false},
    {"text", "libmad - MPEG audio decoder library", nullptr, 9, true},
    {"link", "https://www.underbit.com/products/mad/", "https://www.underbit.com/products/mad/", 9,
     false},
    {"text", "Copyright (C) 2000-2004 Underbit Technologies, Inc.", nullptr, 9, false},
    {"text", nullptr, nullptr, 8, true},
    {"text", nullptr, nullptr, 8, true},
};

std::vector<wxWindow*> RowsOf(wxDialog& dialog) {
    std::vector<wxWindow*> rows;
    for (wxSizerItem* item : dialog.GetSizer()->GetChildren())
        rows.push_back(item->GetWindow());
    return rows;
}

TEST_F(About, OpensAt431By736WithNoSizeLimits) {
    MainWindow w;
    AboutDlg dialog(w.get(), wxID_ANY, "About", wxDefaultPosition, wxSize(431, 691),
                    wxDEFAULT_FRAME_STYLE | wxTAB_TRAVERSAL);
    EXPECT_EQ(wxSize(431, 736), dialog.GetSize());
    EXPECT_EQ(wxDefaultSize, dialog.GetMinSize());
    EXPECT_EQ(wxDefaultSize, dialog.GetMaxSize());
    dialog.SetSize(wxSize(300, 300));
    EXPECT_EQ(wxSize(300, 300), dialog.GetSize());
    dialog.SetSize(wxSize(900, 1000));
    EXPECT_EQ(wxSize(900, 1000), dialog.GetSize());
}

TEST_F(About, RowsInOrderWithTheirFontsAndLinks) {
    MainWindow w;
    AboutDlg dialog(w.get(), wxID_ANY, "About", wxDefaultPosition, wxSize(431, 691),
                    wxDEFAULT_FRAME_STYLE | wxTAB_TRAVERSAL);
    const std::vector<wxWindow*> rows = RowsOf(dialog);
    ASSERT_EQ(29u, rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        const Row& want = kRows[i];
        wxWindow* row = rows[i];
        SCOPED_TRACE("row " + std::to_string(i + 1));
        ASSERT_NE(nullptr, row);
        if (std::string(want.kind) == "logo") {
            auto* logo = dynamic_cast<wxBitmapButton*>(row);
            ASSERT_NE(nullptr, logo);
            EXPECT_TRUE(logo->GetBitmapLabel().IsOk());
            continue;
        }
        auto* link = dynamic_cast<wxHyperlinkCtrl*>(row);
        if (std::string(want.kind) == "link") {
            ASSERT_NE(nullptr, link);
            if (want.url) {
                EXPECT_EQ(want.url, link->GetURL());
            }
            EXPECT_TRUE(link->GetURL().StartsWith("http")) << link->GetURL();
        } else {
            EXPECT_NE(nullptr, dynamic_cast<wxStaticText*>(row));
        }
        const wxString label = link ? link->GetLabel() : row->GetLabel();
        if (want.text) {
            EXPECT_EQ(want.text, label);
        }
        EXPECT_FALSE(label.empty());
        const wxFont font = row->GetFont();
        EXPECT_EQ("Arial", font.GetFaceName());
        EXPECT_EQ(want.points, font.GetPointSize());
        EXPECT_EQ(want.bold ? wxFONTWEIGHT_BOLD : wxFONTWEIGHT_NORMAL, font.GetWeight());
        EXPECT_EQ(wxFONTSTYLE_NORMAL, font.GetStyle());
        EXPECT_FALSE(font.GetUnderlined());
    }
    // The product's own link is the website's home page.
    EXPECT_EQ(g_websiteBase + "/", dynamic_cast<wxHyperlinkCtrl*>(rows[4])->GetURL());
    // The tools' notices.
    EXPECT_TRUE(rows[23]->GetLabel().Contains("3.99.5"));
    EXPECT_TRUE(rows[23]->GetLabel().Contains("1998-2014 The LAME Project"));
}

TEST_F(About, EveryRowIsFullyVisibleAndNoneOverlaps) {
    MainWindow w;
    AboutDlg dialog(w.get(), wxID_ANY, "About", wxDefaultPosition, wxSize(431, 691),
                    wxDEFAULT_FRAME_STYLE | wxTAB_TRAVERSAL);
    dialog.Show();
    Pump(100);
    const wxSize client = dialog.GetClientSize();
    int previousBottom = 0;
    for (wxWindow* row : RowsOf(dialog)) {
        const wxRect r = row->GetRect();
        SCOPED_TRACE(row->GetLabel());
        EXPECT_GE(r.GetLeft(), 0);
        EXPECT_LE(r.GetRight(), client.GetWidth());
        EXPECT_LE(r.GetBottom(), client.GetHeight());
        EXPECT_GE(r.GetTop(), previousBottom);
        // Not squeezed below what its text needs.
        EXPECT_GE(r.GetWidth(), row->GetBestSize().GetWidth());
        EXPECT_GE(r.GetHeight(), row->GetBestSize().GetHeight());
        previousBottom = r.GetBottom();
    }

    // The logo is only a picture: clicking it leaves the dialog as it was.
    wxWindow* logo = RowsOf(dialog)[0];
    wxCommandEvent click(wxEVT_BUTTON, logo->GetId());
    click.SetEventObject(logo);
    logo->HandleWindowEvent(click);
    Pump(50);
    EXPECT_TRUE(dialog.IsShown());
    dialog.Hide();
}

} // namespace
