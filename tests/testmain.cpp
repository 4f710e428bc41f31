// Starts the toolkit, then runs every test with an event loop active.
#include "testutil.h"

#include <wx/app.h>
#include <wx/evtloop.h>
#include <wx/image.h>
#include <wx/log.h>
#include <wx/modalhook.h>

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
    ADD_FAILURE_AT(file.utf8_string().c_str(), line)
        << "wx assertion in " << func.utf8_string() << ": " << cond.utf8_string() << " "
        << msg.utf8_string();
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
