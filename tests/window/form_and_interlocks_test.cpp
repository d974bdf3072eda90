// The window as the job's form, and the option interlocks raised by its
// check boxes and date field.
#include "window_fixture.h"

#include "platform/date_value.h"
#include "window/error_list_rules.h"

#include <unistd.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>

namespace zentrel::testing {
namespace {

using window::Control;

TEST_F(Window_Test, TextsThatAreNotUtf8ReadBackAsTheSameBytes) {
    auto w = make_window();
    const std::string name =
        "/tmp/Gr\xFC\xDF"
        "e";  // Latin-1 bytes
    w->Set_Text(Control::Sourcefolder, name);
    EXPECT_EQ(w->Text(Control::Sourcefolder), name);
    EXPECT_FALSE(widget<QLineEdit>(*w, Control::Sourcefolder)->text().isEmpty());

    w->Add_Item(Control::Error_List, name + "/a.txt");
    EXPECT_EQ(w->List_Item(Control::Error_List, 0), name + "/a.txt");
    EXPECT_EQ(w->List_Item(Control::Error_List, 1), "");

    // Once the user edits the field, the field's own text counts.
    auto* edit = widget<QLineEdit>(*w, Control::Sourcefolder);
    edit->setText("/tmp/Ziel");
    EXPECT_EQ(w->Text(Control::Sourcefolder), "/tmp/Ziel");
}

TEST_F(Window_Test, LabelsShowLineBreaksAndNeverMarkup) {
    auto w = make_window();
    auto* status = widget<QLabel>(*w, Control::Status);
    w->Set_Text(Control::Status, "zuerst");
    w->Set_Text(Control::Status, "erste Zeile\r\n<b>zweite</b> & dritte");
    // Read back at once; the label shows the last text by the next paint.
    EXPECT_EQ(w->Text(Control::Status), "erste Zeile\r\n<b>zweite</b> & dritte");
    QCoreApplication::processEvents();
    EXPECT_EQ(status->text(), "erste Zeile\n<b>zweite</b> & dritte");
    EXPECT_EQ(status->textFormat(), Qt::PlainText);
    EXPECT_EQ(w->Text(Control::Status), "erste Zeile\r\n<b>zweite</b> & dritte");
}

// Counts the paint events a widget receives.
class Paint_Counter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return false;
    }
};

TEST_F(Window_Test, RepaintPaintsWhatChangedAtMostOncePerRefresh) {
    auto w = make_window();
    w->show();
    QCoreApplication::processEvents();
    Paint_Counter status, files, start;
    widget(*w, Control::Status)->installEventFilter(&status);
    widget(*w, Control::Num_Processed_Files)->installEventFilter(&files);
    widget(*w, Control::Start)->installEventFilter(&start);

    // A refresh has passed since the window opened: the changed label is
    // painted at once, without a turn of the event loop, and the unchanged
    // controls are not painted again.
    QTest::qWait(20);
    status.paints = files.paints = start.paints = 0;
    w->Set_Text(Control::Status, "kopiere /a/b.txt");
    w->Repaint();
    EXPECT_EQ(status.paints, 1);
    EXPECT_EQ(widget<QLabel>(*w, Control::Status)->text(), "kopiere /a/b.txt");
    EXPECT_EQ(files.paints, 0);
    EXPECT_EQ(start.paints, 0);

    // Right after that paint, the next change waits for the next turn.
    w->Set_Text(Control::Num_Processed_Files, "7");
    w->Repaint();
    EXPECT_EQ(files.paints, 0);
    QTest::qWait(20);
    EXPECT_EQ(files.paints, 1);
    EXPECT_EQ(start.paints, 0);
}

TEST_F(Window_Test, GeometryIsKeptInTwipsWithFractions) {
    auto w = make_window();
    w->Set_Width(Control::Progress, 8895 * 0.575);
    EXPECT_DOUBLE_EQ(w->Geometry(Control::Progress).width, 8895 * 0.575);
    EXPECT_EQ(w->control(Control::Progress)->width(), 341);  // 5114.6 twips
    w->Set_Top(Control::Marravel, 7000);
    EXPECT_EQ(w->control(Control::Marravel)->y(), 467);
}

TEST_F(Window_Test, ProgressBarWidthFollowsTheFractionAndTheCaptionRoundsDown) {
    auto w = make_window();
    const double frame = w->Geometry(Control::Progress_Frame).width;
    struct Case {
        double fraction;
        const char* caption;
    };
    for (Case c : {Case{0.999, "99%"}, Case{1.0, "100%"}, Case{1.25, "125%"}, Case{0.575, "57%"},
                   Case{29.0 / 100.0, "29%"}, Case{0.001, "0%"}}) {
        w->Show_Progress_Bar(c.fraction);
        EXPECT_TRUE(w->Visible(Control::Progress));
        EXPECT_TRUE(w->Visible(Control::Progress_Frame));
        EXPECT_FLOAT_EQ(w->Geometry(Control::Progress).width, static_cast<float>(frame * c.fraction));
        EXPECT_EQ(w->Text(Control::Progress), c.caption) << c.fraction;
    }
    // Hidden, the bar keeps its last width and caption.
    w->Show_Progress_Bar(std::nullopt);
    EXPECT_FALSE(w->Visible(Control::Progress));
    EXPECT_FALSE(w->Visible(Control::Progress_Frame));
    EXPECT_FLOAT_EQ(w->Geometry(Control::Progress).width, static_cast<float>(frame * 0.001));
    EXPECT_EQ(w->Text(Control::Progress), "0%");
}

TEST_F(Window_Test, ListIndexIsTheSelectedEntry) {
    auto w = make_window();
    w->Add_Item(Control::Error_List, "/a");
    w->Add_Item(Control::Error_List, "/b");
    EXPECT_EQ(w->List_Index(Control::Error_List), -1);
    widget<QListWidget>(*w, Control::Error_List)->setCurrentRow(1);
    EXPECT_EQ(w->List_Index(Control::Error_List), 1);
    w->Clear_List(Control::Error_List);
    EXPECT_EQ(w->List_Index(Control::Error_List), -1);
    EXPECT_EQ(w->List_Count(Control::Error_List), 0);
}

TEST_F(Window_Test, SynchronizeChecksAndLocksOnlyNewer) {
    auto w = make_window();
    w->show();
    QTest::mouseClick(w->control(Control::Synchronize), Qt::LeftButton);
    EXPECT_EQ(w->Check_State(Control::Only_newer), 1);
    EXPECT_FALSE(w->Enabled(Control::Only_newer));
    // A click on the locked box changes nothing.
    QTest::mouseClick(w->control(Control::Only_newer), Qt::LeftButton);
    EXPECT_EQ(w->Check_State(Control::Only_newer), 1);
    // Code that clears it while Synchronize is set is overruled.
    w->Set_Check_State(Control::Only_newer, 0);
    EXPECT_EQ(w->Check_State(Control::Only_newer), 1);

    QTest::mouseClick(w->control(Control::Synchronize), Qt::LeftButton);
    EXPECT_TRUE(w->Enabled(Control::Only_newer));
    EXPECT_EQ(w->Check_State(Control::Only_newer), 1);
    w->Set_Check_State(Control::Only_newer, 0);
    EXPECT_EQ(w->Check_State(Control::Only_newer), 0);
    w->close();
}

TEST_F(Window_Test, IncludeSubfoldersEnablesCopyEmptyFoldersKeepingItsMark) {
    auto w = make_window();
    // A fresh window, without subfolders: no box click has happened yet.
    EXPECT_FALSE(w->Enabled(Control::Copy_Empty_Folders));
    EXPECT_TRUE(w->Enabled(Control::Only_newer));
    w->Set_Check_State(Control::Include_Subfolders, 1);
    EXPECT_TRUE(w->Enabled(Control::Copy_Empty_Folders));
    w->Set_Check_State(Control::Copy_Empty_Folders, 1);
    w->Set_Check_State(Control::Include_Subfolders, 0);
    EXPECT_FALSE(w->Enabled(Control::Copy_Empty_Folders));
    EXPECT_EQ(w->Check_State(Control::Copy_Empty_Folders), 1);
    w->Set_Check_State(Control::Include_Subfolders, 1);
    EXPECT_TRUE(w->Enabled(Control::Copy_Empty_Folders));
    EXPECT_EQ(w->Check_State(Control::Copy_Empty_Folders), 1);
}

TEST_F(Window_Test, SettingTheStateABoxAlreadyHasRaisesNothing) {
    auto w = make_window();
    w->Set_Enabled(Control::Only_newer, false);
    w->Set_Check_State(Control::Synchronize, 0);  // already clear: no handler
    EXPECT_FALSE(w->Enabled(Control::Only_newer));
    w->Set_Check_State(Control::Synchronize, 1);
    w->Set_Check_State(Control::Synchronize, 0);  // a change: the handler enables it
    EXPECT_TRUE(w->Enabled(Control::Only_newer));
}

// A typed date applies when the edit is finished; a text that is no date
// leaves the last date in force and marks the field, naming that date.
TEST_F(Window_Test, TypedDateThenGarbageThenEmpty) {
    auto w = make_window();
    w->show();
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    auto* field = widget<QLineEdit>(*w, Control::Later_then);
    field->setFocus();
    const QColor normal = field->palette().color(QPalette::Base);
    QTest::keyClicks(field, "01.02.2024");
    EXPECT_DOUBLE_EQ(w->state().Later_Then_Date, 0);  // "01.02.2" on the way is a date as well
    EXPECT_EQ(w->Current()->Later_then, "");
    QTest::keyClick(field, Qt::Key_Return);
    double date = platform::make_date_value(2024, 2, 1);
    EXPECT_DOUBLE_EQ(w->state().Later_Then_Date, date);
    EXPECT_EQ(w->Current()->Later_then, "01.02.2024");
    EXPECT_EQ(field->toolTip(), "");

    for (const char* garbage : {"gestern", "31.02.2026"}) {
        field->selectAll();
        QTest::keyClicks(field, garbage);
        QTest::keyClick(field, Qt::Key_Return);
        EXPECT_EQ(w->Text(Control::Later_then), garbage);
        EXPECT_DOUBLE_EQ(w->state().Later_Then_Date, date);
        EXPECT_NE(field->palette().color(QPalette::Base), normal) << garbage;
        EXPECT_EQ(field->toolTip(), QString("'%1' ist kein Datum; es gilt weiterhin 01.02.2024").arg(garbage));
    }

    field->selectAll();
    QTest::keyClick(field, Qt::Key_Delete);
    field->clearFocus();  // leaving the field finishes the edit as well
    EXPECT_EQ(w->Text(Control::Later_then), "");
    EXPECT_EQ(w->Current()->Later_then, "");
    EXPECT_DOUBLE_EQ(w->state().Later_Then_Date, date);
    EXPECT_EQ(field->palette().color(QPalette::Base), normal);
    EXPECT_EQ(field->toolTip(), "");

    // Text set by the program raises the handler at once.
    w->Set_Text(Control::Later_then, "24.12.2023");
    EXPECT_DOUBLE_EQ(w->state().Later_Then_Date, platform::make_date_value(2023, 12, 24));
    // The international form is a date in every region.
    w->Set_Text(Control::Later_then, "2026-12-08 14:30");
    EXPECT_DOUBLE_EQ(w->state().Later_Then_Date, platform::make_date_value(2026, 12, 8, 14, 30));
    w->close();
}

// A damaged settings file is said once as the window opens (what was kept,
// where the damaged file stays); a close that cannot save says so.
TEST_F(Window_Test, DamagedSettingsAreSaidAtStartAndAFailedSaveAtClose) {
    const std::string file = registry / "HKEY_CURRENT_USER.reg";
    write_file(file,
               "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Marravel\\Zentrel]\n\"Sourcefolder\"=\"/kept\"\n\x01\x02\n");
    host.answer(support::Answer_OK);
    auto w = make_window();
    ASSERT_EQ(host.boxes.size(), 1u);
    const std::string& said = host.boxes[0].prompt;
    EXPECT_NE(said.find("'" + file + "' ist beschädigt"), std::string::npos) << said;
    EXPECT_NE(said.find("Übernommen wurden: Sourcefolder."), std::string::npos) << said;
    EXPECT_NE(said.find("'" + file + ".damaged'"), std::string::npos) << said;
    EXPECT_EQ(w->Text(Control::Sourcefolder), "/kept");
    w->close();
    EXPECT_EQ(host.boxes.size(), 1u) << "the close saved";
    EXPECT_NE(read_file(file + ".damaged").find("\x01\x02"), std::string::npos);

    ::unlink(file.c_str());
    make_folders(file);
    host.answer(support::Answer_OK).answer(support::Answer_OK);
    auto again = make_window();
    again->close();
    ASSERT_EQ(host.boxes.size(), 3u);
    EXPECT_NE(host.boxes[1].prompt.find("steht ein Ordner"), std::string::npos) << host.boxes[1].prompt;
    EXPECT_NE(host.boxes[2].prompt.find("konnten nicht in '" + file + "' gespeichert werden"), std::string::npos)
        << host.boxes[2].prompt;
}

TEST_F(Window_Test, CancelButtonOnlyRequestsTheCancel) {
    auto w = make_window();
    w->show();
    w->Set_Visible(Control::Cancel_Execution, true);
    QTest::mouseClick(w->control(Control::Cancel_Execution), Qt::LeftButton);
    EXPECT_TRUE(w->state().Cancel_Requested);
    EXPECT_TRUE(w->Enabled(Control::Start));
    EXPECT_TRUE(host.boxes.empty());
    w->close();
}

TEST_F(Window_Test, PointerFollowsTheStartButton) {
    auto w = make_window();
    w->show();
    QMouseEvent move(QEvent::MouseMove, QPointF(5, 300), w->mapToGlobal(QPointF(5, 300)), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    w->Set_Enabled(Control::Start, false);
    QApplication::sendEvent(w.get(), &move);
    EXPECT_EQ(host.pointer, support::Pointer_Shape::Hourglass);

    // Over the cancel button: the normal pointer, and the button takes the focus.
    w->Set_Visible(Control::Cancel_Execution, true);
    QMouseEvent over(QEvent::MouseMove, QPointF(3, 3), w->mapToGlobal(QPointF(3, 3)), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(w->control(Control::Cancel_Execution), &over);
    EXPECT_EQ(host.pointer, support::Pointer_Shape::Default);
    EXPECT_EQ(w->focusWidget(), w->control(Control::Cancel_Execution));

    QApplication::sendEvent(w.get(), &move);
    EXPECT_EQ(host.pointer, support::Pointer_Shape::Hourglass);
    w->Set_Enabled(Control::Start, true);
    QApplication::sendEvent(w.get(), &move);
    EXPECT_EQ(host.pointer, support::Pointer_Shape::Default);
    w->close();
}

TEST(Error_List_Rules, TargetFolderPrefixDecidesTheDirection) {
    EXPECT_TRUE(window::Lies_In_Folder("/data/ziel/a.txt", "/data/ziel"));
    EXPECT_TRUE(window::Lies_In_Folder("/data/ziel/a.txt", "/data/ziel/"));
    EXPECT_TRUE(window::Lies_In_Folder("/data/ziel/sub/a.txt", "/data//ziel/."));
    EXPECT_FALSE(window::Lies_In_Folder("/data/ziel2/a.txt", "/data/ziel"));
    EXPECT_FALSE(window::Lies_In_Folder("/data/Ziel/a.txt", "/data/ziel"));  // names are case-sensitive here
    EXPECT_FALSE(window::Lies_In_Folder("/data/ziel/a.txt", ""));
}

}  // namespace
}  // namespace zentrel::testing
