#include "testutil.h"

#include <wx/app.h>
#include <wx/evtloop.h>
#include <wx/ffile.h>
#include <wx/stattext.h>
#include <wx/utils.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <unistd.h>

int Shell(const std::string& command, std::string* output) {
    std::string full = command + " 2>&1";
    FILE* pipe = popen(full.c_str(), "r");
    if (!pipe)
        return -1;
    std::string text;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        text.append(buffer, n);
    int status = pclose(pipe);
    if (output)
        *output = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string ShellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

wxArrayString Strings(std::initializer_list<wxString> texts) {
    wxArrayString out;
    for (const wxString& text : texts)
        out.Add(text);
    return out;
}

std::string Contents(const std::string& path) {
    std::string text;
    Shell("cat " + ShellQuote(path), &text);
    return text;
}

void Spoil(const std::string& path, int bytes) {
    ASSERT_EQ(0, Shell("head -c " + std::to_string(bytes) + " /dev/urandom > " + ShellQuote(path)));
}

namespace {

void MakeAudio(const std::string& path, int rate, int channels, const std::string& effects) {
    const std::string cmd = "sox -n -r " + std::to_string(rate) + " -c " +
                            std::to_string(channels) + " " + ShellQuote(path) + " " + effects;
    std::string out;
    ASSERT_EQ(0, Shell(cmd, &out)) << cmd << "\n" << out;
}

} // namespace

void MakeTone(const std::string& path, double seconds, const std::string& synth, int rate,
              int channels) {
    MakeAudio(path, rate, channels, "synth " + std::to_string(seconds) + " " + synth);
}

void MakeSilence(const std::string& path, double seconds, int rate, int channels) {
    MakeAudio(path, rate, channels, "trim 0 " + std::to_string(seconds));
}

AudioInfo Inspect(const std::string& path) {
    AudioInfo info;
    std::string out;
    if (Shell("soxi -r " + ShellQuote(path), &out) == 0)
        info.rate = std::atoi(out.c_str());
    if (Shell("soxi -c " + ShellQuote(path), &out) == 0)
        info.channels = std::atoi(out.c_str());
    if (Shell("soxi -D " + ShellQuote(path), &out) == 0)
        info.seconds = std::atof(out.c_str());
    if (Shell("soxi -B " + ShellQuote(path), &out) == 0) {
        // "320k" for MP3; WAV and AIFF report their raw PCM rate ("1.41M") or nothing.
        if (!out.empty() && out.find('k') != std::string::npos)
            info.kbits = std::atoi(out.c_str());
    }
    return info;
}

double PeakIn(const std::string& path, double start, double duration) {
    std::ostringstream cmd;
    cmd << "sox " << ShellQuote(path) << " -n trim " << start << " " << duration << " stat";
    std::string out;
    if (Shell(cmd.str(), &out) != 0)
        return -1;
    const std::string label = "Maximum amplitude:";
    size_t at = out.find(label);
    if (at == std::string::npos)
        return -1;
    double maximum = std::atof(out.c_str() + at + label.size());
    const std::string minLabel = "Minimum amplitude:";
    at = out.find(minLabel);
    double minimum = at == std::string::npos ? 0 : std::atof(out.c_str() + at + minLabel.size());
    return std::max(maximum, -minimum);
}

std::vector<double> BlockPeaks(const std::string& path, double blockSeconds, int channel) {
    std::vector<double> peaks;
    const AudioInfo info = Inspect(path);
    if (info.rate <= 0)
        return peaks;
    TempDir dir;
    const std::string raw = dir / "samples.f32";
    std::string cmd = "sox " + ShellQuote(path) + " -t raw -e floating-point -b 32 " +
                      ShellQuote(raw) +
                      (channel > 0 ? " remix " + std::to_string(channel) : std::string(" remix -"));
    if (Shell(cmd) != 0)
        return peaks;
    FILE* file = fopen(raw.c_str(), "rb");
    if (!file)
        return peaks;
    const size_t perBlock = static_cast<size_t>(info.rate * blockSeconds + 0.5);
    std::vector<float> samples(perBlock);
    size_t n;
    while ((n = fread(samples.data(), sizeof(float), perBlock, file)) > 0) {
        double peak = 0;
        for (size_t i = 0; i < n; ++i)
            peak = std::max(peak, static_cast<double>(std::fabs(samples[i])));
        peaks.push_back(peak);
    }
    fclose(file);
    return peaks;
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

wxString FirstLine(CSoxHandler& sox) {
    return sox.GetErrors().empty() ? wxString() : sox.GetErrors()[0];
}

CommandLog::CommandLog(std::function<void(const wxString&)> also) {
    CSoxHandler::s_commandObserver = [this, also](const wxString& command) {
        commands.Add(command);
        if (also)
            also(command);
    };
}

CommandLog::~CommandLog() {
    CSoxHandler::s_commandObserver = nullptr;
}

TempDir::TempDir() {
    char pattern[] = "/tmp/velisto-test-XXXXXX";
    char* made = mkdtemp(pattern);
    m_path = made ? made : "";
}

TempDir::~TempDir() {
    if (!m_path.empty())
        Shell("rm -rf " + ShellQuote(m_path));
}

void BundleTest::SetUp() {
    ASSERT_FALSE(m_dir.path().empty());
    ASSERT_EQ(0, symlink(VELISTO_BUNDLE_DIR, Work("Velisto.app").c_str()));
    ASSERT_EQ(0, Shell("mkdir -p " + ShellQuote(Home())));
    m_oldCwd = wxGetCwd().utf8_string();
    const char* home = getenv("HOME");
    m_oldHome = home ? home : "";
    setenv("HOME", Home().c_str(), 1);
    ASSERT_TRUE(wxSetWorkingDirectory(wxString::FromUTF8(m_dir.path())));
}

void BundleTest::TearDown() {
    wxSetWorkingDirectory(wxString::FromUTF8(m_oldCwd));
    setenv("HOME", m_oldHome.c_str(), 1);
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

CMainFormImp* NewMainWindow() {
    auto* window =
        new CMainFormImp(nullptr, wxID_ANY, "Fenwaro Watermark Generator V1.01", wxDefaultPosition,
                         wxSize(810, 590), wxDEFAULT_FRAME_STYLE | wxTAB_TRAVERSAL);
    window->Show(true);
    return window;
}

MainWindow::~MainWindow() {
    m_window->Destroy();
    wxTheApp->ProcessPendingEvents();
    wxTheApp->ProcessIdle();
}

void WindowTest::SetUp() {
    BundleTest::SetUp();
    if (HasFatalFailure())
        return;
    m_window = std::make_unique<MainWindow>();
    w = m_window->get();
    p = Probe(*w);
}

void WindowTest::TearDown() {
    // Gone before HOME is restored: the window saves its settings as it closes.
    m_window.reset();
    BundleTest::TearDown();
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

void Pump(int ms) {
    WaitUntil([] { return false; }, ms);
}

void Send(wxWindow* control, wxEventType type, int value) {
    wxCommandEvent event(type, control->GetId());
    event.SetEventObject(control);
    event.SetInt(value);
    control->HandleWindowEvent(event);
}

void Slide(wxSlider* slider, int position, wxEventType type) {
    slider->SetValue(position);
    wxScrollEvent event(type, slider->GetId(), position, wxHORIZONTAL);
    event.SetEventObject(slider);
    slider->HandleWindowEvent(event);
}

void Select(wxListCtrl* list, std::initializer_list<long> rows) {
    for (long row = 0; row < list->GetItemCount(); ++row)
        list->SetItemState(row, 0, wxLIST_STATE_SELECTED);
    for (long row : rows)
        list->SetItemState(row, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
}

wxString Cell(wxListCtrl* list, long row, int column) {
    return list->GetItemText(row, column);
}

wxString Column(wxListCtrl* list, int column) {
    wxString text;
    for (long row = 0; row < list->GetItemCount(); ++row)
        text += (row ? "," : "") + Cell(list, row, column);
    return text;
}

wxString RowPath(wxListCtrl* list, long row) {
    auto* path = reinterpret_cast<wxString*>(list->GetItemData(row));
    return path ? *path : wxString();
}

int MessageExpect::s_shown = 0;

int MessageExpect::OnInvoked(wxMessageDialog* dialog) const {
    EXPECT_EQ(m_text, dialog->GetMessage());
    EXPECT_EQ(wxString(wxMessageBoxCaptionStr), dialog->GetCaption());
    // The box offers the answer given: OK alone, or Yes and No.
    const long style = dialog->GetMessageDialogStyle();
    if (m_answer == wxID_OK)
        EXPECT_TRUE((style & wxOK) && !(style & wxYES_NO)) << style;
    else
        EXPECT_EQ(wxYES_NO, style & wxYES_NO) << style;
    ++s_shown;
    return m_answer;
}

int TextEntryExpect::OnInvoked(wxTextEntryDialog* dialog) const {
    EXPECT_EQ(m_title, dialog->GetTitle());
    EXPECT_EQ(m_offered, dialog->GetValue());
    wxString message;
    for (wxWindow* child : dialog->GetChildren())
        if (auto* text = dynamic_cast<wxStaticText*>(child))
            message += text->GetLabel();
    EXPECT_EQ(m_message, message);
    dialog->SetValue(m_typed);
    return m_answer;
}

wxArrayString ResultsDialogProbe<ResultsControls>::lines() const {
    wxArrayString lines;
    for (long row = 0; row < d.m_resultsList->GetItemCount(); ++row)
        lines.Add(d.m_resultsList->GetItemText(row, 0));
    return lines;
}

int ResultsExpect::OnInvoked(ProcessCompleteImp* dlg) const {
    ResultsProbe probe(*dlg);
    m_seen->lines = probe.lines();
    m_seen->folder = probe.folder();
    m_seen->title = dlg->GetTitle();
    ++m_seen->shown;
    return m_id;
}
