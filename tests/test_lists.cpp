// The track and watermark lists: adding, dropping, deleting, moving and
// clearing rows, and the path object every row owns.
#include "testutil.h"

#include <wx/dnd.h>
#include <wx/filedlg.h>
#include <wx/filename.h>
#include <wx/uiaction.h>

#include <algorithm>
#include <dlfcn.h>
#include <map>
#include <vector>

struct ListsTestAccess {};
template <> struct MainWindowProbe<ListsTestAccess> {
    explicit MainWindowProbe(CMainFormImp& w) : w(w) {}
    CMainFormImp& w;

    wxButton* trackAdd() const { return w.m_trackAddButton; }
    wxButton* trackDelete() const { return w.m_trackDeleteButton; }
    wxButton* trackUp() const { return w.m_trackUpButton; }
    wxButton* trackDown() const { return w.m_trackDownButton; }
    wxButton* trackClear() const { return w.m_trackClearButton; }
    wxButton* watermarkAdd() const { return w.m_watermarkAddButton; }
    wxButton* watermarkDelete() const { return w.m_watermarkDeleteButton; }
    wxButton* watermarkUp() const { return w.m_watermarkUpButton; }
    wxButton* watermarkDown() const { return w.m_watermarkDownButton; }
    wxButton* watermarkClear() const { return w.m_watermarkClearButton; }
};

namespace {

using Buttons = MainWindowProbe<ListsTestAccess>;

// A message box with exactly this text, the default caption and an OK button.
class ExpectNotice : public wxExpectModalBase<wxMessageDialog, ExpectNotice> {
public:
    explicit ExpectNotice(const wxString& text) : m_text(text) {}

protected:
    int OnInvoked(wxMessageDialog* dialog) const override {
        EXPECT_EQ(m_text, dialog->GetMessage());
        EXPECT_EQ(wxString(wxMessageBoxCaptionStr), dialog->GetCaption());
        EXPECT_TRUE(dialog->GetMessageDialogStyle() & wxOK);
        EXPECT_FALSE(dialog->GetMessageDialogStyle() & (wxYES_NO | wxCANCEL));
        return wxID_OK;
    }
    wxString GetDefaultDescription() const override { return "message \"" + m_text + "\""; }

private:
    wxString m_text;
};

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
        EXPECT_TRUE(dialog->HasFlag(wxFD_OPEN));
        EXPECT_TRUE(dialog->HasFlag(wxFD_MULTIPLE));
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

void Click(wxButton* button) {
    wxCommandEvent event(wxEVT_BUTTON, button->GetId());
    event.SetEventObject(button);
    button->GetEventHandler()->ProcessEvent(event);
}

// Sends the list's key event as the list control does; true when a handler used it.
bool PressKey(wxListCtrl* list, int code, long focusedRow) {
    wxListEvent event(wxEVT_LIST_KEY_DOWN, list->GetId());
    event.SetEventObject(list);
    event.SetKeyCode(code);
    event.SetIndex(focusedRow);
    return list->GetEventHandler()->ProcessEvent(event);
}

void Select(wxListCtrl* list, std::initializer_list<long> rows) {
    for (long row = 0; row < list->GetItemCount(); ++row)
        list->SetItemState(row, 0, wxLIST_STATE_SELECTED);
    for (long row : rows)
        list->SetItemState(row, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
}

std::vector<long> SelectedRows(wxListCtrl* list) {
    std::vector<long> rows;
    for (long row = 0; row < list->GetItemCount(); ++row) {
        if (list->GetItemState(row, wxLIST_STATE_SELECTED))
            rows.push_back(row);
    }
    return rows;
}

wxString Column(wxListCtrl* list, int column) {
    wxString text;
    for (long row = 0; row < list->GetItemCount(); ++row)
        text += (row ? "," : "") + Cell(list, row, column);
    return text;
}

wxString Names(wxListCtrl* list) {
    return Column(list, 1);
}

wxString Numbers(wxListCtrl* list) {
    return Column(list, 0);
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

class Lists : public BundleTest {
protected:
    // Makes name.wav lasting the given seconds and returns its path.
    wxString Audio(const std::string& name, double seconds) {
        MakeTone(Work(name), seconds);
        return wxString(Work(name));
    }

    // Tracks K, L, M, N lasting 1 to 4 seconds, so each row's length tells it apart.
    void AddKLMN(CMainFormImp& w, wxListCtrl* list) {
        wxArrayString paths;
        double seconds = 1;
        for (const char* name : {"K.wav", "L.wav", "M.wav", "N.wav"})
            paths.Add(Audio(name, seconds++));
        if (list == w.GetFileList())
            w.OnFileListDropFiles(paths);
        else
            w.OnWatermarkListDropFiles(paths);
        ASSERT_EQ("K.wav,L.wav,M.wav,N.wav", Names(list));
    }
};

// ---------------------------------------------------------------------------
// Adding and dropping

TEST_F(Lists, WatermarkLimitIsFourWholeSecondsAndATooLongFileEndsTheCall) {
    const wxString first = Audio("first.wav", 2);
    const wxString atLimit = Audio("four.wav", 4.99);
    const wxString tooLong = Audio("five.wav", 5);
    const wxString third = Audio("third.wav", 1);
    MainWindow w;
    Probe p(*w);

    wxArrayString accepted;
    accepted.Add(atLimit);
    w->OnWatermarkListDropFiles(accepted);
    ASSERT_EQ(1, p.watermarks()->GetItemCount());
    EXPECT_EQ("00:04", Cell(p.watermarks(), 0, 3));

    wxArrayString three;
    three.Add(first);
    three.Add(tooLong);
    three.Add(third);
    wxTEST_DIALOG(w->OnWatermarkListDropFiles(three),
                  ExpectNotice("Please use watermark files which are maximum of 4 seconds long."));
    EXPECT_EQ("four.wav,first.wav", Names(p.watermarks()));
    EXPECT_EQ("1,2", Numbers(p.watermarks()));
    ExpectPathsMatchNames(p.watermarks());

    // Tracks have no length limit.
    w->OnFileListDropFiles(three);
    EXPECT_EQ("first.wav,five.wav,third.wav", Names(p.tracks()));
}

TEST_F(Lists, MissingAndUndecodableFilesAreSkippedSilently) {
    const wxString good1 = Audio("good1.wav", 1);
    const wxString good2 = Audio("good2.aiff", 1);
    const std::string broken = Work("broken.mp3");
    ASSERT_EQ(0, Shell("head -c 3000 /dev/urandom > " + ShellQuote(broken)));
    MainWindow w;
    Probe p(*w);
    wxArrayString paths;
    paths.Add(good1);
    paths.Add(Work("missing.wav"));
    paths.Add(broken);
    paths.Add(good2);
    // No dialog is expected: the outer hook fails the test if one appears.
    w->OnFileListDropFiles(paths);
    w->OnWatermarkListDropFiles(paths);
    for (wxListCtrl* list : {p.tracks(), p.watermarks()}) {
        EXPECT_EQ("good1.wav,good2.aiff", Names(list));
        EXPECT_EQ("1,2", Numbers(list));
        ExpectPathsMatchNames(list);
    }
}

TEST_F(Lists, TheSameFileTwiceGivesTwoRowsWithTheirOwnPathObjects) {
    const wxString song = Audio("song.wav", 1);
    MainWindow w;
    Probe p(*w);
    wxArrayString twice;
    twice.Add(song);
    twice.Add(song);
    w->OnFileListDropFiles(twice);
    ASSERT_EQ(2, p.tracks()->GetItemCount());
    EXPECT_EQ("1,2", Numbers(p.tracks()));
    for (int column = 1; column < 4; ++column)
        EXPECT_EQ(Cell(p.tracks(), 0, column), Cell(p.tracks(), 1, column));
    EXPECT_EQ(song, RowPath(p.tracks(), 0));
    EXPECT_EQ(song, RowPath(p.tracks(), 1));
    EXPECT_NE(p.tracks()->GetItemData(0), p.tracks()->GetItemData(1));

    // Deleting one leaves the other's path intact.
    Select(p.tracks(), {0});
    w->DeleteItemsFromList(p.tracks());
    ASSERT_EQ(1, p.tracks()->GetItemCount());
    EXPECT_EQ(song, RowPath(p.tracks(), 0));
}

TEST_F(Lists, DropsReachOnlyTheirOwnList) {
    const wxString track = Audio("track.wav", 6);
    const wxString mark = Audio("mark.wav", 1);
    MainWindow w;
    Probe p(*w);
    auto* trackTarget = dynamic_cast<DnDFile*>(p.tracks()->GetDropTarget());
    auto* markTarget = dynamic_cast<DnDFile*>(p.watermarks()->GetDropTarget());
    ASSERT_NE(nullptr, trackTarget);
    ASSERT_NE(nullptr, markTarget);

    wxArrayString tracks;
    tracks.Add(track);
    EXPECT_TRUE(trackTarget->OnDropFiles(10, 10, tracks));
    EXPECT_EQ("track.wav", Names(p.tracks()));
    EXPECT_EQ(0, p.watermarks()->GetItemCount());

    wxArrayString marks;
    marks.Add(mark);
    EXPECT_TRUE(markTarget->OnDropFiles(0, 0, marks));
    EXPECT_EQ("track.wav", Names(p.tracks()));
    EXPECT_EQ("mark.wav", Names(p.watermarks()));

    // A drop that adds nothing is still accepted.
    wxArrayString nothing;
    nothing.Add(Work("missing.wav"));
    EXPECT_TRUE(trackTarget->OnDropFiles(0, 0, nothing));
    EXPECT_EQ(1, p.tracks()->GetItemCount());
}

// ---------------------------------------------------------------------------
// Add-files dialog

TEST_F(Lists, CancelledAddFilesDialogChangesNothing) {
    const wxString song = Audio("song.wav", 1);
    MainWindow w;
    Probe p(*w);
    Buttons b(*w);
    wxTEST_DIALOG(Click(b.trackAdd()), ExpectAddFiles(wxID_CANCEL, song));
    wxTEST_DIALOG(Click(b.watermarkAdd()), ExpectAddFiles(wxID_CANCEL, song));
    EXPECT_EQ(0, p.tracks()->GetItemCount());
    EXPECT_EQ(0, p.watermarks()->GetItemCount());
}

TEST_F(Lists, ChosenFileIsAddedToTheListWhoseButtonWasPressed) {
    const wxString one = Audio("one.wav", 1);
    const wxString two = Audio("two.aiff", 2);
    MainWindow w;
    Probe p(*w);
    Buttons b(*w);

    wxTEST_DIALOG(Click(b.watermarkAdd()), ExpectAddFiles(wxID_OK, one));
    EXPECT_EQ("one.wav", Names(p.watermarks()));
    EXPECT_EQ(0, p.tracks()->GetItemCount());
    EXPECT_EQ(one, RowPath(p.watermarks(), 0));

    wxTEST_DIALOG(Click(b.trackAdd()), ExpectAddFiles(wxID_OK, two));
    wxTEST_DIALOG(Click(b.trackAdd()), ExpectAddFiles(wxID_OK, one));
    EXPECT_EQ("two.aiff,one.wav", Names(p.tracks()));
    EXPECT_EQ("00:02", Cell(p.tracks(), 0, 3));
    EXPECT_EQ(two, RowPath(p.tracks(), 0));
    EXPECT_EQ(1, p.watermarks()->GetItemCount());

    // OK with nothing picked adds nothing.
    wxTEST_DIALOG(Click(b.trackAdd()), ExpectAddFiles(wxID_OK));
    EXPECT_EQ(2, p.tracks()->GetItemCount());
}

// ---------------------------------------------------------------------------
// Deleting

TEST_F(Lists, DeleteSelectionKeepsNumbersUntilAMoveRenumbers) {
    MainWindow w;
    Probe p(*w);
    Buttons b(*w);
    wxArrayString three;
    for (const char* name : {"a.wav", "b.wav", "c.wav"})
        three.Add(Audio(name, 1));
    w->OnFileListDropFiles(three);

    Select(p.tracks(), {1});
    Click(b.trackDelete());
    EXPECT_EQ("a.wav,c.wav", Names(p.tracks()));
    EXPECT_EQ("1,3", Numbers(p.tracks()));

    wxArrayString next;
    next.Add(Audio("d.wav", 1));
    w->OnFileListDropFiles(next);
    EXPECT_EQ("1,3,3", Numbers(p.tracks()));

    Select(p.tracks(), {2});
    Click(b.trackUp());
    EXPECT_EQ("a.wav,d.wav,c.wav", Names(p.tracks()));
    EXPECT_EQ("1,2,3", Numbers(p.tracks()));
    ExpectPathsMatchNames(p.tracks());
}

TEST_F(Lists, DeleteSelectionRemovesEverySelectedRowOfThatListOnly) {
    MainWindow w;
    Probe p(*w);
    Buttons b(*w);
    AddKLMN(*w, p.watermarks());
    AddKLMN(*w, p.tracks());
    Select(p.watermarks(), {0, 2, 3});
    Select(p.tracks(), {1});
    Click(b.watermarkDelete());
    EXPECT_EQ("L.wav", Names(p.watermarks()));
    EXPECT_EQ("2", Numbers(p.watermarks()));
    EXPECT_EQ("K.wav,L.wav,M.wav,N.wav", Names(p.tracks()));
    ExpectPathsMatchNames(p.watermarks());
}

TEST_F(Lists, NothingSelectedGivesANoticeAndChangesNothing) {
    MainWindow w;
    Probe p(*w);
    Buttons b(*w);
    AddKLMN(*w, p.tracks());
    AddKLMN(*w, p.watermarks());
    const char* deleteFirst = "Select file(s) to delete first.";
    const char* moveFirst = "Select file(s) to move first.";
    wxTEST_DIALOG(Click(b.trackDelete()), ExpectNotice(deleteFirst));
    wxTEST_DIALOG(Click(b.watermarkDelete()), ExpectNotice(deleteFirst));
    wxTEST_DIALOG(Click(b.trackUp()), ExpectNotice(moveFirst));
    wxTEST_DIALOG(Click(b.trackDown()), ExpectNotice(moveFirst));
    wxTEST_DIALOG(Click(b.watermarkUp()), ExpectNotice(moveFirst));
    wxTEST_DIALOG(Click(b.watermarkDown()), ExpectNotice(moveFirst));
    for (wxListCtrl* list : {p.tracks(), p.watermarks()}) {
        EXPECT_EQ("K.wav,L.wav,M.wav,N.wav", Names(list));
        EXPECT_EQ("1,2,3,4", Numbers(list));
    }

    // On an empty list the notices are the same.
    Click(b.trackClear());
    wxTEST_DIALOG(Click(b.trackDelete()), ExpectNotice(deleteFirst));
    wxTEST_DIALOG(Click(b.trackUp()), ExpectNotice(moveFirst));
}

TEST_F(Lists, DeleteAndBackspaceRemoveOnlyTheFocusedRow) {
    MainWindow w;
    Probe p(*w);
    AddKLMN(*w, p.tracks());
    AddKLMN(*w, p.watermarks());

    Select(p.tracks(), {0, 1, 3});
    EXPECT_TRUE(PressKey(p.tracks(), WXK_DELETE, 1));
    EXPECT_EQ("K.wav,M.wav,N.wav", Names(p.tracks()));
    EXPECT_EQ("1,3,4", Numbers(p.tracks()));
    EXPECT_TRUE(PressKey(p.tracks(), WXK_BACK, 2));
    EXPECT_EQ("K.wav,M.wav", Names(p.tracks()));
    ExpectPathsMatchNames(p.tracks());

    Select(p.watermarks(), {0, 1, 2, 3});
    EXPECT_TRUE(PressKey(p.watermarks(), WXK_BACK, 3));
    EXPECT_TRUE(PressKey(p.watermarks(), WXK_DELETE, 0));
    EXPECT_EQ("L.wav,M.wav", Names(p.watermarks()));
    EXPECT_EQ("K.wav,M.wav", Names(p.tracks()));

    // No focused row: nothing goes.
    EXPECT_TRUE(PressKey(p.watermarks(), WXK_DELETE, -1));
    EXPECT_EQ(2, p.watermarks()->GetItemCount());

    // The keypad's Delete key is the same key to the user.
    EXPECT_TRUE(PressKey(p.watermarks(), WXK_NUMPAD_DELETE, 1));
    EXPECT_EQ("L.wav", Names(p.watermarks()));
}

TEST_F(Lists, OtherKeysArePassedOnToTheList) {
    MainWindow w;
    Probe p(*w);
    AddKLMN(*w, p.tracks());
    for (int code : {int(WXK_DOWN), int(WXK_UP), int('A'), int(WXK_SPACE), int(WXK_RETURN)}) {
        EXPECT_FALSE(PressKey(p.tracks(), code, 1)) << code;
        EXPECT_FALSE(PressKey(p.watermarks(), code, -1)) << code;
    }
    EXPECT_EQ(4, p.tracks()->GetItemCount());
}

TEST_F(Lists, ArrowKeyStillMovesTheFocusAndDeleteKeyRemovesTheFocusedRow) {
    MainWindow w;
    Probe p(*w);
    AddKLMN(*w, p.tracks());
    w->Raise();
    p.tracks()->SetFocus();
    p.tracks()->SetItemState(0, wxLIST_STATE_FOCUSED | wxLIST_STATE_SELECTED,
                             wxLIST_STATE_FOCUSED | wxLIST_STATE_SELECTED);
    auto focused = [&] {
        return p.tracks()->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_FOCUSED);
    };
    if (!WaitUntil([&] { return p.tracks()->HasFocus(); }, 2000))
        GTEST_SKIP() << "the list cannot take the keyboard focus on this display";

    wxUIActionSimulator keyboard;
    keyboard.Char(WXK_DOWN);
    ASSERT_TRUE(WaitUntil([&] { return focused() == 1; }, 3000)) << "focus at " << focused();
    keyboard.Char(WXK_DELETE);
    ASSERT_TRUE(WaitUntil([&] { return p.tracks()->GetItemCount() == 3; }, 3000));
    EXPECT_EQ("K.wav,M.wav,N.wav", Names(p.tracks()));
}

// ---------------------------------------------------------------------------
// Moving

TEST_F(Lists, MoveUpCarriesSelectedRowsPastTheirUnselectedNeighbours) {
    MainWindow w;
    Probe p(*w);
    Buttons b(*w);
    AddKLMN(*w, p.tracks());
    const auto objects = PathObjectsByName(p.tracks());

    Select(p.tracks(), {1, 3});
    Click(b.trackUp());
    EXPECT_EQ("L.wav,K.wav,N.wav,M.wav", Names(p.tracks()));
    EXPECT_EQ("1,2,3,4", Numbers(p.tracks()));
    EXPECT_EQ("00:02,00:01,00:04,00:03", Column(p.tracks(), 3));
    EXPECT_EQ((std::vector<long>{0, 2}), SelectedRows(p.tracks()));
    // The same path objects, now on the moved rows: none copied, none released.
    EXPECT_EQ(objects, PathObjectsByName(p.tracks()));
    ExpectPathsMatchNames(p.tracks());
}

TEST_F(Lists, MoveUpKeepsAnAdjacentBlockTogether) {
    MainWindow w;
    Probe p(*w);
    Buttons b(*w);
    AddKLMN(*w, p.watermarks());
    Select(p.watermarks(), {1, 2});
    Click(b.watermarkUp());
    EXPECT_EQ("L.wav,M.wav,K.wav,N.wav", Names(p.watermarks()));
    EXPECT_EQ((std::vector<long>{0, 1}), SelectedRows(p.watermarks()));
    ExpectPathsMatchNames(p.watermarks());

    // Once the block reaches the top it stays there, in its order.
    Click(b.watermarkUp());
    EXPECT_EQ("L.wav,M.wav,K.wav,N.wav", Names(p.watermarks()));
    EXPECT_EQ((std::vector<long>{0, 1}), SelectedRows(p.watermarks()));
}

TEST_F(Lists, MoveDownMirrorsMoveUp) {
    MainWindow w;
    Probe p(*w);
    Buttons b(*w);
    AddKLMN(*w, p.tracks());
    const auto objects = PathObjectsByName(p.tracks());
    Select(p.tracks(), {0, 2});
    Click(b.trackDown());
    EXPECT_EQ("L.wav,K.wav,N.wav,M.wav", Names(p.tracks()));
    EXPECT_EQ((std::vector<long>{1, 3}), SelectedRows(p.tracks()));

    Select(p.tracks(), {1, 2});
    Click(b.trackDown());
    EXPECT_EQ("L.wav,M.wav,K.wav,N.wav", Names(p.tracks()));
    EXPECT_EQ((std::vector<long>{2, 3}), SelectedRows(p.tracks()));
    EXPECT_EQ(objects, PathObjectsByName(p.tracks()));
    ExpectPathsMatchNames(p.tracks());
}

TEST_F(Lists, LoneRowAtTheEdgeStaysSelectedWhereItIs) {
    MainWindow w;
    Probe p(*w);
    Buttons b(*w);
    AddKLMN(*w, p.tracks());
    AddKLMN(*w, p.watermarks());

    Select(p.tracks(), {0});
    Click(b.trackUp());
    EXPECT_EQ("K.wav,L.wav,M.wav,N.wav", Names(p.tracks()));
    EXPECT_EQ((std::vector<long>{0}), SelectedRows(p.tracks()));

    Select(p.watermarks(), {3});
    Click(b.watermarkDown());
    EXPECT_EQ("K.wav,L.wav,M.wav,N.wav", Names(p.watermarks()));
    EXPECT_EQ((std::vector<long>{3}), SelectedRows(p.watermarks()));

    // A run at the edge stays too, and the selected row below it still moves.
    Select(p.tracks(), {0, 1, 3});
    Click(b.trackUp());
    EXPECT_EQ("K.wav,L.wav,N.wav,M.wav", Names(p.tracks()));
    EXPECT_EQ((std::vector<long>{0, 1, 2}), SelectedRows(p.tracks()));
    ExpectPathsMatchNames(p.tracks());
}

TEST_F(Lists, MovesWorkInAListLongerThanAThousandRows) {
    MainWindow w;
    Probe p(*w);
    wxListCtrl* list = p.tracks();
    const int rows = 1500;
    // Rows laid out as the add operation lays them out, without measuring 1500 files.
    for (int i = 0; i < rows; ++i) {
        const wxString name = wxString::Format("t%04d.wav", i);
        const long row = list->InsertItem(i, wxString::Format("%d", i + 1));
        list->SetItemPtrData(row,
                             reinterpret_cast<wxUIntPtr>(new wxString(Work(name.ToStdString()))));
        list->SetItem(row, 1, name);
        list->SetItem(row, 2, "1 KB");
        list->SetItem(row, 3, "00:01");
    }
    const auto objects = PathObjectsByName(list);
    Select(list, {999, 1000, 1499});
    w->MoveItemsUp(list);
    ASSERT_EQ(rows, list->GetItemCount());
    EXPECT_EQ("t0999.wav", Cell(list, 998, 1));
    EXPECT_EQ("t1000.wav", Cell(list, 999, 1));
    EXPECT_EQ("t0998.wav", Cell(list, 1000, 1));
    EXPECT_EQ("t1499.wav", Cell(list, 1498, 1));
    EXPECT_EQ("t1498.wav", Cell(list, 1499, 1));
    EXPECT_EQ((std::vector<long>{998, 999, 1498}), SelectedRows(list));

    w->MoveItemsDown(list);
    w->MoveItemsDown(list);
    EXPECT_EQ("t0998.wav", Cell(list, 998, 1));
    EXPECT_EQ("t0999.wav", Cell(list, 1000, 1));
    EXPECT_EQ("t1000.wav", Cell(list, 1001, 1));
    EXPECT_EQ("t1499.wav", Cell(list, 1499, 1));
    for (long row = 0; row < rows; ++row)
        ASSERT_EQ(wxString::Format("%ld", row + 1), Cell(list, row, 0));
    EXPECT_EQ(objects, PathObjectsByName(list));
    ExpectPathsMatchNames(list);
}

// The exchange passes on their own, without a window.
std::vector<ITEM_DATA> Records(const std::string& names, const std::string& selected) {
    std::vector<ITEM_DATA> records;
    for (char name : names) {
        ITEM_DATA record;
        record.fileName = wxString(name);
        record.itemData = static_cast<wxUIntPtr>(name);
        record.isSelected = selected.find(name) != std::string::npos;
        records.push_back(record);
    }
    return records;
}

std::string Order(const std::vector<ITEM_DATA>& records) {
    std::string order;
    for (const ITEM_DATA& record : records) {
        EXPECT_EQ(record.fileName, wxString(static_cast<char>(record.itemData)));
        order += record.fileName.ToStdString();
        if (record.isSelected)
            order += '*';
    }
    return order;
}

TEST(ExchangePass, UpAndDownOnSnapshots) {
    struct Case {
        const char* names;
        const char* selected;
        const char* up;
        const char* down;
    };
    const Case cases[] = {
        {"KLMN", "LN", "L*KN*M", "KM L*N*"}, {"KLMN", "LM", "L*M*KN", "KNL*M*"},
        {"KLMN", "K", "K*LMN", "LK*MN"},     {"KLMN", "N", "KLN*M", "KLMN*"},
        {"KLM", "KL", "K*L*M", "MK*L*"},     {"KLMN", "KLMN", "K*L*M*N*", "K*L*M*N*"},
        {"KLMN", "", "KLMN", "KLMN"},        {"", "", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.names) + " with " + c.selected + " selected");
        auto up = Records(c.names, c.selected);
        ExchangeSelectedUp(up, static_cast<int>(up.size()));
        EXPECT_EQ(c.up, Order(up));
        auto down = Records(c.names, c.selected);
        ExchangeSelectedDown(down, static_cast<int>(down.size()));
        std::string expected = c.down;
        expected.erase(std::remove(expected.begin(), expected.end(), ' '), expected.end());
        EXPECT_EQ(expected, Order(down));
    }
}

TEST(ExchangePass, OnlyTheCountedRecordsTakePart) {
    auto records = Records("KLMN", "LN");
    ExchangeSelectedDown(records, 2);
    EXPECT_EQ("KL*MN*", Order(records));
    ExchangeSelectedUp(records, 3);
    EXPECT_EQ("L*KMN*", Order(records));
}

// ---------------------------------------------------------------------------
// Clearing

TEST_F(Lists, ClearAllEmptiesOnlyItsOwnList) {
    MainWindow w;
    Probe p(*w);
    Buttons b(*w);
    AddKLMN(*w, p.tracks());
    AddKLMN(*w, p.watermarks());
    Select(p.tracks(), {1, 2});
    Click(b.trackClear());
    EXPECT_EQ(0, p.tracks()->GetItemCount());
    EXPECT_EQ(4, p.watermarks()->GetItemCount());
    Click(b.watermarkClear());
    EXPECT_EQ(0, p.watermarks()->GetItemCount());
    // Nothing to clear: no notice either.
    Click(b.watermarkClear());
    Click(b.trackClear());

    // The lists work as before afterwards; numbering starts again at 1.
    wxArrayString again;
    again.Add(wxString(Work("K.wav")));
    w->OnWatermarkListDropFiles(again);
    EXPECT_EQ("1", Numbers(p.watermarks()));
    ExpectPathsMatchNames(p.watermarks());
}

// Every way a row can go, in one window: run under a leak and double-release
// checker, this is where a path object lost or released twice shows up.
TEST_F(Lists, EveryRowPathIsReleasedExactlyOnce) {
    MainWindow w;
    Probe p(*w);
    Buttons b(*w);
    AddKLMN(*w, p.tracks());
    AddKLMN(*w, p.watermarks());
    wxArrayString more;
    more.Add(wxString(Work("K.wav")));
    more.Add(wxString(Work("K.wav")));
    w->OnFileListDropFiles(more);

    Select(p.tracks(), {1, 4});
    Click(b.trackUp());
    Click(b.trackDown());
    Click(b.trackDelete());
    PressKey(p.tracks(), WXK_DELETE, 0);
    Select(p.watermarks(), {3});
    Click(b.watermarkUp());
    Click(b.watermarkUp());
    PressKey(p.watermarks(), WXK_BACK, 1);
    Click(b.watermarkClear());
    ExpectPathsMatchNames(p.tracks());
    // The rows left in the track list go with the window.
    EXPECT_EQ(3, p.tracks()->GetItemCount());
}

} // namespace
