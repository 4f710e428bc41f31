// velisto-batch's output on the terminal: lines as UTF-8, and the progress
// of a run on standard error.
#ifndef BATCHPROGRESS_H
#define BATCHPROGRESS_H

#include "RenderRun.h"

#include <wx/string.h>

#include <csignal>
#include <cstdio>

// Writes text as UTF-8 and flushes it, so that lines of jobs run together
// (GNU parallel) never mix.
void Print(FILE* stream, const wxString& text);

// Progress on standard error: a bar redrawn in place on a terminal, one line
// per started track otherwise (a log, a pipe, GNU parallel).
class Progress : public RenderProgress {
public:
    // stop: nonzero once a signal asked the run to stop.
    explicit Progress(const volatile std::sig_atomic_t& stop)
        : m_stop(stop), m_bar(isatty(STDERR_FILENO) != 0) {}

    void TrackStarted(size_t index, size_t count, const wxString& name) override {
        m_current = name;
        if (m_bar)
            Draw(count);
        else
            Print(stderr, wxString::Format("%zu/%zu ", index + 1, count) + name + "\n");
    }
    void TracksFinished(size_t finished, size_t count) override {
        m_finished = finished;
        if (m_bar)
            Draw(count);
    }
    bool CancelRequested() override { return m_stop != 0; }

    // Clears the bar so the result lines start on a clean line.
    void Done() {
        if (m_drawn)
            Print(stderr, "\r\033[K");
    }

private:
    void Draw(size_t count);

    const volatile std::sig_atomic_t& m_stop;
    bool m_bar;
    bool m_drawn = false;
    size_t m_finished = 0;
    wxString m_current;
};

#endif
