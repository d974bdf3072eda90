// The byte display rule and when the progress bar shows.
#include "engine/byte_display.h"
#include "job_fixture.h"

namespace zentrel::testing {
namespace {

using engine::Byte_Count_Kind;
using engine::Byte_Display;

TEST(Byte_Display, UnitsChangeStrictlyAboveAMillionAndABillion) {
    const auto german = platform::Regional_Settings::german();
    auto shown = [&](double total, Byte_Count_Kind kind) {
        auto text = Byte_Display(total, kind, german);
        return text.value + " " + text.unit;
    };
    EXPECT_EQ(shown(0, Byte_Count_Kind::Copied), "0 Bytes kopiert");
    EXPECT_EQ(shown(1'000'000, Byte_Count_Kind::Copied), "1000000 Bytes kopiert");
    EXPECT_EQ(shown(1'000'001, Byte_Count_Kind::Copied), "1,000 MBytes kopiert");
    EXPECT_EQ(shown(1'500'000, Byte_Count_Kind::To_Copy), "1,500 MBytes zu kopieren");
    EXPECT_EQ(shown(1'000'000'000, Byte_Count_Kind::Copied), "1000,000 MBytes kopiert");
    EXPECT_EQ(shown(1'000'000'001, Byte_Count_Kind::To_Copy), "1,000 GBytes zu kopieren");
    EXPECT_EQ(shown(5'123'456'789'012.0, Byte_Count_Kind::Copied), "5123,457 GBytes kopiert");
    EXPECT_EQ(shown(999'999, Byte_Count_Kind::To_Copy), "999999 Bytes zu kopieren");
}

using Progress_Bar = Job_Test;

TEST_F(Progress_Bar, NothingDoneHidesTheBar) {
    for (double none : {0.0, -0.5}) {
        display.progress = 0.07;
        job.Show_Progress(none);
        EXPECT_FALSE(display.progress) << none;
    }
    job.Show_Progress(1.25);
    EXPECT_EQ(display.progress, 1.25);
}

TEST_F(Progress_Bar, AWalkWithNothingToCopyNeverShowsTheBar) {
    write_file(src + "/leer.txt", "");
    make_folders(dst);
    job.Start_Click();
    EXPECT_EQ(display.status, "1 Dateien erfolgreich verarbeitet");
    EXPECT_FALSE(display.progress.has_value());
    EXPECT_TRUE(exists(dst + "/leer.txt"));
}

}  // namespace
}  // namespace zentrel::testing
