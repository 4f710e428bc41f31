// The track and watermark lists: the move pass, and adding, deleting, moving
// and clearing rows in the window, each row owning its path object.
#include "FileListRows.h"
#include "testutil.h"

#include <wx/filename.h>

namespace {

TEST(ListMoves, EachSelectedRowChangesPlaceWithAnUnselectedNeighbour) {
    // Rows K L M N with the selected ones in lower case, up (^) or down (v),
    // and the rows after the move. A run already at the edge stays where it is.
    for (const std::string c : {"KlMn^lKnM", "KlmN^lmKN", "kLmN^kmLN", "klMn^klnM", "kLmNvLkNm",
                                "KlmNvKNlm", "kLMnvLkMn", "klmn^klmn", "kLMN^kLMN", "KLmnvKLmn"}) {
        std::vector<ITEM_DATA> records;
        for (char row : c.substr(0, 4))
            records.push_back(
                {wxString(row).Upper(), "", wxString(row), wxUIntPtr(row), wxIslower(row) != 0});
        (c[4] == '^' ? ExchangeSelectedUp : ExchangeSelectedDown)(records, 4);
        std::string moved;
        for (const ITEM_DATA& record : records) {
            moved += char(record.itemData);
            // Every part of a record moves with it.
            EXPECT_EQ(record.fileLength,
                      record.isSelected ? record.fileName.Lower() : record.fileName);
        }
        EXPECT_EQ(c.substr(5), moved) << c;
    }
}

// Every row's path object names the file its row shows.
void ExpectPathsMatchNames(wxListCtrl* list) {
    for (long row = 0; row < list->GetItemCount(); ++row) {
        EXPECT_EQ(list->GetItemText(row, 1), wxFileName(*RowPath(list, row)).GetFullName())
            << "row " << row;
    }
}

class Lists : public WindowTest {
protected:
    // K, L, M, N lasting 1 to 4 seconds, loud enough for watermarks.
    void SetUp() override {
        WindowTest::SetUp();
        double seconds = 1;
        for (const char* name : {"K.wav", "L.wav", "M.wav", "N.wav"})
            MakeTone(Work(name), seconds++, "sine 440", 8000, 1);
    }
};

TEST_F(Lists, AddedRowsShowNumberNameSizeAndLengthAndOwnTheirPath) {
    MakeSilence(Work("one.wav"), 65.5, 8000, 1);
    Spoil(Work("broken.mp3"), 3000);
    // Missing and undecodable files are skipped, and named with the decoder's reason.
    wxString notice;
    wxTEST_DIALOG(
        {
            w->OnFileListDropFiles(
                Files({"one.wav", "missing.wav", "broken.mp3", "one.wav", "L.wav"}));
            EXPECT_TRUE(Measured(p));
        },
        MessageExpect(&notice));
    EXPECT_TRUE(notice.StartsWith("These files were not added:\n\nmissing.wav: not a file that "
                                  "can be read.\nbroken.mp3: ffmpeg found no sound in it that it "
                                  "can decode."))
        << notice;
    EXPECT_EQ("1,2,3", Column(p.tracks(), 0));
    EXPECT_EQ("one.wav,one.wav,L.wav", Column(p.tracks(), 1));
    const wxULongLong bytes = wxFileName(Work("one.wav")).GetSize();
    EXPECT_EQ((bytes / 1000).ToString() + " KB", p.tracks()->GetItemText(0, 2));
    EXPECT_EQ("01:05,01:05,00:02", Column(p.tracks(), 3));
    // The same file twice: two rows, each with a path object of its own.
    EXPECT_NE(p.tracks()->GetItemData(0), p.tracks()->GetItemData(1));

    // Watermarks are at most four whole seconds, and can be heard.
    MakeTone(Work("four.wav"), 4.99, "sine 440", 8000, 1);
    MakeTone(Work("five.wav"), 5, "sine 440", 8000, 1);
    MakeTone(Work("hush.wav"), 1, "sine 440 vol 0.0005", 8000, 1);
    wxTEST_DIALOG(
        {
            w->OnWatermarkListDropFiles(Files({"four.wav", "five.wav", "hush.wav"}));
            EXPECT_TRUE(Measured(p));
        },
        MessageExpect("Please use watermark files which are maximum of 4 seconds long.\n\n"
                      "These files were not added:\n\nfive.wav: too long (00:05).\n"
                      "hush.wav: silent or nearly silent (its loudest sample is below -60 "
                      "dBFS): choose a watermark sound that can be heard."));
    // Files dropped from the desktop reach the list they were dropped on.
    static_cast<DnDFile*>(p.tracks()->GetDropTarget())->OnDropFiles(0, 0, Files({"five.wav"}));
    static_cast<DnDFile*>(p.watermarks()->GetDropTarget())->OnDropFiles(0, 0, Files({"K.wav"}));
    EXPECT_TRUE(Measured(p));
    EXPECT_EQ("one.wav,one.wav,L.wav,five.wav", Column(p.tracks(), 1));
    EXPECT_EQ("four.wav,K.wav", Column(p.watermarks(), 1));
    ExpectPathsMatchNames(p.tracks());
    ExpectPathsMatchNames(p.watermarks());
}

// Sends the list's key event as the list control does; true when a handler used it.
bool PressKey(wxListCtrl* list, int code, long focusedRow) {
    wxListEvent event(wxEVT_LIST_KEY_DOWN, list->GetId());
    event.SetEventObject(list);
    event.SetKeyCode(code);
    event.SetIndex(focusedRow);
    return list->GetEventHandler()->ProcessEvent(event);
}

// Every way a row can go, in one window: run under a leak and double-release
// checker, this is where a path object lost or released twice shows up.
TEST_F(Lists, DeleteMoveAndClearKeepEachRowsPathObject) {
    w->OnFileListDropFiles(Files({"K.wav", "L.wav", "M.wav", "N.wav"}));
    w->OnWatermarkListDropFiles(Files({"K.wav", "L.wav", "M.wav", "N.wav"}));
    EXPECT_TRUE(Measured(p));
    wxTEST_DIALOG(Click(p.trackDelete()), MessageExpect("Select file(s) to delete first."));
    wxTEST_DIALOG(Click(p.watermarkUp()), MessageExpect("Select file(s) to move first."));

    // Numbers stay as they were until a move renumbers the rows.
    Select(p.watermarks(), {0, 2, 3});
    Click(p.watermarkDelete());
    EXPECT_EQ("2", Column(p.watermarks(), 0));
    Select(p.tracks(), {1, 3});
    Click(p.trackUp());
    EXPECT_EQ("L.wav,K.wav,N.wav,M.wav", Column(p.tracks(), 1));
    EXPECT_EQ("00:02,00:01,00:04,00:03", Column(p.tracks(), 3));
    Click(p.trackDown());
    EXPECT_EQ("K.wav,L.wav,M.wav,N.wav", Column(p.tracks(), 1));

    // Delete, Backspace and the keypad's Delete remove the focused row only;
    // other keys go on to the list.
    EXPECT_TRUE(PressKey(p.tracks(), WXK_DELETE, 1));
    EXPECT_TRUE(PressKey(p.tracks(), WXK_BACK, 2));
    EXPECT_TRUE(PressKey(p.watermarks(), WXK_NUMPAD_DELETE, 0));
    EXPECT_TRUE(PressKey(p.tracks(), WXK_DELETE, -1));
    for (int code : {int(WXK_DOWN), int('A'), int(WXK_RETURN)})
        EXPECT_FALSE(PressKey(p.tracks(), code, 0)) << code;
    EXPECT_EQ("1,3", Column(p.tracks(), 0));
    EXPECT_EQ(0, p.watermarks()->GetItemCount());
    ExpectPathsMatchNames(p.tracks());

    // Clear empties its own list only; numbering starts again at 1.
    w->OnWatermarkListDropFiles(Files({"K.wav"}));
    EXPECT_TRUE(Measured(p));
    Click(p.trackClear());
    EXPECT_EQ(0, p.tracks()->GetItemCount());
    EXPECT_EQ("1", Column(p.watermarks(), 0));
}

} // namespace
