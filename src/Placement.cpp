// Where the watermark copies of a track go, and which part of it a clip takes.
#include "Placement.h"

#include <algorithm>

wxString ClockText(int seconds) {
    return wxString::Format("%d:%02d", seconds / 60, seconds % 60);
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
