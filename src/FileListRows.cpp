// The rows of the window's track and watermark lists: columns, texts, and
// the full path each row carries as its item data.
#include "FileListRows.h"

#include <wx/filename.h>

void AddFileColumns(wxListCtrl* tracks, wxListCtrl* watermarks) {
    struct Column {
        const char* title;
        int trackWidth;
        int watermarkWidth;
    };
    const Column columns[] = {
        {"", 30, 30}, {"FileName", 500, 200}, {"Size", 100, 100}, {"Length", 100, 200}};
    for (int i = 0; i < 4; ++i) {
        tracks->InsertColumn(i, columns[i].title, wxLIST_FORMAT_LEFT, columns[i].trackWidth);
        watermarks->InsertColumn(i, columns[i].title, wxLIST_FORMAT_LEFT,
                                 columns[i].watermarkWidth);
    }
}

long AppendFileRow(wxListCtrl* list, const wxString& name, const wxString& size,
                   const wxString& length) {
    const long row =
        list->InsertItem(list->GetItemCount(), wxString::Format("%d", list->GetItemCount() + 1));
    list->SetItem(row, 1, name);
    list->SetItem(row, 2, size);
    list->SetItem(row, 3, length);
    return row;
}

wxString SizeText(const wxString& path) {
    const wxULongLong kilobytes = wxFileName(path).GetSize() / 1000;
    return wxString::Format("%s KB", kilobytes.ToString());
}

bool IsDeleteKey(int code) {
    return code == WXK_DELETE || code == WXK_BACK || code == WXK_NUMPAD_DELETE;
}

long AppendPathRow(wxListCtrl* list, const wxString& path, const wxString& length) {
    const long row = AppendFileRow(list, wxFileName(path).GetFullName(), SizeText(path), length);
    list->SetItemPtrData(row, reinterpret_cast<wxUIntPtr>(new wxString(path)));
    return row;
}

void LowerNumber(wxListCtrl* list, long row, long by) {
    long number = 0;
    if (list->GetItemText(row, 0).ToLong(&number))
        list->SetItemText(row, wxString::Format("%ld", number - by));
}

const wxString* RowPath(wxListCtrl* list, long row) {
    return reinterpret_cast<const wxString*>(list->GetItemData(row));
}

wxArrayString ListPaths(wxListCtrl* list) {
    wxArrayString paths;
    for (long row = 0; row < list->GetItemCount(); ++row) {
        const wxString* path = RowPath(list, row);
        paths.Add(path ? *path : wxString());
    }
    return paths;
}

void ClearRows(wxListCtrl* list) {
    for (long row = 0; row < list->GetItemCount(); ++row) {
        delete RowPath(list, row);
        list->SetItemPtrData(row, 0);
    }
    list->DeleteAllItems();
}
