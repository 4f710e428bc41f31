// The waveform strip beside the player, with a mark where each watermark copy sounds.
#include "WaveformStrip.h"

#include "Placement.h"

#include <wx/control.h>
#include <wx/dcbuffer.h>
#include <wx/dcgraph.h>

#include <algorithm>
#include <cmath>

wxDEFINE_EVENT(EVT_WAVEFORM_SEEK, wxCommandEvent);

namespace {

const char* const kClickTip = "Click to play from there";

} // namespace

StripPlan PlanStrip(double seconds, const RenderSettings& settings,
                    const std::vector<double>& watermarkSeconds, const LoudnessProfile* music) {
    StripPlan plan;
    const int whole = static_cast<int>(std::max(0.0, std::floor(seconds)));
    plan.length = std::max(0.0, seconds);
    int placedOn = whole;
    const int clipFrom = ClipFrom(whole, settings.clipLength, settings.clipStart);
    if (clipFrom >= 0) {
        plan.from = clipFrom;
        plan.length = settings.clipLength;
        placedOn = settings.clipLength;
    }
    if (watermarkSeconds.empty())
        return plan;
    const std::vector<int> regular =
        WatermarkPositions(placedOn, settings.start, settings.interval);
    std::vector<double> positions(regular.begin(), regular.end());
    if (settings.vary > 0 && music) {
        VaryRequest request;
        request.vary = settings.vary;
        request.seed = settings.seed;
        for (size_t k = 0; k < regular.size(); ++k)
            request.soundSeconds.push_back(
                watermarkSeconds[WatermarkOfCopy(k, watermarkSeconds.size())]);
        request.music = music;
        request.musicOffset = std::max(clipFrom, 0);
        positions = VariedPositions(regular, placedOn, request);
    }
    for (size_t k = 0; k < positions.size(); ++k) {
        const size_t file = WatermarkOfCopy(k, watermarkSeconds.size());
        double length = watermarkSeconds[file];
        // A clip is cut at its end, a copy that would pass it too.
        if (clipFrom >= 0)
            length = std::min(length, settings.clipLength - positions[k]);
        plan.marks.push_back(
            {plan.from + positions[k], length, file, -static_cast<double>(settings.duck)});
    }
    return plan;
}

WaveformStrip::WaveformStrip(wxWindow* parent, wxWindowID id) {
    // Painted whole by OnPaint, so the toolkit need not clear it first.
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    Create(parent, id, wxDefaultPosition, wxDefaultSize, wxBORDER_NONE | wxFULL_REPAINT_ON_RESIZE,
           "waveform");
    SetToolTip(kClickTip);
    Bind(wxEVT_PAINT, &WaveformStrip::OnPaint, this);
    Bind(wxEVT_LEFT_DOWN, &WaveformStrip::OnLeftDown, this);
}

wxSize WaveformStrip::DoGetBestSize() const {
    // Low enough to leave the player's row as high as its buttons make it.
    return wxSize(160, 30);
}

void WaveformStrip::SetPlan(const StripPlan& plan) {
    m_plan = plan;
    Refresh();
}

void WaveformStrip::SetEnvelope(std::shared_ptr<const Envelope> envelope) {
    m_envelope = std::move(envelope);
    Refresh();
}

void WaveformStrip::SetText(const wxString& text) {
    if (text == m_text)
        return;
    m_text = text;
    // A long reason is cut short on the strip: the tip tells it whole.
    SetToolTip(text.empty() ? wxString(kClickTip) : text + "\n\n" + kClickTip);
    Refresh();
}

void WaveformStrip::SetPlayhead(double seconds) {
    if (seconds < 0 && m_playhead < 0)
        return;
    m_playhead = seconds;
    Refresh();
}

double WaveformStrip::ColumnOf(double seconds) const {
    const int width = GetClientSize().x;
    return m_plan.length > 0 ? (seconds - m_plan.from) / m_plan.length * width : 0;
}

double WaveformStrip::SecondsAt(int x) const {
    const int width = std::max(1, GetClientSize().x);
    const int column = std::min(std::max(x, 0), width - 1);
    return m_plan.from + m_plan.length * column / width;
}

std::vector<float> WaveformStrip::ColumnPeaks() const {
    const int width = std::max(0, GetClientSize().x);
    std::vector<float> peaks(width, 0.0f);
    if (!m_envelope || m_plan.length <= 0)
        return peaks;
    const double column = m_plan.length / width;
    for (int x = 0; x < width; ++x) {
        const double at = SecondsAt(x);
        peaks[x] = std::min(1.0f, m_envelope->PeakBetween(at, at + column));
    }
    // The music as the render writes it: lower under each copy it dips for.
    for (const WatermarkMark& mark : m_plan.marks) {
        const float factor = static_cast<float>(std::pow(10.0, mark.musicGain / 20));
        const int left = std::max(0, static_cast<int>(std::ceil(ColumnOf(mark.start))));
        const int right =
            std::min(width, static_cast<int>(std::floor(ColumnOf(mark.start + mark.length))));
        for (int x = left; x < right; ++x)
            peaks[x] *= factor;
    }
    return peaks;
}

wxColour WaveformStrip::MarkColour(size_t watermark) {
    static const unsigned char colours[][3] = {{31, 119, 180}, {255, 127, 14},  {44, 160, 44},
                                               {214, 39, 40},  {148, 103, 189}, {140, 86, 75}};
    const auto& c = colours[watermark % (sizeof colours / sizeof colours[0])];
    return wxColour(c[0], c[1], c[2]);
}

void WaveformStrip::OnPaint(wxPaintEvent&) {
    wxAutoBufferedPaintDC buffered(this);
    // Through a graphics context: the marks are see-through over the waveform.
    wxGCDC dc(buffered);
    const wxSize size = GetClientSize();
    const int middle = size.y / 2;
    dc.SetBackground(wxBrush(wxColour(252, 252, 250)));
    dc.Clear();
    dc.SetPen(wxPen(wxColour(205, 205, 200)));
    dc.DrawLine(0, middle, size.x, middle);

    const std::vector<float> peaks = ColumnPeaks();
    dc.SetPen(wxPen(wxColour(105, 110, 118)));
    for (int x = 0; x < static_cast<int>(peaks.size()); ++x) {
        const int half = static_cast<int>(std::lround(peaks[x] * (middle - 1)));
        if (half > 0)
            dc.DrawLine(x, middle - half, x, middle + half + 1);
    }

    for (const WatermarkMark& mark : m_plan.marks) {
        const wxColour colour = MarkColour(mark.watermark);
        const int left = static_cast<int>(std::floor(ColumnOf(mark.start)));
        const int right = static_cast<int>(std::ceil(ColumnOf(mark.start + mark.length)));
        dc.SetPen(*wxTRANSPARENT_PEN);
        dc.SetBrush(wxBrush(wxColour(colour.Red(), colour.Green(), colour.Blue(), 90)));
        dc.DrawRectangle(left, 0, std::max(2, right - left), size.y);
        // The start stands out where copies follow closely.
        dc.SetBrush(wxBrush(colour));
        dc.DrawRectangle(left, 0, 2, size.y);
    }

    if (m_playhead >= 0 && m_plan.length > 0) {
        const int x = static_cast<int>(std::lround(ColumnOf(m_playhead)));
        dc.SetPen(wxPen(*wxBLACK, 2));
        dc.DrawLine(x, 0, x, size.y);
    }

    if (!m_text.empty()) {
        dc.SetFont(GetFont());
        dc.SetTextForeground(wxColour(60, 60, 60));
        const wxString shown = wxControl::Ellipsize(m_text, dc, wxELLIPSIZE_END, size.x - 8);
        const wxSize extent = dc.GetTextExtent(shown);
        const wxRect box((size.x - extent.x) / 2 - 3, (size.y - extent.y) / 2 - 1, extent.x + 6,
                         extent.y + 2);
        dc.SetPen(*wxTRANSPARENT_PEN);
        dc.SetBrush(wxBrush(wxColour(252, 252, 250, 220)));
        dc.DrawRectangle(box);
        dc.DrawText(shown, box.x + 3, box.y + 1);
    }
}

void WaveformStrip::OnLeftDown(wxMouseEvent& event) {
    event.Skip();
    if (m_plan.length <= 0)
        return;
    wxCommandEvent seek(EVT_WAVEFORM_SEEK, GetId());
    seek.SetEventObject(this);
    seek.SetExtraLong(std::lround(SecondsAt(event.GetX()) * 1000));
    ProcessWindowEvent(seek);
}
