// The columns and row texts of the window's track and watermark lists.
#ifndef FILELISTROWS_H
#define FILELISTROWS_H

#include <wx/listctrl.h>

// Both lists' columns: number, file name, size and length.
void AddFileColumns(wxListCtrl* tracks, wxListCtrl* watermarks);
// Appends a row numbered after the last, with these texts; returns its index.
long AppendFileRow(wxListCtrl* list, const wxString& name, const wxString& size,
                   const wxString& length);
// The size column's text for the file at path: "123 KB".
wxString SizeText(const wxString& path);
// Keys that delete the focused row.
bool IsDeleteKey(int code);

#endif
