// The track and watermark lists: adding, dropping, deleting, moving and
// clearing rows, and the path object every row owns.
#include "testutil.h"

#include <wx/filedlg.h>
#include <wx/filename.h>

#include <dlfcn.h>
#include <map>

namespace {

// The add-files dialog; checks how it was set up, picks the given file in the
// GTK chooser it wraps (the toolkit reports only what the chooser holds), and
// ends with the given button. An unshown chooser keeps only the last pick, so
// one file per dialog is all a test can choose.
class ExpectAddFiles : public wxExpectModalBase<wxFileDialog, ExpectAddFiles> {
public:
    explicit ExpectAddFiles(int button, const wxString& file = wxString())
        : m_button(button), m_file(file) {}

protected:
    int OnInvoked(wxFileDialog* dialog) const override {
        EXPECT_EQ("Please choose file(s) to add", dialog->GetMessage());
        EXPECT_EQ("Audio files (*.mp3;*.wav;*.aiff)|*.mp3;*.wav;*.aiff", dialog->GetWildcard());
        EXPECT_TRUE(dialog->HasFlag(wxFD_OPEN) && dialog->HasFlag(wxFD_MULTIPLE));
        if (!m_file.empty()) {
            using SelectFile = int (*)(void*, const char*);
            auto select = reinterpret_cast<SelectFile>(
                dlsym(RTLD_DEFAULT, "gtk_file_chooser_select_filename"));
            EXPECT_NE(nullptr, select);
            if (select)
                select(dialog->m_widget, m_file.utf8_str());
            // The chooser loads its folder in the background.
            wxArrayString picked;
            EXPECT_TRUE(WaitUntil(
                [&] {
                    dialog->GetPaths(picked);
                    return !picked.empty();
                },
                3000));
        }
        return m_button;
    }

private:
    int m_button;
    wxString m_file;
};

// Sends the list's key event as the list control does; true when a handler used it.
bool PressKey(wxListCtrl* list, int code, long focusedRow) {
    wxListEvent event(wxEVT_LIST_KEY_DOWN, list->GetId());
    event.SetEventObject(list);
    event.SetKeyCode(code);
    event.SetIndex(focusedRow);
    return list->GetEventHandler()->ProcessEvent(event);
}

std::vector<long> SelectedRows(wxListCtrl* list) {
    std::vector<long> rows;
    for (long row = 0; row < list->GetItemCount(); ++row) {
        if (list->GetItemState(row, wxLIST_STATE_SELECTED))
            rows.push_back(row);
    }
    return rows;
}

wxString Numbers(wxListCtrl* list) {
    return Column(list, 0);
}

// First letters of the rows' names: "KLMN".
wxString Order(wxListCtrl* list) {
    wxString order;
    for (long row = 0; row < list->GetItemCount(); ++row)
        order += Cell(list, row, 1)[0];
    return order;
}

// Every row's path object names the file its row shows.
void ExpectPathsMatchNames(wxListCtrl* list) {
    for (long row = 0; row < list->GetItemCount(); ++row) {
        EXPECT_EQ(Cell(list, row, 1), wxFileName(RowPath(list, row)).GetFullName())
            << "row " << row;
    }
}

std::map<wxString, wxUIntPtr> PathObjectsByName(wxListCtrl* list) {
    std::map<wxString, wxUIntPtr> objects;
    for (long row = 0; row < list->GetItemCount(); ++row)
        objects[Cell(list, row, 1)] = list->GetItemData(row);
    return objects;
}

class Lists : public WindowTest {
protected:
    // K, L, M, N lasting 1 to 4 seconds, so each row's length tells it apart.
    void SetUp() override {
        WindowTest::SetUp();
        double seconds = 1;
        for (const char* name : {"K.wav", "L.wav", "M.wav", "N.wav"})
            MakeTone(Work(name), seconds++);
    }
    void AddKLMN(wxListCtrl* list) {
        const wxArrayString paths = Files({"K.wav", "L.wav", "M.wav", "N.wav"});
        if (list == p.tracks())
            w->OnFileListDropFiles(paths);
        else
            w->OnWatermarkListDropFiles(paths);
        ASSERT_EQ("KLMN", Order(list));
    }
};

TEST_F(Lists, AddedRowsShowNumberNameSizeLengthAndTheirOwnPath) {
    MakeTone(Work("one.wav"), 65.5);
    // The same file twice gives two rows, each with a path object of its own.
    w->OnFileListDropFiles(Files({"one.wav", "one.wav", "L.wav"}));
    ASSERT_EQ(3, p.tracks()->GetItemCount());
    EXPECT_EQ("1,2,3", Numbers(p.tracks()));
    EXPECT_EQ("one.wav", Cell(p.tracks(), 0, 1));
    const wxULongLong bytes = wxFileName(Work("one.wav")).GetSize();
    EXPECT_EQ((bytes / 1000).ToString() + " KB", Cell(p.tracks(), 0, 2));
    EXPECT_EQ("01:05", Cell(p.tracks(), 0, 3));
    EXPECT_EQ("00:02", Cell(p.tracks(), 2, 3));
    for (int column = 1; column < 4; ++column)
        EXPECT_EQ(Cell(p.tracks(), 0, column), Cell(p.tracks(), 1, column));
    EXPECT_EQ(Wx(Work("one.wav")), RowPath(p.tracks(), 0));
    EXPECT_EQ(Wx(Work("one.wav")), RowPath(p.tracks(), 1));
    EXPECT_NE(p.tracks()->GetItemData(0), p.tracks()->GetItemData(1));
    EXPECT_EQ(0, p.watermarks()->GetItemCount());

    Select(p.tracks(), {0});
    w->DeleteItemsFromList(p.tracks());
    EXPECT_EQ(Wx(Work("one.wav")), RowPath(p.tracks(), 0));
}

TEST_F(Lists, WatermarkLimitIsFourWholeSecondsAndATooLongFileEndsTheCall) {
    MakeTone(Work("four.wav"), 4.99);
    MakeTone(Work("five.wav"), 5);
    w->OnWatermarkListDropFiles(Files({"four.wav"}));
    EXPECT_EQ("00:04", Cell(p.watermarks(), 0, 3));

    const wxArrayString three = Files({"K.wav", "five.wav", "L.wav"});
    wxTEST_DIALOG(w->OnWatermarkListDropFiles(three),
                  MessageExpect("Please use watermark files which are maximum of 4 seconds long."));
    EXPECT_EQ("four.wav,K.wav", Column(p.watermarks(), 1));
    EXPECT_EQ("1,2", Numbers(p.watermarks()));
    ExpectPathsMatchNames(p.watermarks());

    // Tracks have no length limit.
    w->OnFileListDropFiles(three);
    EXPECT_EQ("K.wav,five.wav,L.wav", Column(p.tracks(), 1));
}

TEST_F(Lists, MissingAndUndecodableFilesAreSkippedSilently) {
    Spoil(Work("broken.mp3"), 3000);
    const wxArrayString paths = Files({"K.wav", "missing.wav", "broken.mp3", "L.wav"});
    // No dialog is expected: the outer hook fails the test if one appears.
    w->OnFileListDropFiles(paths);
    w->OnWatermarkListDropFiles(paths);
    for (wxListCtrl* list : {p.tracks(), p.watermarks()}) {
        EXPECT_EQ("K.wav,L.wav", Column(list, 1));
        EXPECT_EQ("1,2", Numbers(list));
        ExpectPathsMatchNames(list);
    }
}

TEST_F(Lists, DropsReachOnlyTheirOwnList) {
    auto* trackTarget = dynamic_cast<DnDFile*>(p.tracks()->GetDropTarget());
    auto* markTarget = dynamic_cast<DnDFile*>(p.watermarks()->GetDropTarget());
    ASSERT_TRUE(trackTarget && markTarget);
    EXPECT_TRUE(trackTarget->OnDropFiles(10, 10, Files({"N.wav"})));
    EXPECT_TRUE(markTarget->OnDropFiles(0, 0, Files({"K.wav"})));
    // A drop that adds nothing is still accepted.
    EXPECT_TRUE(trackTarget->OnDropFiles(0, 0, Files({"missing.wav"})));
    EXPECT_EQ("N.wav", Column(p.tracks(), 1));
    EXPECT_EQ("K.wav", Column(p.watermarks(), 1));
}

TEST_F(Lists, AddFilesDialogAddsTheChosenFileToItsOwnList) {
    const wxString k = Wx(Work("K.wav")), l = Wx(Work("L.wav"));
    wxTEST_DIALOG(Click(p.trackAdd()), ExpectAddFiles(wxID_CANCEL, k));
    wxTEST_DIALOG(Click(p.watermarkAdd()), ExpectAddFiles(wxID_CANCEL, k));
    EXPECT_EQ(0, p.tracks()->GetItemCount() + p.watermarks()->GetItemCount());

    wxTEST_DIALOG(Click(p.watermarkAdd()), ExpectAddFiles(wxID_OK, k));
    wxTEST_DIALOG(Click(p.trackAdd()), ExpectAddFiles(wxID_OK, l));
    wxTEST_DIALOG(Click(p.trackAdd()), ExpectAddFiles(wxID_OK, k));
    // OK with nothing picked adds nothing.
    wxTEST_DIALOG(Click(p.trackAdd()), ExpectAddFiles(wxID_OK));
    EXPECT_EQ("K.wav", Column(p.watermarks(), 1));
    EXPECT_EQ("L.wav,K.wav", Column(p.tracks(), 1));
    EXPECT_EQ("00:02", Cell(p.tracks(), 0, 3));
    EXPECT_EQ(l, RowPath(p.tracks(), 0));
}

TEST_F(Lists, DeleteSelectionKeepsNumbersUntilAMoveRenumbers) {
    AddKLMN(p.tracks());
    AddKLMN(p.watermarks());
    Select(p.tracks(), {1});
    Select(p.watermarks(), {0, 2, 3});
    Click(p.watermarkDelete());
    EXPECT_EQ("L", Order(p.watermarks()));
    EXPECT_EQ("2", Numbers(p.watermarks()));
    EXPECT_EQ("KLMN", Order(p.tracks()));

    Click(p.trackDelete());
    EXPECT_EQ("KMN", Order(p.tracks()));
    EXPECT_EQ("1,3,4", Numbers(p.tracks()));
    w->OnFileListDropFiles(Files({"L.wav"}));
    EXPECT_EQ("1,3,4,4", Numbers(p.tracks()));
    Select(p.tracks(), {3});
    Click(p.trackUp());
    EXPECT_EQ("KMLN", Order(p.tracks()));
    EXPECT_EQ("1,2,3,4", Numbers(p.tracks()));
    ExpectPathsMatchNames(p.tracks());
    ExpectPathsMatchNames(p.watermarks());
}

TEST_F(Lists, NothingSelectedGivesANoticeAndChangesNothing) {
    AddKLMN(p.tracks());
    AddKLMN(p.watermarks());
    const wxString deleteFirst = "Select file(s) to delete first.";
    const wxString moveFirst = "Select file(s) to move first.";
    const std::pair<wxButton*, wxString> buttons[] = {
        {p.trackDelete(), deleteFirst}, {p.watermarkDelete(), deleteFirst},
        {p.trackUp(), moveFirst},       {p.trackDown(), moveFirst},
        {p.watermarkUp(), moveFirst},   {p.watermarkDown(), moveFirst}};
    for (const auto& [button, notice] : buttons)
        wxTEST_DIALOG(Click(button), MessageExpect(notice));
    for (wxListCtrl* list : {p.tracks(), p.watermarks()}) {
        EXPECT_EQ("KLMN", Order(list));
        EXPECT_EQ("1,2,3,4", Numbers(list));
    }
    // On an empty list the notices are the same.
    Click(p.trackClear());
    wxTEST_DIALOG(Click(p.trackDelete()), MessageExpect(deleteFirst));
    wxTEST_DIALOG(Click(p.trackUp()), MessageExpect(moveFirst));
}

TEST_F(Lists, DeleteAndBackspaceRemoveOnlyTheFocusedRowAndOtherKeysGoToTheList) {
    AddKLMN(p.tracks());
    AddKLMN(p.watermarks());
    Select(p.tracks(), {0, 1, 3});
    EXPECT_TRUE(PressKey(p.tracks(), WXK_DELETE, 1));
    EXPECT_EQ("KMN", Order(p.tracks()));
    EXPECT_EQ("1,3,4", Numbers(p.tracks()));
    EXPECT_TRUE(PressKey(p.tracks(), WXK_BACK, 2));
    EXPECT_TRUE(PressKey(p.watermarks(), WXK_BACK, 3));
    // The keypad's Delete key is the same key to the user.
    EXPECT_TRUE(PressKey(p.watermarks(), WXK_NUMPAD_DELETE, 0));
    // No focused row: nothing goes.
    EXPECT_TRUE(PressKey(p.watermarks(), WXK_DELETE, -1));
    EXPECT_EQ("KM", Order(p.tracks()));
    EXPECT_EQ("LM", Order(p.watermarks()));
    ExpectPathsMatchNames(p.tracks());

    // Arrow keys and the rest are skipped, so the list still moves its focus.
    for (int code : {int(WXK_DOWN), int(WXK_UP), int('A'), int(WXK_SPACE), int(WXK_RETURN)}) {
        EXPECT_FALSE(PressKey(p.tracks(), code, 1)) << code;
        EXPECT_FALSE(PressKey(p.watermarks(), code, -1)) << code;
    }
    EXPECT_EQ(2, p.tracks()->GetItemCount());
}

TEST_F(Lists, MovesCarryTheSelectedRowsTheirSelectionAndPathObjects) {
    struct Case {
        bool tracks, up;
        std::initializer_list<long> selected;
        const char* order;
        std::vector<long> after;
    };
    const Case cases[] = {
        {true, true, {1, 3}, "LKNM", {0, 2}},
        {false, true, {1, 2}, "LMKN", {0, 1}},
        // A lone row or a run at the edge stays where it is; rows below still move.
        {true, true, {0}, "KLMN", {0}},
        {false, false, {3}, "KLMN", {3}},
        {true, true, {0, 1, 3}, "KLNM", {0, 1, 2}},
        {true, false, {0, 2}, "LKNM", {1, 3}},
        {false, false, {1, 2}, "KNLM", {2, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(wxString(c.order) + (c.up ? " up" : " down"));
        wxListCtrl* list = c.tracks ? p.tracks() : p.watermarks();
        Click(c.tracks ? p.trackClear() : p.watermarkClear());
        AddKLMN(list);
        const auto objects = PathObjectsByName(list);
        Select(list, c.selected);
        if (c.tracks)
            Click(c.up ? p.trackUp() : p.trackDown());
        else
            Click(c.up ? p.watermarkUp() : p.watermarkDown());
        EXPECT_EQ(c.order, Order(list));
        EXPECT_EQ("1,2,3,4", Numbers(list));
        EXPECT_EQ(c.after, SelectedRows(list));
        // The same path objects on the moved rows: none copied, none released.
        EXPECT_EQ(objects, PathObjectsByName(list));
        ExpectPathsMatchNames(list);
        for (long row = 0; row < 4; ++row)
            EXPECT_EQ(wxString::Format("00:0%d", Cell(list, row, 1)[0] - 'J'), Cell(list, row, 3));
    }
}

TEST_F(Lists, MovesWorkInAListLongerThanAThousandRows) {
    wxListCtrl* list = p.tracks();
    const int rows = 1500;
    // Rows laid out as the add operation lays them out, without measuring 1500 files.
    for (int i = 0; i < rows; ++i) {
        const wxString name = wxString::Format("t%04d.wav", i);
        list->InsertItem(i, wxString::Format("%d", i + 1));
        list->SetItemPtrData(i, reinterpret_cast<wxUIntPtr>(new wxString(Wx(Work("")) + name)));
        list->SetItem(i, 1, name);
    }
    const auto objects = PathObjectsByName(list);
    Select(list, {999, 1000, 1499});
    w->MoveItemsUp(list);
    EXPECT_EQ("t0998.wav", Cell(list, 1000, 1));
    EXPECT_EQ("t1499.wav", Cell(list, 1498, 1));
    EXPECT_EQ((std::vector<long>{998, 999, 1498}), SelectedRows(list));
    w->MoveItemsDown(list);
    w->MoveItemsDown(list);
    EXPECT_EQ("t0998.wav", Cell(list, 998, 1));
    EXPECT_EQ("t0999.wav", Cell(list, 1000, 1));
    EXPECT_EQ("t1499.wav", Cell(list, 1499, 1));
    ASSERT_EQ(rows, list->GetItemCount());
    for (long row = 0; row < rows; ++row)
        ASSERT_EQ(wxString::Format("%ld", row + 1), Cell(list, row, 0));
    EXPECT_EQ(objects, PathObjectsByName(list));
    ExpectPathsMatchNames(list);
}

// Every way a row can go, in one window: run under a leak and double-release
// checker, this is where a path object lost or released twice shows up.
TEST_F(Lists, EveryRowPathIsReleasedExactlyOnceAndClearAllEmptiesOnlyItsList) {
    AddKLMN(p.tracks());
    AddKLMN(p.watermarks());
    w->OnFileListDropFiles(Files({"K.wav", "K.wav"}));
    Select(p.tracks(), {1, 4});
    Click(p.trackUp());
    Click(p.trackDown());
    Click(p.trackDelete());
    PressKey(p.tracks(), WXK_DELETE, 0);
    Select(p.watermarks(), {3});
    Click(p.watermarkUp());
    Click(p.watermarkUp());
    PressKey(p.watermarks(), WXK_BACK, 1);
    Click(p.watermarkClear());
    EXPECT_EQ(0, p.watermarks()->GetItemCount());
    EXPECT_EQ(3, p.tracks()->GetItemCount());
    ExpectPathsMatchNames(p.tracks());
    // Nothing to clear: no notice either.
    Click(p.watermarkClear());
    // Numbering starts again at 1.
    w->OnWatermarkListDropFiles(Files({"K.wav"}));
    EXPECT_EQ("1", Numbers(p.watermarks()));
    // The rows still listed go with the window.
}

} // namespace
