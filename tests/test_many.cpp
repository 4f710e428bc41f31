// Catalogue-sized lists: adding 1,200 files keeps the open descriptors
// bounded by the processes running at once, far below the 1,024 that the
// toolkit's select() can take. velisto-batch's test renders as many.
#include "testutil.h"

#include <algorithm>

namespace {

class Catalogue : public WindowTest {};

TEST_F(Catalogue, TwelveHundredFilesAddWithBoundedDescriptorsAndFewRuns) {
    const int files = 1200;
    MakeTone(Work("one.wav"), 1.2, "sine 440 vol 0.1", 8000, 1);
    CopyFile(Work("one.wav"), Work("in"), "t", files);
    wxArrayString tracks;
    for (int i = 1; i <= files; ++i)
        tracks.Add(Wx(Work("in/t" + std::to_string(i) + ".wav")));
    Spoil(Work("in/t700.wav"));
    // Sampled as each SoX process starts, when the most are open.
    int most = 0;
    CommandLog log([&](const wxString&) { most = std::max(most, OpenDescriptors()); });

    wxString notice;
    wxTEST_DIALOG(w->OnFileListDropFiles(tracks), MessageExpect(&notice));
    EXPECT_TRUE(notice.StartsWith("This file was not added:\n\nt700.wav: ")) << notice;
    EXPECT_EQ(files - 1, p.tracks()->GetItemCount());
    EXPECT_EQ("t1200.wav", p.tracks()->GetItemText(files - 2, 1));
    EXPECT_EQ("00:01", p.tracks()->GetItemText(files - 2, 3));
    EXPECT_LE(most, 64);
    // Headers are read many at a time; only the file they could not read
    // is tried again on its own.
    EXPECT_LE(log.commands.size(), 30u);
}

} // namespace
