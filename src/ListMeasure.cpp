// Measures the files added to the window's lists in the background: rows at
// once, lengths as they come, a count and a way to stop.
#include "ListMeasure.h"

#include "FileListRows.h"
#include "OutputFiles.h"

#include <wx/wupdlock.h>

#include <vector>

namespace {

// The length column of a row still being measured.
const char* const kWaitingText = "...";

} // namespace

ListMeasure::ListMeasure(wxListCtrl* tracks, wxListCtrl* watermarks, View view)
    : m_tracks(tracks), m_watermarks(watermarks), m_view(std::move(view)) {
    m_measure.SetOperation(SOX_TRACK_LENGTH);
}

ListMeasure::~ListMeasure() {
    DropQueues();
}

void ListMeasure::Add(wxListCtrl* list, const wxArrayString& paths) {
    if (!m_active) {
        m_active = true;
        m_total = 0;
        m_trackScreen = FileScreen(false);
        m_watermarkScreen = FileScreen(true);
    }
    FileScreen& screen = ScreenOf(list);
    std::vector<size_t> places;
    const wxArrayString found = screen.Existing(paths, &places);
    auto measured = std::make_shared<wxArrayString>();
    auto rows = std::make_shared<std::vector<const wxString*>>();
    {
        wxWindowUpdateLocker noRedraw(list);
        for (size_t i = 0; i < found.size(); ++i) {
            // Known at once: no row for it.
            const wxString unreadable = UnreadableFileLine(found[i]);
            if (!unreadable.empty()) {
                FileLength none;
                none.line = unreadable;
                screen.AcceptsLength(places[i], found[i], none);
                continue;
            }
            const long row = AppendPathRow(list, found[i], kWaitingText);
            const wxString* path = RowPath(list, row);
            m_waiting[path] = {list, row, places[i], FileLength()};
            measured->Add(found[i]);
            rows->push_back(path);
        }
    }
    m_total += rows->size();
    if (!m_lengthQueue) {
        m_shortQueue.reset(new SoxQueue);
        m_shortQueue->RunInBackground();
        m_lengthQueue.reset(new SoxQueue);
        m_lengthQueue->RunInBackground();
    }
    // Shown before the first measures, which may end within the reads.
    Progressed();
    ReadHeadersAhead(m_measure, *measured, *m_shortQueue,
                     [this, measured, rows](size_t first, size_t end) {
                         for (size_t i = first; i < end; ++i)
                             MeasureRow((*measured)[i], (*rows)[i]);
                     });
}

ListMeasure::WaitingRows::iterator ListMeasure::Find(const wxString* row, const wxString& path) {
    const auto waiting = m_waiting.find(row);
    // A row made since where a deleted one's path object was carries another file.
    return waiting != m_waiting.end() && *row == path ? waiting : m_waiting.end();
}

void ListMeasure::MeasureRow(const wxString& path, const wxString* row) {
    const auto waiting = Find(row, path);
    if (waiting == m_waiting.end())
        return;
    // Told by its header: no need to wait for a place in a queue.
    FileLength length;
    if (KnownLength(m_measure, path, length)) {
        Measured(row, path, length);
        return;
    }
    // Watermarks are short: they need not wait for the tracks' decodes.
    SoxQueue& queue = waiting->second.list == m_watermarks ? *m_shortQueue : *m_lengthQueue;
    queue.Add(LengthJob(m_measure, path, [this, row, path](const FileLength& length) {
        Measured(row, path, length);
    }));
}

void ListMeasure::Measured(const wxString* row, const wxString& path, const FileLength& length) {
    const auto waiting = Find(row, path);
    if (waiting == m_waiting.end())
        return; // its row went meanwhile
    FileScreen& screen = ScreenOf(waiting->second.list);
    if (!screen.AcceptsLength(waiting->second.place, path, length)) {
        Remove(waiting);
        return;
    }
    waiting->second.length = length;
    if (!screen.ForWatermarks()) {
        Keep(waiting, path);
        return;
    }
    m_shortQueue->Add(WatermarkCheckJob(
        path, [this, row, path](const wxString& problem) { Checked(row, path, problem); }));
}

void ListMeasure::Checked(const wxString* row, const wxString& path, const wxString& problem) {
    const auto waiting = Find(row, path);
    if (waiting == m_waiting.end())
        return;
    if (m_watermarkScreen.AcceptsSound(waiting->second.place, problem))
        Keep(waiting, path);
    else
        Remove(waiting);
}

long ListMeasure::RowOf(const WaitingRows::iterator& waiting) const {
    wxListCtrl* list = waiting->second.list;
    const long hint = waiting->second.row;
    if (hint < list->GetItemCount() && RowPath(list, hint) == waiting->first)
        return hint;
    // Moved, or rows above it deleted: the path object tells which it is.
    for (long row = 0; row < list->GetItemCount(); ++row) {
        if (RowPath(list, row) == waiting->first)
            return row;
    }
    return -1;
}

void ListMeasure::Keep(WaitingRows::iterator waiting, const wxString& path) {
    wxListCtrl* list = waiting->second.list;
    const FileLength length = waiting->second.length;
    const long row = RowOf(waiting);
    m_waiting.erase(waiting);
    if (row >= 0) {
        list->SetItem(row, 3, length.text);
        m_view.measured(list, path, length);
    }
    Progressed();
}

void ListMeasure::Remove(WaitingRows::iterator waiting) {
    wxListCtrl* list = waiting->second.list;
    const long row = RowOf(waiting);
    m_waiting.erase(waiting);
    if (row >= 0) {
        // Its deletion event releases the path object, and forgets nothing more.
        list->DeleteItem(row);
        for (long below = row; below < list->GetItemCount(); ++below)
            LowerNumber(list, below, 1);
    }
    Progressed();
}

void ListMeasure::Forget(const wxString* path) {
    if (m_waiting.erase(path) != 0)
        Progressed();
}

void ListMeasure::ForgetRows(wxListCtrl* list) {
    bool forgot = false;
    for (auto waiting = m_waiting.begin(); waiting != m_waiting.end();) {
        if (waiting->second.list == list) {
            waiting = m_waiting.erase(waiting);
            forgot = true;
        } else {
            ++waiting;
        }
    }
    if (forgot)
        Progressed();
}

bool ListMeasure::Waits(wxListCtrl* list) const {
    for (const auto& waiting : m_waiting) {
        if (waiting.second.list == list)
            return true;
    }
    return false;
}

void ListMeasure::Progressed() {
    if (!m_active)
        return;
    if (m_total > 0)
        m_view.progress(m_total - m_waiting.size(), m_total);
    if (m_waiting.empty() && !m_finishDue) {
        m_finishDue = true;
        CallAfter(&ListMeasure::Finish);
    }
}

void ListMeasure::Finish() {
    m_finishDue = false;
    // Another add may have come first.
    if (!m_active || !m_waiting.empty())
        return;
    m_active = false;
    m_total = 0;
    wxString refused = m_trackScreen.RefusedMessage();
    const wxString watermarks = m_watermarkScreen.RefusedMessage();
    if (!refused.empty() && !watermarks.empty())
        refused += "\n\n";
    refused += watermarks;
    m_view.ended(refused);
}

void ListMeasure::Stop() {
    if (!m_active)
        return;
    DropQueues();
    for (wxListCtrl* list : {m_tracks, m_watermarks}) {
        wxWindowUpdateLocker noRedraw(list);
        std::vector<long> unmeasured;
        for (long row = 0; row < list->GetItemCount(); ++row) {
            if (Waits(RowPath(list, row)))
                unmeasured.push_back(row);
            else if (!unmeasured.empty())
                LowerNumber(list, row, static_cast<long>(unmeasured.size()));
        }
        for (auto row = unmeasured.rbegin(); row != unmeasured.rend(); ++row) {
            // Forgotten first: the deletion event then finds nothing to forget.
            m_waiting.erase(RowPath(list, *row));
            list->DeleteItem(*row);
        }
    }
    m_waiting.clear();
    Finish();
}

void ListMeasure::Abandon() {
    DropQueues();
    m_waiting.clear();
    m_active = false;
    m_total = 0;
}

void ListMeasure::DropQueues() {
    m_shortQueue.reset();
    m_lengthQueue.reset();
}
