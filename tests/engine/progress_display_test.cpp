// The byte display rule and the progress bar.
#include "engine/byte_display.h"
#include "job_fixture.h"

namespace zentrel::testing {
namespace {

using engine::Byte_Count_Kind;
using engine::Byte_Display;
using support::Control;

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

class Progress_Bar : public Job_Test {
protected:
    Progress_Bar() {
        form.Set_Width(Control::Progress, 123);
        form.Set_Text(Control::Progress, "7%");
    }
    double frame() const { return form.Geometry(Control::Progress_Frame).width; }
};

TEST_F(Progress_Bar, NothingDoneHidesTheBarAndKeepsItsLastState) {
    form.Set_Visible(Control::Progress, true);
    form.Set_Visible(Control::Progress_Frame, true);
    for (double none : {0.0, -0.5}) {
        job.Show_Progress(none);
        EXPECT_FALSE(form.Visible(Control::Progress));
        EXPECT_FALSE(form.Visible(Control::Progress_Frame));
        EXPECT_EQ(form.Geometry(Control::Progress).width, 123);
        EXPECT_EQ(text(Control::Progress), "7%");
    }
}

TEST_F(Progress_Bar, WidthFollowsTheFractionAndTheCaptionRoundsDown) {
    struct Case {
        double fraction;
        const char* caption;
    };
    for (Case c : {Case{0.999, "99%"}, Case{1.0, "100%"}, Case{1.25, "125%"}, Case{0.575, "57%"},
                   Case{29.0 / 100.0, "29%"}, Case{0.001, "0%"}}) {
        job.Show_Progress(c.fraction);
        EXPECT_TRUE(form.Visible(Control::Progress));
        EXPECT_TRUE(form.Visible(Control::Progress_Frame));
        EXPECT_FLOAT_EQ(form.Geometry(Control::Progress).width, static_cast<float>(frame() * c.fraction));
        EXPECT_EQ(text(Control::Progress), c.caption) << c.fraction;
    }
}

TEST_F(Progress_Bar, AWalkWithNothingToCopyNeverShowsTheBar) {
    write_file(src + "/leer.txt", "");
    make_folders(dst);
    job.Start_Click();
    EXPECT_EQ(text(Control::Status), "1 Dateien erfolgreich verarbeitet");
    EXPECT_FALSE(form.Visible(Control::Progress));
    EXPECT_TRUE(exists(dst + "/leer.txt"));
}

}  // namespace
}  // namespace zentrel::testing
