// The waveform strip beside the player, with a mark where each watermark copy sounds.
#ifndef WAVEFORMSTRIP_H
#define WAVEFORMSTRIP_H

#include "RenderRun.h"
#include "Envelope.h"
#include "SoxHandler.h"

#include <wx/event.h>
#include <wx/window.h>

#include <memory>
#include <vector>

// Sent by a click on the strip: GetExtraLong() is the millisecond of the
// track under the pointer.
wxDECLARE_EVENT(EVT_WAVEFORM_SEEK, wxCommandEvent);

// Where one watermark copy sounds: seconds into the track, for how long, and
// which watermark file (its place in the list) it plays.
struct WatermarkMark {
    double start = 0;
    double length = 0;
    size_t watermark = 0;
    double musicGain = 0; // dB the music dips under it, 0 or below
};

// What the strip shows of a track: the part a render writes (the clip's, or
// the whole track) and the watermark copies in it.
struct StripPlan {
    double from = 0;   // seconds into the track
    double length = 0; // seconds shown
    std::vector<WatermarkMark> marks;
};
// The plan for a track of seconds (with the fraction; copies are placed on
// its whole seconds, as the engine places them) under settings' start,
// interval and clip, with watermarks of watermarkSeconds each in list order.
// When settings vary the places, they are varied as a render varies them
// by the whole track's music; without music (not measured yet) the copies
// stay in their regular places.
StripPlan PlanStrip(double seconds, const RenderSettings& settings,
                    const std::vector<double>& watermarkSeconds,
                    const LoudnessProfile* music = nullptr);

// A picture of a track: its waveform, one column per pixel, the watermark
// copies over it coloured by file, a line where the player is, and a line of
// text while there is no waveform to show (or why there is none).
class WaveformStrip : public wxWindow {
public:
    WaveformStrip(wxWindow* parent, wxWindowID id);

    // Shows the plan's part of a track and its marks.
    void SetPlan(const StripPlan& plan);
    // The track's envelope; null leaves the strip empty.
    void SetEnvelope(std::shared_ptr<const Envelope> envelope);
    // Written across the strip ("Reading...", a reason), or empty.
    void SetText(const wxString& text);
    // The player's position in seconds into the track; below 0 for no line.
    void SetPlayhead(double seconds);

    const StripPlan& Plan() const { return m_plan; }
    const wxString& Text() const { return m_text; }
    bool HasEnvelope() const { return m_envelope != nullptr; }
    double Playhead() const { return m_playhead; }
    // The second of the track at column x.
    double SecondsAt(int x) const;
    // Each column's waveform height as drawn, 0 to 1, left to right.
    std::vector<float> ColumnPeaks() const;
    // The colour of the marks of watermark file i.
    static wxColour MarkColour(size_t watermark);

    bool AcceptsFocusFromKeyboard() const override { return false; }

protected:
    wxSize DoGetBestSize() const override;

private:
    void OnPaint(wxPaintEvent& event);
    void OnLeftDown(wxMouseEvent& event);
    // The column of a second of the track, not clamped.
    double ColumnOf(double seconds) const;

    StripPlan m_plan;
    std::shared_ptr<const Envelope> m_envelope;
    wxString m_text;
    double m_playhead = -1;
};

#endif
