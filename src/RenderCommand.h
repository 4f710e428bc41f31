// The command texts of a render (a track mixed with its beds) and of a join.
#ifndef RENDERCOMMAND_H
#define RENDERCOMMAND_H

#include "AudioHeader.h"
#include "Formats.h"
#include "LevelPlan.h"

#include <wx/arrstr.h>
#include <wx/string.h>

#include <vector>

// The effects that cut and fade a clip of clipLength seconds from second
// clipFrom (-1: the whole track, only faded), or empty when there is no clip.
wxString ClipEffects(int clipLength, int clipFrom, int fade);

// What a render's SoX command is made of.
struct MixInputs {
    wxString track;
    AudioHeader trackHeader;
    // Effects on the track alone (its clip, the first seconds), before the mix.
    wxString trackEffects;
    // The track decoded in a process of its own even without effects.
    bool decodeApart = false;
    // Effect chains that dip the music under the copies (DipChains), run
    // on the track's sound after its own effects; empty: no dip.
    wxString dipChains;
    wxArrayString beds; // pipe inputs, as WatermarkBeds makes them
    double bedGain = 0; // dB on every bed; the track keeps its own level
    bool mono = false;
    OutputFormat format = OutputFormat::Mp3;
    int bitrate = 0;
    wxString output;
};
// SoX effect chains (separated by " : ") that dip a sound of rate as windows
// say, ramping down and up along a raised cosine, sample-exact, and pass the
// rest unchanged; empty when there is no window.
wxString DipChains(const std::vector<DipWindow>& windows, long rate);

// The mix command, to run in the resource folder.
wxString MixCommand(const MixInputs& mix);

// A file to join, with its header when SoX could read it.
struct JoinPart {
    wxString path;
    AudioHeader header;
    bool known = false;
};
// Joins parts one after another into output, each converted to the first
// one's rate and channels; the format follows output's extension (SoX's own
// choice for a name of no known format).
wxString JoinCommand(const std::vector<JoinPart>& parts, bool mono, int bitrate,
                     const wxString& finalName, const wxString& output);

#endif
