// The window's watermark and output controls, read as a preset and set from one.
#ifndef SETTINGSCONTROLS_H
#define SETTINGSCONTROLS_H

#include "PresetStore.h"

#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/radiobut.h>
#include <wx/slider.h>
#include <wx/spinctrl.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <utility>
#include <vector>

// The controls are the one copy of the settings shown; this reads and sets
// them. The output folder and the watermark list are the window's own.
class SettingsControls {
public:
    struct Controls {
        wxChoice* start;
        wxChoice* repeat;
        wxSlider* level;
        wxStaticText* levelLabel;
        wxChoice* levelMode; // LevelModeItems(), in LevelMode's order
        wxChoice* dip;       // DipItems(): none, then 1 to g_maxDuck dB
        wxSpinCtrl* vary;    // seconds, 0 to g_maxVary
        wxCheckBox* mono;
        wxCheckBox* merge;
        // Each format's button, in the window's order.
        std::vector<std::pair<wxRadioButton*, OutputFormat>> formats;
        wxSlider* quality;
        wxStaticText* qualityLabel;
        wxChoice* clip;
        wxTextCtrl* clipStart;
        wxChoice* clipFade;
        wxChoice* affix;
        wxTextCtrl* affixText;
    };

    // Sets the controls' ranges and their state before any preset is shown.
    explicit SettingsControls(const Controls& controls);

    // Every setting the controls show, into preset.
    void Read(Preset& preset) const;
    // Sets every control from preset.
    void Show(const Preset& preset);
    // Shows the bitrate of a slider position in its label; an invalid position changes nothing.
    void ShowQualityPosition(int position);
    // Sets the watermark level control (clamped to its range) and its label,
    // in dB or LU as the level's mode says.
    void ShowLevel(int level);
    LevelMode SelectedLevelMode() const;
    // Enables the quality slider for the formats that take a bitrate (MP3,
    // Ogg, Opus, M4A); label and position stay for a later return.
    void EnableQualityForFormat();
    // The clip's start and fade mean something only when a clip is chosen.
    void EnableClipSettings();
    // True unless a clip is chosen and its start cannot be read.
    bool ClipStartReadable() const;
    OutputFormat SelectedFormat() const;

private:
    Controls m_c;
};

// The level control's label: "Watermark level: -6 dB", "+3 dB" above 0; in
// LU against the music ("Watermark level: -6 LU").
wxString LevelText(int level, LevelMode mode = LevelMode::AsRecorded);
// The entries of the level's mode and of the dip, as the layout lists them.
wxArrayString LevelModeItems();
wxArrayString DipItems();

#endif
