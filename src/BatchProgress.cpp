// velisto-batch's output on the terminal: lines as UTF-8, and the progress
// of a run on standard error.
#include "BatchProgress.h"

#include <sys/ioctl.h>
#include <unistd.h>

void Print(FILE* stream, const wxString& text) {
    fputs(text.utf8_str(), stream);
    fflush(stream);
}

void Progress::Draw(size_t count) {
    const int width = 24;
    const int filled = count ? static_cast<int>(width * m_finished / count) : width;
    wxString line = "\r[" + wxString('#', filled) + wxString('.', width - filled) + "] " +
                    wxString::Format("%zu/%zu %3zu%% ", m_finished, count,
                                     count ? 100 * m_finished / count : 100);
    struct winsize size;
    const size_t columns =
        ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : 80;
    // One character is kept free: writing the last column wraps on some terminals.
    if (line.length() < columns)
        line += m_current.Left(columns - line.length() - 1);
    Print(stderr, line + "\033[K");
    m_drawn = true;
}
