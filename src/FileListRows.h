// The rows of the window's track and watermark lists: columns, texts, and
// the full path each row carries as its item data.
#ifndef FILELISTROWS_H
#define FILELISTROWS_H

#include <wx/arrstr.h>
#include <wx/listctrl.h>

// Both lists' columns: number, file name, size and length.
void AddFileColumns(wxListCtrl* tracks, wxListCtrl* watermarks);
// Appends a row numbered after the last, with these texts; returns its index.
long AppendFileRow(wxListCtrl* list, const wxString& name, const wxString& size,
                   const wxString& length);
// Appends the row of the file at path, measured as length says, carrying
// its own copy of the path; returns its index.
long AppendPathRow(wxListCtrl* list, const wxString& path, const wxString& length);
// Lowers the number shown in a row by by: rows above it were never added.
void LowerNumber(wxListCtrl* list, long row, long by);
// The full path a row carries, or null.
const wxString* RowPath(wxListCtrl* list, long row);
// The full paths of a list's rows, top to bottom.
wxArrayString ListPaths(wxListCtrl* list);
// Removes every row and releases each row's path once.
void ClearRows(wxListCtrl* list);
// The size column's text for the file at path: "123 KB".
wxString SizeText(const wxString& path);
// Keys that delete the focused row.
bool IsDeleteKey(int code);

#endif
