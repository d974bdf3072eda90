#include "common/scripted_ui_host.h"
#include "support/support_routines.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zentrel::support {
namespace {

using testing::Scripted_Ui_Host;

// Records the order in which the routines reach the window system.
class Ordered_Host : public Scripted_Ui_Host {
public:
    void Set_Pointer(Pointer_Shape shape) override {
        log.push_back(shape == Pointer_Shape::Hourglass ? "hourglass" : "pointer");
        Scripted_Ui_Host::Set_Pointer(shape);
    }
    void Process_Events() override {
        log.push_back("events");
        Scripted_Ui_Host::Process_Events();
    }
    void Activate_Application() override {
        log.push_back("activate");
        Scripted_Ui_Host::Activate_Application();
    }
    int Show_Message_Box(const std::string& prompt, int buttons, const std::string& title) override {
        log.push_back("box");
        return Scripted_Ui_Host::Show_Message_Box(prompt, buttons, title);
    }
    std::vector<std::string> log;
};

class Messages : public ::testing::Test {
protected:
    Ordered_Host host;
    Support_Routines routines{host, platform::real_file_system(), platform::Regional_Settings::german()};
};

TEST_F(Messages, ShowBusySetsThePointerAndThenTurnsTheEventLoopOnce) {
    routines.Show_Busy(true);
    EXPECT_EQ(host.pointer, Pointer_Shape::Hourglass);
    EXPECT_EQ(host.log, (std::vector<std::string>{"hourglass", "events"}));

    routines.Show_Busy(false);
    EXPECT_EQ(host.pointer, Pointer_Shape::Default);
    EXPECT_EQ(host.events_processed, 2);
    EXPECT_EQ(host.log.back(), "events");
}

TEST_F(Messages, MessageBoxComesToTheFrontAndDropsTheHourglassBeforeAsking) {
    routines.Show_Busy(true);
    host.log.clear();
    host.answer(Answer_Retry);

    EXPECT_EQ(routines.Message_Box("Nochmal?", Buttons_Retry_Cancel + Icon_Stop, "Titel"), Answer_Retry);

    EXPECT_EQ(host.log, (std::vector<std::string>{"activate", "pointer", "events", "box"}));
    EXPECT_EQ(host.pointer, Pointer_Shape::Default);
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].prompt, "Nochmal?");
    EXPECT_EQ(host.boxes[0].buttons, 21);
    EXPECT_EQ(host.boxes[0].title, "Titel");
}

TEST_F(Messages, MessageBoxWithoutTitleShowsTheApplicationTitle) {
    host.answer(Answer_Yes);
    EXPECT_EQ(routines.Message_Box("Ordner anlegen?", Buttons_Yes_No), Answer_Yes);
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].title, "Zentrel");
}

TEST_F(Messages, ShowMessageIsAPlainOkBoxAndEmptyTextShowsNothing) {
    routines.Show_Message("");
    EXPECT_TRUE(host.boxes.empty());
    EXPECT_EQ(host.activations, 0);

    host.answer(Answer_OK);
    routines.Show_Message("Quellverzeichnis nicht gefunden...");
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].prompt, "Quellverzeichnis nicht gefunden...");
    EXPECT_EQ(host.boxes[0].buttons, Buttons_OK);
    EXPECT_EQ(host.boxes[0].title, "Zentrel");
}

TEST_F(Messages, ProcedureErrorNamesTheProcedureAndOffersAbortRetryIgnore) {
    routines.Show_Busy(true);
    host.answer(Answer_Ignore);

    EXPECT_EQ(routines.Procedure_Error("GetRegValue", "Permission denied: /etc/zentrel", 0), Answer_Ignore);

    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].prompt, "Prozedurfehler in 'GetRegValue': Permission denied: /etc/zentrel");
    EXPECT_EQ(host.boxes[0].buttons, 18);
    EXPECT_EQ(host.boxes[0].title, "Quadrel Fehler...");
    EXPECT_EQ(host.pointer, Pointer_Shape::Default);
    EXPECT_EQ(host.activations, 1);
}

TEST_F(Messages, ProcedureErrorTitleCarriesALineNumberOtherThanZero) {
    host.answer(Answer_Abort).answer(Answer_Retry);
    EXPECT_EQ(routines.Procedure_Error("CreateRegEntry", "x", 7), Answer_Abort);
    EXPECT_EQ(routines.Procedure_Error("CreateRegEntry", "x", 12345), Answer_Retry);
    ASSERT_EQ(host.boxes.size(), 2u);
    EXPECT_EQ(host.boxes[0].title, "Quadrel Fehler...-Zeile: 7");
    EXPECT_EQ(host.boxes[1].title, "Quadrel Fehler...-Zeile: 12345");
}

// The caller's protocol: a step that keeps failing is reported again after
// every Retry and goes on only after Ignore.
TEST_F(Messages, RetriedFailureIsReportedEachTimeUntilIgnored) {
    host.answer(Answer_Retry).answer(Answer_Retry).answer(Answer_Ignore);
    int attempts = 0;
    for (;;) {
        ++attempts;  // the step fails every time
        if (routines.Procedure_Error("GetRegValue", "Input/output error", 0) != Answer_Retry) break;
    }
    EXPECT_EQ(attempts, 3);
    EXPECT_EQ(host.boxes.size(), 3u);
    EXPECT_TRUE(host.answers.empty());
}

}  // namespace
}  // namespace zentrel::support
