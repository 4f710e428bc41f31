// Starts the toolkit, then runs every test with an event loop active.
#include "testutil.h"

#include "SoxRunner.h"

#include <wx/app.h>
#include <wx/evtloop.h>
#include <wx/image.h>
#include <wx/log.h>
#include <wx/modalhook.h>

#include <glib.h>
#include <gtest/gtest.h>

namespace {

class TestApp : public wxApp {
public:
    bool OnInit() override {
        wxInitAllImageHandlers();
        return true;
    }
};

// Any dialog that no test expected fails the test instead of waiting for a user.
class UnexpectedDialogHook : public wxModalDialogHook {
protected:
    int Enter(wxDialog* dialog) override {
        wxString what = dialog->GetTitle();
        if (auto* box = dynamic_cast<wxMessageDialog*>(dialog))
            what = box->GetMessage();
        ADD_FAILURE() << "Unexpected dialog: " << what.utf8_string();
        return wxID_CANCEL;
    }
    void Exit(wxDialog*) override {}
};

void FailOnAssert(const wxString& file, int line, const wxString& func, const wxString& cond,
                  const wxString& msg) {
    if (IsWakeUpPipeRace(msg))
        return;
    ADD_FAILURE_AT(file.utf8_string().c_str(), line)
        << "wx assertion in " << func.utf8_string() << ": " << cond.utf8_string() << " "
        << msg.utf8_string();
}

// A GLib critical or warning (a widget given less room than it needs, a
// failed check inside GTK) is a fault of the window, even where the toolkit
// carries on: it fails the test that caused it.
GLogWriterOutput FailOnWarning(GLogLevelFlags level, const GLogField* fields, gsize count,
                               gpointer data) {
    if (level & (G_LOG_LEVEL_ERROR | G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING)) {
        gchar* text = g_log_writer_format_fields(level, fields, count, FALSE);
        ADD_FAILURE() << "GLib: " << text;
        g_free(text);
    }
    return g_log_writer_default(level, fields, count, data);
}

} // namespace

wxIMPLEMENT_APP_NO_MAIN(TestApp);

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    // Listing the tests needs no display.
    if (testing::GTEST_FLAG(list_tests))
        return RUN_ALL_TESTS();

    // Every test has an empty HOME, where the media back end would rebuild its
    // plugin registry for each window (seconds each); all share one instead.
    setenv("GST_REGISTRY", VELISTO_TEST_DIR "/gst-registry.bin", 0);
    g_log_set_writer_func(FailOnWarning, nullptr, nullptr);
    if (!wxEntryStart(argc, argv) || !wxTheApp->CallOnInit()) {
        fprintf(stderr, "Cannot start the toolkit (is there a display?)\n");
        return 1;
    }
    wxSetAssertHandler(FailOnAssert);
    // Log messages go to the test output, not to message boxes.
    delete wxLog::SetActiveTarget(new wxLogStderr);
    int status;
    {
        wxEventLoop loop;
        wxEventLoopActivator activate(&loop);
        UnexpectedDialogHook hook;
        hook.Register();
        status = RUN_ALL_TESTS();
        hook.Unregister();
    }
    wxTheApp->OnExit();
    wxEntryCleanup();
    return status;
}
