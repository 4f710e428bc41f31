// The window's watermark and output controls, read as a preset and set from one.
#include "SettingsControls.h"

#include "Placement.h"

#include <wx/sizer.h>
#include <wx/utils.h>

#include <algorithm>

wxString LevelText(int level, LevelMode mode) {
    return wxString::Format(level > 0 ? "Watermark level: +%d %s" : "Watermark level: %d %s", level,
                            mode == LevelMode::AsRecorded ? "dB" : "LU");
}

wxArrayString LevelModeItems() {
    wxArrayString items;
    items.Add("dB as recorded");
    items.Add("LU vs. whole track");
    items.Add("LU vs. music there");
    return items;
}

wxArrayString DipItems() {
    wxArrayString items;
    items.Add("No dip");
    for (int dB = 1; dB <= g_maxDuck; ++dB)
        items.Add(wxString::Format("Dip %d dB", dB));
    return items;
}

SettingsControls::SettingsControls(const Controls& controls) : m_c(controls) {
    // Wide enough for every value, so the slider does not move as it changes.
    m_c.levelLabel->SetMinSize(
        wxSize(std::max(m_c.levelLabel->GetTextExtent(LevelText(g_minWatermarkLevel)).x,
                        m_c.levelLabel
                            ->GetTextExtent(LevelText(g_minWatermarkLevel, LevelMode::AgainstTrack))
                            .x),
               -1));
    m_c.quality->SetRange(0, g_qualityPositionCount - 1);
    m_c.quality->SetValue(SliderPositionForBitrate(InitialPreset().bitrate));
    ShowQualityPosition(m_c.quality->GetValue());
    EnableQualityForFormat();
    EnableClipSettings();
}

OutputFormat SettingsControls::SelectedFormat() const {
    for (const auto& button : m_c.formats) {
        if (button.first->GetValue())
            return button.second;
    }
    return OutputFormat::Mp3;
}

void SettingsControls::Read(Preset& preset) const {
    preset.start = StartSecondsForIndex(m_c.start->GetSelection());
    preset.interval = RepeatSecondsForIndex(m_c.repeat->GetSelection());
    preset.level = m_c.level->GetValue();
    preset.levelMode = SelectedLevelMode();
    preset.duck = std::max(0, m_c.dip->GetSelection());
    preset.vary = m_c.vary->GetValue();
    preset.mono = m_c.mono->GetValue();
    preset.merge = m_c.merge->GetValue();
    preset.format = SelectedFormat();
    preset.bitrate = BitrateForSliderPosition(m_c.quality->GetValue());
    preset.suffix = m_c.affix->GetSelection() == 1;
    preset.affix = m_c.affixText->GetValue();
    preset.clipLength = ClipSecondsForIndex(m_c.clip->GetSelection());
    // Unreadable text counts as the track's start; the window tells the user.
    if (!ParseClockText(m_c.clipStart->GetValue(), preset.clipStart))
        preset.clipStart = 0;
    preset.clipFade = m_c.clipFade->GetSelection();
}

void SettingsControls::Show(const Preset& preset) {
    m_c.start->SetSelection(IndexForStartSeconds(preset.start));
    m_c.repeat->SetSelection(IndexForRepeatSeconds(preset.interval));
    m_c.levelMode->SetSelection(static_cast<int>(preset.levelMode));
    m_c.dip->SetSelection(wxClip(preset.duck, 0, g_maxDuck));
    m_c.vary->SetValue(wxClip(preset.vary, 0, g_maxVary));
    ShowLevel(preset.level);
    m_c.mono->SetValue(preset.mono);
    m_c.merge->SetValue(preset.merge);
    for (const auto& button : m_c.formats) {
        if (button.second == preset.format)
            button.first->SetValue(true);
    }
    m_c.quality->SetValue(SliderPositionForBitrate(preset.bitrate));
    ShowQualityPosition(m_c.quality->GetValue());
    EnableQualityForFormat();
    m_c.affix->SetSelection(preset.suffix ? 1 : 0);
    m_c.affixText->ChangeValue(preset.affix);
    m_c.clip->SetSelection(std::max(0, IndexForClipSeconds(preset.clipLength)));
    m_c.clipStart->ChangeValue(ClockText(preset.clipStart));
    m_c.clipFade->SetSelection(wxClip(preset.clipFade, 0, g_maxClipFade));
    EnableClipSettings();
}

void SettingsControls::ShowQualityPosition(int position) {
    const int bitrate = BitrateForSliderPosition(position);
    if (bitrate < 0)
        return;
    m_c.qualityLabel->SetLabel(wxString::Format("%d kbits", bitrate));
    m_c.qualityLabel->GetContainingSizer()->Layout();
}

LevelMode SettingsControls::SelectedLevelMode() const {
    const int selection = m_c.levelMode->GetSelection();
    return selection == static_cast<int>(LevelMode::AgainstTrack) ? LevelMode::AgainstTrack
           : selection == static_cast<int>(LevelMode::AgainstMusicThere)
               ? LevelMode::AgainstMusicThere
               : LevelMode::AsRecorded;
}

void SettingsControls::ShowLevel(int level) {
    m_c.level->SetValue(wxClip(level, g_minWatermarkLevel, g_maxWatermarkLevel));
    m_c.levelLabel->SetLabel(LevelText(m_c.level->GetValue(), SelectedLevelMode()));
    m_c.levelLabel->GetContainingSizer()->Layout();
}

void SettingsControls::EnableQualityForFormat() {
    m_c.quality->Enable(FormatTakesBitrate(SelectedFormat()));
}

void SettingsControls::EnableClipSettings() {
    const bool clipping = ClipSecondsForIndex(m_c.clip->GetSelection()) > 0;
    m_c.clipStart->Enable(clipping);
    m_c.clipFade->Enable(clipping);
}

bool SettingsControls::ClipStartReadable() const {
    int seconds = 0;
    return ClipSecondsForIndex(m_c.clip->GetSelection()) <= 0 ||
           ParseClockText(m_c.clipStart->GetValue(), seconds);
}
