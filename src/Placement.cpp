// Where the watermark copies of a track go, and which part of it a clip takes.
#include "Placement.h"

#include <algorithm>

wxString ClockText(int seconds) {
    return wxString::Format("%d:%02d", seconds / 60, seconds % 60);
}

wxString LengthText(int seconds) {
    return wxString::Format("%02d:%02d", seconds / 60, seconds % 60);
}

bool ParseClockText(const wxString& text, int& seconds) {
    const wxString trimmed = wxString(text).Trim(true).Trim(false);
    const bool clock = trimmed.Contains(":");
    const wxString minutesPart = clock ? trimmed.BeforeFirst(':') : wxString("0");
    const wxString secondsPart = clock ? trimmed.AfterFirst(':') : trimmed;
    auto digits = [](const wxString& part) {
        return !part.empty() && part.find_first_not_of("0123456789") == wxString::npos;
    };
    unsigned long minutes = 0, rest = 0;
    if (!digits(minutesPart) || !digits(secondsPart) || !minutesPart.ToULong(&minutes) ||
        !secondsPart.ToULong(&rest) || (clock && (rest > 59 || secondsPart.length() != 2)))
        return false;
    const unsigned long total = minutes * 60 + rest;
    if (minutes > static_cast<unsigned long>(g_maxClipStart) || total > g_maxClipStart)
        return false;
    seconds = static_cast<int>(total);
    return true;
}

std::vector<int> WatermarkPositions(int length, int start, int interval) {
    std::vector<int> positions;
    if (interval <= 0 || start < 0)
        return positions;
    for (long long at = start; at <= static_cast<long long>(length) - 1; at += interval)
        positions.push_back(static_cast<int>(at));
    return positions;
}

int ClipFrom(int length, int clipLength, int clipStart) {
    // length drops the fraction: the track holds at least that much.
    if (clipLength <= 0 || length < clipLength)
        return -1;
    return std::min(std::max(clipStart, 0), length - clipLength);
}
