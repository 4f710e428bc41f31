// Measures the files added to the window's lists in the background: rows at
// once, lengths as they come, a count and a way to stop.
#ifndef LISTMEASURE_H
#define LISTMEASURE_H

#include "FileScreen.h"
#include "SoxJobs.h"

#include <wx/event.h>
#include <wx/listctrl.h>

#include <cstddef>
#include <functional>
#include <map>
#include <memory>

// Adds files to the track and watermark lists without holding the window.
// Each file that exists and may be read gets its row at once, in the order
// given, with "..." for its length, and is measured on every core: its
// length is shown once known, and a file refused then loses its row (a
// watermark is checked for a sound too). Rows are found by the path object
// they carry, wherever a move or a delete has put them meanwhile. Adds made
// before the last measure ends are one measuring: one count, one message
// naming every file refused, once it is over.
class ListMeasure : public wxEvtHandler {
public:
    // What the window shows of the measuring.
    struct View {
        // The row of path in list was measured and stays; its length is shown.
        std::function<void(wxListCtrl* list, const wxString& path, const FileLength& length)>
            measured;
        // done of total files measured so far: as measuring begins, and as it goes on.
        std::function<void(size_t done, size_t total)> progress;
        // The measuring is over, finished or stopped: refused names the files
        // not added, or is empty.
        std::function<void(const wxString& refused)> ended;
    };

    ListMeasure(wxListCtrl* tracks, wxListCtrl* watermarks, View view);
    ~ListMeasure() override;
    ListMeasure(const ListMeasure&) = delete;
    ListMeasure& operator=(const ListMeasure&) = delete;

    // Rows for paths at the end of list, measured from now on.
    void Add(wxListCtrl* list, const wxArrayString& paths);
    // Ends the measuring: the rows not measured yet go, the others stay.
    void Stop();
    // Ends the measuring at once, touching no row and telling nothing: the
    // window is going.
    void Abandon();
    // The row carrying path is going: its measure is not wanted any more.
    void Forget(const wxString* path);
    // Every row of list is going.
    void ForgetRows(wxListCtrl* list);

    // From the first add until its measuring is over and told.
    bool Busy() const { return m_active; }
    // Whether the row carrying path waits for its measure.
    bool Waits(const wxString* path) const { return m_waiting.count(path) != 0; }
    // Whether any row of list waits for its measure.
    bool Waits(wxListCtrl* list) const;

private:
    // A row waiting for its measure.
    struct Waiting {
        wxListCtrl* list;
        long row;     // where it was put: looked at first
        size_t place; // among the files offered to its list's screen
        FileLength length;
    };
    using WaitingRows = std::map<const wxString*, Waiting>;

    FileScreen& ScreenOf(wxListCtrl* list) {
        return list == m_watermarks ? m_watermarkScreen : m_trackScreen;
    }
    // The row carrying row as its path object, if it waits and is path's.
    WaitingRows::iterator Find(const wxString* row, const wxString& path);
    // The index of waiting's row, or -1.
    long RowOf(const WaitingRows::iterator& waiting) const;
    // Measures the file of row, whose header has been read, unless its row went.
    void MeasureRow(const wxString& path, const wxString* row);
    void Measured(const wxString* row, const wxString& path, const FileLength& length);
    void Checked(const wxString* row, const wxString& path, const wxString& problem);
    // The row stays, with its length.
    void Keep(WaitingRows::iterator waiting, const wxString& path);
    // The row goes.
    void Remove(WaitingRows::iterator waiting);
    // Tells the count; once no row waits, ends the measuring after the
    // queue's round, so that no notice is shown from within a queue.
    void Progressed();
    void Finish();
    // Ends every process of the measuring; no job is told.
    void DropQueues();

    wxListCtrl* m_tracks;
    wxListCtrl* m_watermarks;
    View m_view;
    // Copies share the headers it read, for later adds of the same files.
    CSoxHandler m_measure;

    bool m_active = false;
    bool m_finishDue = false;
    size_t m_total = 0; // rows given this measuring
    WaitingRows m_waiting;
    FileScreen m_trackScreen{false};
    FileScreen m_watermarkScreen{true};

    // Last, so that they go first: their jobs refer to the rest. Short runs
    // (headers, watermarks) apart from the tracks' decodes, so that a later
    // add's never wait for an earlier add's decodes.
    std::unique_ptr<SoxQueue> m_shortQueue;
    std::unique_ptr<SoxQueue> m_lengthQueue;
};

#endif
