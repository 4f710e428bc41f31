#include "testutil.h"

#include <wx/app.h>
#include <wx/evtloop.h>
#include <wx/stattext.h>
#include <wx/utils.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <unistd.h>

wxArrayString Strings(std::initializer_list<wxString> texts) {
    return wxArrayString(texts.size(), texts.begin());
}

void Spoil(const std::string& path, int bytes) {
    ASSERT_EQ(0, Shell("head -c " + std::to_string(bytes) + " /dev/urandom > " + ShellQuote(path)));
}

void PrepareWatermarking(CSoxHandler& sox, const std::string& track,
                         const std::vector<std::string>& watermarks, const std::string& folder,
                         int start, int interval, const wxString& format) {
    wxArrayString marks;
    for (const std::string& mark : watermarks)
        marks.Add(Wx(mark));
    sox.SetOperation(SOX_ADD_WATERMARK);
    sox.SetInputFile(Wx(track));
    sox.SetOutputFile(Wx(folder));
    sox.SetWaterMarks(marks);
    sox.SetStartTime(start);
    sox.SetWaterMarkInterval(interval);
    sox.SetFileFormat(format);
}

CommandLog::CommandLog(std::function<void(const wxString&)> also) {
    CSoxHandler::s_commandObserver = [this, also](const wxString& command) {
        commands.Add(command);
        if (also)
            also(command);
    };
}

size_t CommandLog::Mixes() const {
    return std::count_if(commands.begin(), commands.end(),
                         [](const wxString& command) { return command.Contains(" -v 1 "); });
}

void BundleTest::SetUp() {
    ASSERT_EQ(0, symlink(VELISTO_BUNDLE_DIR, Work("Velisto.app").c_str()));
    MakeFolders({"home", "tmp", "in", "wm", "out"});
    m_oldCwd = wxGetCwd();
    wxGetEnv("HOME", &m_oldHome);
    wxGetEnv("TMPDIR", &m_oldTmp);
    wxSetEnv("HOME", Wx(Home()));
    // A run's private folders go here, where a test can see them.
    wxSetEnv("TMPDIR", Wx(Work("tmp")));
    ASSERT_TRUE(wxSetWorkingDirectory(Wx(m_dir.path())));
}

void BundleTest::TearDown() {
    wxSetWorkingDirectory(m_oldCwd);
    wxSetEnv("HOME", m_oldHome);
    wxSetEnv("TMPDIR", m_oldTmp);
}

wxArrayString BundleTest::Files(std::initializer_list<std::string> names) const {
    wxArrayString paths;
    for (const std::string& name : names)
        paths.Add(Wx(Work(name)));
    return paths;
}

void BundleTest::MakeFolders(std::initializer_list<std::string> names) const {
    for (const std::string& name : names)
        ASSERT_EQ(0, Shell("mkdir -p " + ShellQuote(Work(name))));
}

RenderSettings BundleTest::RunSettings(OutputFormat format) const {
    RenderSettings settings;
    settings.start = 1;
    settings.interval = 5;
    settings.format = format;
    settings.folder = Wx(Work("out"));
    return settings;
}

CMainFormImp* NewMainWindow() {
    auto* window =
        new CMainFormImp(nullptr, wxID_ANY, "Fenwaro Watermark Generator V1.01", wxDefaultPosition,
                         wxSize(810, 590), wxDEFAULT_FRAME_STYLE | wxTAB_TRAVERSAL);
    // Under a window manager the window is shown once its frame is measured,
    // first at a stand-in size: tests see it shown at its own.
    auto shown = std::make_shared<bool>(false);
    window->Bind(wxEVT_SHOW, [shown](wxShowEvent& event) {
        event.Skip();
        *shown = *shown || event.IsShown();
    });
    window->Show(true);
    WaitUntil(
        [window, shown] {
            const wxSize client = window->GetClientSize(), frame = window->GetSize();
            return *shown && client.x > frame.x / 2 && client.y > frame.y / 2;
        },
        10000);
    return window;
}

void DestroyWindow::operator()(wxWindow* window) const {
    window->Destroy();
    wxTheApp->ProcessPendingEvents();
    wxTheApp->ProcessIdle();
}

bool WaitUntil(const std::function<bool()>& pred, int timeoutMs) {
    wxStopWatch watch;
    while (!pred()) {
        if (watch.Time() > timeoutMs)
            return false;
        wxEventLoopBase::GetActive()->YieldFor(wxEVT_CATEGORY_ALL);
        wxMilliSleep(5);
    }
    return true;
}

bool Measured(const Probe& p, int timeoutMs) {
    return WaitUntil([&p] { return !p.measuring(); }, timeoutMs);
}

void Click(wxWindow* button) {
    wxCommandEvent event(wxEVT_BUTTON, button->GetId());
    event.SetEventObject(button);
    button->HandleWindowEvent(event);
}

void Slide(wxSlider* slider, int position, wxEventType type) {
    slider->SetValue(position);
    wxScrollEvent event(type, slider->GetId(), position, wxHORIZONTAL);
    event.SetEventObject(slider);
    slider->HandleWindowEvent(event);
}

void Spin(wxSpinCtrl* spin, int value) {
    spin->SetValue(value);
    wxSpinEvent event(wxEVT_SPINCTRL, spin->GetId());
    event.SetEventObject(spin);
    event.SetPosition(value);
    spin->HandleWindowEvent(event);
}

void Choose(wxChoice* choice, int selection) {
    EXPECT_NE(wxNOT_FOUND, selection);
    choice->SetSelection(selection);
    wxCommandEvent event(wxEVT_CHOICE, choice->GetId());
    event.SetEventObject(choice);
    event.SetInt(selection);
    choice->HandleWindowEvent(event);
}

void Select(wxListCtrl* list, std::initializer_list<long> rows) {
    for (long row = 0; row < list->GetItemCount(); ++row)
        list->SetItemState(row, 0, wxLIST_STATE_SELECTED);
    for (long row : rows)
        list->SetItemState(row, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
}

wxString Column(wxListCtrl* list, int column) {
    wxString text;
    for (long row = 0; row < list->GetItemCount(); ++row)
        text += (row ? "," : "") + list->GetItemText(row, column);
    return text;
}

static Answer<wxMessageDialog> MessageAnswer(const wxString& text, wxString* seen, int answer) {
    return Answer<wxMessageDialog>([=](wxMessageDialog* dialog) {
               if (seen)
                   *seen = dialog->GetMessage();
               else
                   EXPECT_EQ(text, dialog->GetMessage());
               EXPECT_EQ(g_programName, dialog->GetCaption());
               // The box offers the answer given: OK alone, or Yes and No.
               const long style = dialog->GetMessageDialogStyle();
               if (answer == wxID_OK)
                   EXPECT_TRUE((style & wxOK) && !(style & wxYES_NO)) << style;
               else
                   EXPECT_EQ(wxYES_NO, style & wxYES_NO) << style;
               return answer;
           })
        .Describe("message \"" + text + "\"");
}

Answer<wxMessageDialog> MessageExpect(const wxString& text, int answer) {
    return MessageAnswer(text, nullptr, answer);
}

Answer<wxMessageDialog> MessageExpect(wxString* seen) {
    return MessageAnswer("", seen, wxID_OK);
}

Answer<wxTextEntryDialog> TextEntryExpect(const wxString& title, const wxString& message,
                                          const wxString& offered, const wxString& typed,
                                          int answer) {
    return Answer<wxTextEntryDialog>([=](wxTextEntryDialog* dialog) {
        wxString shown;
        for (wxWindow* child : dialog->GetChildren())
            shown += dynamic_cast<wxStaticText*>(child) ? child->GetLabel() : wxString();
        EXPECT_EQ(Strings({title, message, offered}),
                  Strings({dialog->GetTitle(), shown, dialog->GetValue()}));
        dialog->SetValue(typed);
        return answer;
    });
}

std::string Describe(const Preset& p) {
    wxString level = wxString::Format("%d", p.level);
    if (p.levelMode != LevelMode::AsRecorded)
        level += " LU " + LevelModeName(p.levelMode);
    if (p.duck != 0)
        level += wxString::Format(" dip %d", p.duck);
    wxString text = wxString::Format(
        "start %d, every %d, level %s,%s%s %s at %d kbit/s\n", p.start, p.interval, level,
        p.mono ? " mono" : "", p.merge ? " merged" : "", FormatExtension(p.format), p.bitrate);
    text += "folder \"" + p.folder + "\", " + (p.suffix ? "suffix" : "prefix") + " \"" + p.affix +
            "\"\nwatermarks: " + wxJoin(p.watermarks, '|', 0);
    const Preset plain;
    if (p.clipLength != plain.clipLength || p.clipStart != plain.clipStart ||
        p.clipFade != plain.clipFade)
        text +=
            wxString::Format("\nclip %d s from %d, fade %d", p.clipLength, p.clipStart, p.clipFade);
    if (p.vary != plain.vary || p.seed != plain.seed)
        text += wxString::Format("\nvary by %d s, seed %u", p.vary, p.seed);
    return text.utf8_string();
}

wxArrayString ResultsDialogProbe<ResultsControls>::lines() const {
    wxArrayString lines;
    for (long row = 0; row < d.m_resultsList->GetItemCount(); ++row)
        lines.Add(d.m_resultsList->GetItemText(row, 0));
    return lines;
}

Answer<ProcessCompleteImp> ResultsExpect(wxArrayString* seen) {
    return Answer<ProcessCompleteImp>([seen](ProcessCompleteImp* dialog) {
        ResultsProbe probe{*dialog};
        *seen = Strings({dialog->GetTitle(), probe.folder()});
        WX_APPEND_ARRAY(*seen, probe.lines());
        return wxID_CLOSE;
    });
}
