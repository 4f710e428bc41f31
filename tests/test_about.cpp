// The About dialog: its size, its rows in order, their fonts and links, and a
// layout in which every row can be read.
#include "testutil.h"

#include "aboutdlg.h"

#include <wx/hyperlink.h>

#include <cctype>
#include <map>

namespace {

class About : public BundleTest {};

// Rows 1 to 29, top to bottom: the logo (i), a text (t) or a link (l), in
// capitals when bold. The last two are 8-point, the others 9-point.
const char kKinds[] = "iTtTlTttTltlttttttTTlTltTltTT";
// The rows whose words are fixed (1-based); a link's address is its label.
const std::pair<int, const char*> kTexts[] = {
    {2, "Orvel Watermark Generator"},
    {3, "Version 1.01"},
    {4, "Official Website"},
    {5, "https://www.example.com/"},
    {6, "Developed and designed by"},
    {9, "Special thanks to :"},
    {19, "Orvel watermark Generator Using :"},
    {20, "SOX"},
    {21, "http://sox.sourceforge.net/"},
    {22, "LAME"},
    {23, "https://lame.sourceforge.io/"},
    {25, "libmad - MPEG audio decoder library"},
    {26, "https://www.underbit.com/products/mad/"},
    {27, "Copyright (C) 2000-2004 Underbit Technologies, Inc."}};

TEST_F(About, OpensAt431By736WithItsRowsInOrderAndReadable) {
    MainWindow w;
    AboutDlg dialog(w.get(), wxID_ANY, "About", wxDefaultPosition, wxSize(431, 691),
                    wxDEFAULT_FRAME_STYLE | wxTAB_TRAVERSAL);
    EXPECT_EQ(wxSize(431, 736), dialog.GetSize());
    EXPECT_EQ(wxDefaultSize, dialog.GetMinSize());
    EXPECT_EQ(wxDefaultSize, dialog.GetMaxSize());

    std::vector<wxWindow*> rows;
    for (wxSizerItem* item : dialog.GetSizer()->GetChildren())
        rows.push_back(item->GetWindow());
    ASSERT_EQ(29u, rows.size());
    std::map<int, wxString> texts(std::begin(kTexts), std::end(kTexts));
    for (int i = 0; i < 29; ++i) {
        SCOPED_TRACE("row " + std::to_string(i + 1));
        const char kind = kKinds[i];
        wxWindow* row = rows[i];
        ASSERT_NE(nullptr, row);
        if (kind == 'i') {
            auto* logo = dynamic_cast<wxBitmapButton*>(row);
            ASSERT_NE(nullptr, logo);
            EXPECT_TRUE(logo->GetBitmapLabel().IsOk());
            continue;
        }
        auto* link = dynamic_cast<wxHyperlinkCtrl*>(row);
        const wxString label = link ? link->GetLabel() : row->GetLabel();
        if (kind == 'l') {
            ASSERT_NE(nullptr, link);
            EXPECT_TRUE(link->GetURL().StartsWith("http")) << link->GetURL();
            if (texts.count(i + 1)) {
                EXPECT_EQ(texts[i + 1], link->GetURL());
            }
        } else {
            EXPECT_NE(nullptr, dynamic_cast<wxStaticText*>(row));
        }
        EXPECT_FALSE(label.empty());
        if (texts.count(i + 1)) {
            EXPECT_EQ(texts[i + 1], label);
        }
        const wxFont font = row->GetFont();
        EXPECT_EQ("Arial", font.GetFaceName());
        EXPECT_EQ(i < 27 ? 9 : 8, font.GetPointSize());
        EXPECT_EQ(isupper(kind) ? wxFONTWEIGHT_BOLD : wxFONTWEIGHT_NORMAL, font.GetWeight());
        EXPECT_FALSE(font.GetUnderlined() || font.GetStyle() != wxFONTSTYLE_NORMAL);
    }
    // The encoder's notice.
    EXPECT_TRUE(rows[23]->GetLabel().Contains("3.99.5"));
    EXPECT_TRUE(rows[23]->GetLabel().Contains("1998-2014 The LAME Project"));

    // Shown, every row lies inside the dialog, below the one before, unsqueezed.
    dialog.Show();
    Pump(100);
    const wxSize client = dialog.GetClientSize();
    int previousBottom = 0;
    for (wxWindow* row : rows) {
        const wxRect r = row->GetRect();
        SCOPED_TRACE(row->GetLabel());
        EXPECT_GE(r.GetLeft(), 0);
        EXPECT_LE(r.GetRight(), client.GetWidth());
        EXPECT_LE(r.GetBottom(), client.GetHeight());
        EXPECT_GE(r.GetTop(), previousBottom);
        EXPECT_GE(r.GetWidth(), row->GetBestSize().GetWidth());
        EXPECT_GE(r.GetHeight(), row->GetBestSize().GetHeight());
        previousBottom = r.GetBottom();
    }
    dialog.Hide();
}

} // namespace
