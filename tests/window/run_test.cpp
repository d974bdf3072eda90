// Runs started from the window: the copy, its display, failures in the error
// list, the single-file retry and a close in the middle of a run.
#include "window_fixture.h"

#include "common/faulty_file_system.h"
#include "platform/copy_progress.h"
#include "settings/registry_access.h"
#include "window/display_text.h"
#include "window/rate_text.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QTest>
#include <functional>

#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

namespace zentrel::testing {
namespace {

using window::Control;

class Run_Test : public Window_Test {
protected:
    Run_Test() {
        write_file(files / "src/a.txt", "alpha");
        write_file(files / "src/b.txt", "bravo!");
        write_file(files / "src/c.txt", "charlie");
        make_folders(files / "dst");
    }

    void set_folders(window::Main_Window& w) {
        w.Set_Text(Control::Sourcefolder, files / "src");
        w.Set_Text(Control::Targetfolder, files / "dst");
    }

    std::string label(window::Main_Window& w, Control control) { return w.Text(control); }

    // A shown window, started on the three files with Start, whose next box
    // is answered with answer; act runs once while the run is under way,
    // between two files. Returns the window after the run.
    std::unique_ptr<window::Main_Window> run_acting_midway(int answer,
                                                           const std::function<void(window::Main_Window&)>& act) {
        make_folders(files / "dst");
        auto w = make_window();
        w->show();
        set_folders(*w);
        host.boxes.clear();
        host.answer(answer);
        bool acted = false;
        host.on_events = [&] {
            QCoreApplication::processEvents();
            if (acted || !w->job_running() || w->Enabled(Control::Start)) return;
            acted = true;
            act(*w);
        };
        QTest::mouseClick(w->control(Control::Start), Qt::LeftButton);
        host.on_events = nullptr;
        EXPECT_TRUE(acted);
        return w;
    }

    Temp_Folder files;
};

TEST_F(Run_Test, ClickOnStartCopiesAndShowsTheResult) {
    auto w = make_window();
    w->show();
    set_folders(*w);
    // The mouse crosses the window's background during the run.
    bool moving = false;
    host.on_events = [&] {
        if (moving) return;  // the move handler turns the events once more
        moving = true;
        w->Form_MouseMove();
        moving = false;
    };
    QTest::mouseClick(w->control(Control::Start), Qt::LeftButton);

    EXPECT_TRUE(host.boxes.empty());
    EXPECT_EQ(read_file(files / "dst/a.txt"), "alpha");
    EXPECT_EQ(read_file(files / "dst/b.txt"), "bravo!");
    EXPECT_EQ(read_file(files / "dst/c.txt"), "charlie");
    EXPECT_EQ(label(*w, Control::Num_Processed_Files), "3");
    EXPECT_EQ(label(*w, Control::Num_Sourcefiles), "3");
    EXPECT_EQ(label(*w, Control::Num_Processed_Bytes), "18");
    EXPECT_EQ(label(*w, Control::TNum_Processed_Bytes), "Bytes kopiert");
    EXPECT_EQ(label(*w, Control::Status), "3 Dateien erfolgreich verarbeitet");
    EXPECT_TRUE(w->Visible(Control::Progress));
    EXPECT_EQ(label(*w, Control::Progress), "100%");
    EXPECT_EQ(w->control(Control::Progress)->width(), w->control(Control::Progress_Frame)->width());
    EXPECT_TRUE(w->Enabled(Control::Start));
    EXPECT_FALSE(w->Visible(Control::Cancel_Execution));
    EXPECT_FALSE(w->Visible(Control::Error_List));
    EXPECT_EQ(host.pointer, support::Pointer_Shape::Default);

    // A target folder typed after the run is the next run's, whose counters
    // each show their own number: a.txt is up to date there already.
    write_file(files / "dst2/a.txt", "alpha");
    struct stat source_status {};
    ASSERT_EQ(::stat((files / "src/a.txt").c_str(), &source_status), 0);
    set_mtime(files / "dst2/a.txt", source_status.st_mtim.tv_sec, source_status.st_mtim.tv_nsec);
    auto* target = widget<QLineEdit>(*w, Control::Targetfolder);
    target->setFocus();
    target->end(false);
    QTest::keyClicks(target, "2");
    QTest::mouseClick(w->control(Control::Start), Qt::LeftButton);
    EXPECT_TRUE(host.boxes.empty());
    EXPECT_EQ(read_file(files / "dst2/b.txt"), "bravo!");
    EXPECT_EQ(read_file(files / "dst2/c.txt"), "charlie");
    EXPECT_EQ(label(*w, Control::Num_Tot_Files), "3");
    EXPECT_EQ(label(*w, Control::Num_Sourcefiles), "2");
    EXPECT_EQ(label(*w, Control::Num_Processed_Files), "2");
    EXPECT_EQ(label(*w, Control::Num_Processed_Bytes), "13");
    w->close();
}

TEST_F(Run_Test, FailedFileAppearsInTheErrorListAndCanBeCopiedAgain) {
    Faulty_File_System fs(platform::real_file_system());
    fs.fail_suffix(Fs_Operation::copy_file, "/b.txt", EIO);
    auto w = make_window(&fs);
    w->show();
    set_folders(*w);
    int short_height = w->height();
    host.answer(support::Answer_Ignore).answer(support::Answer_No);
    QTest::mouseClick(w->control(Control::Start), Qt::LeftButton);

    ASSERT_EQ(host.boxes.size(), 2u);
    EXPECT_EQ(host.boxes[0].prompt,
              "Konnte Datei nicht kopieren: " + files / "src/b.txt" + "\r\nInput/output error: " + files / "src/b.txt");
    EXPECT_EQ(host.boxes[1].prompt, "Alle weiteren Fehler ignorieren?");
    EXPECT_FALSE(exists(files / "dst/b.txt"));
    EXPECT_EQ(read_file(files / "dst/c.txt"), "charlie");
    ASSERT_EQ(w->List_Count(Control::Error_List), 1);
    EXPECT_EQ(w->List_Item(Control::Error_List, 0), files / "src/b.txt");
    EXPECT_TRUE(w->Visible(Control::Error_List));
    EXPECT_TRUE(w->Visible(Control::TError_List));
    EXPECT_GT(w->height(), short_height);
    EXPECT_EQ(w->control(Control::Marravel)->y(), 674);
    EXPECT_EQ(label(*w, Control::Status), "Kopierfehler bei 1 Dateien");

    // The menu opens for a right click; the single copy needs a selection.
    auto* list = widget<QListWidget>(*w, Control::Error_List);
    QPoint empty_area(list->viewport()->width() / 2, list->viewport()->height() - 5);
    QTest::mouseClick(list->viewport(), Qt::RightButton, {}, empty_area);
    EXPECT_TRUE(w->Kontext_Errorlist()->isVisible());
    EXPECT_FALSE(w->Copy_Single_File()->isEnabled());
    EXPECT_TRUE(w->Retry_All()->isEnabled());
    w->Kontext_Errorlist()->hide();
    QPoint entry = list->visualItemRect(list->item(0)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, entry);
    EXPECT_EQ(w->List_Index(Control::Error_List), 0);
    EXPECT_FALSE(w->Kontext_Errorlist()->isVisible());
    QTest::mouseClick(list->viewport(), Qt::RightButton, {}, entry);
    EXPECT_TRUE(w->Kontext_Errorlist()->isVisible());
    EXPECT_TRUE(w->Copy_Single_File()->isEnabled());
    w->Kontext_Errorlist()->hide();

    // The entry keeps the reason the box gave, in brief beside the path.
    EXPECT_EQ(list->item(0)->toolTip(), window::to_display(host.boxes[0].prompt));
    EXPECT_EQ(list->item(0)->text().toStdString(), files / "src/b.txt" + "  \u2014  Input/output error");
    EXPECT_TRUE(w->Visible(Control::Num_Error_Files));
    EXPECT_EQ(label(*w, Control::Num_Error_Files), "1");

    // The cause is gone: the single copy succeeds without a question, says
    // so, and the entry and the count go.
    fs.clear();
    w->Copy_Single_File()->trigger();
    EXPECT_EQ(host.boxes.size(), 2u);
    EXPECT_EQ(read_file(files / "dst/b.txt"), "bravo!");
    EXPECT_FALSE(w->state().Reverse_Direction);
    EXPECT_EQ(w->List_Count(Control::Error_List), 0);
    EXPECT_FALSE(w->Visible(Control::Error_List));
    EXPECT_FALSE(w->Visible(Control::Num_Error_Files));
    EXPECT_EQ(w->height(), short_height);
    EXPECT_EQ(label(*w, Control::Status), "Datei '" + files / "src/b.txt" + "' einzeln kopiert");
    w->close();
}

// Retrying every entry, saving the list, and the list going when the next
// evaluation starts.
TEST_F(Run_Test, RetryAllCopiesWhatCanBeCopiedAndTheListIsSavedWithReasons) {
    Faulty_File_System fs(platform::real_file_system());
    fs.fail_suffix(Fs_Operation::copy_file, "/b.txt", EIO);
    fs.fail_suffix(Fs_Operation::copy_file, "/c.txt", ENOSPC);
    auto w = make_window(&fs);
    w->show();
    set_folders(*w);
    host.answer(support::Answer_Ignore).answer(support::Answer_Yes);
    QTest::mouseClick(w->control(Control::Start), Qt::LeftButton);
    ASSERT_EQ(w->List_Count(Control::Error_List), 2);

    save_answer = files / "fehler.txt";
    w->Save_List()->trigger();
    auto saved = read_file(files / "fehler.txt");
    EXPECT_EQ(saved, files / "src/b.txt" + " -- Konnte Datei nicht kopieren: " + files / "src/b.txt" +
                         " Input/output error: " + files / "src/b.txt\n" + files / "src/c.txt" +
                         " -- Konnte Datei nicht kopieren: " + files / "src/c.txt" +
                         " No space left on device: " + files / "src/c.txt\n");
    save_answer = files / "fehlt/fehler.txt";
    host.answer(support::Answer_OK);
    w->Save_List()->trigger();
    ASSERT_EQ(host.boxes.size(), 3u);
    EXPECT_EQ(host.boxes[2].prompt, "Die Fehlerliste konnte nicht gespeichert werden: " + files / "fehlt/fehler.txt");

    // b can be copied now, c still not: c stays, with the reason of now.
    fs.clear();
    fs.fail_suffix(Fs_Operation::copy_file, "/c.txt", EACCES);
    host.answer(support::Answer_Ignore).answer(support::Answer_No);
    w->Retry_All()->trigger();
    EXPECT_EQ(read_file(files / "dst/b.txt"), "bravo!");
    ASSERT_EQ(w->List_Count(Control::Error_List), 1);
    EXPECT_EQ(w->List_Item(Control::Error_List, 0), files / "src/c.txt");
    auto* list = widget<QListWidget>(*w, Control::Error_List);
    EXPECT_TRUE(list->item(0)->toolTip().contains("Permission denied"));
    EXPECT_EQ(label(*w, Control::Num_Error_Files), "1");
    EXPECT_EQ(label(*w, Control::Status), "1 von 2 Dateien erneut kopiert");

    QTest::mouseClick(w->control(Control::Evaluate_Source), Qt::LeftButton);
    EXPECT_EQ(w->List_Count(Control::Error_List), 0);
    EXPECT_FALSE(w->Visible(Control::Error_List));
    w->close();
}

TEST_F(Run_Test, SingleCopyOfAFileInTheTargetGoesBackToTheSource) {
    auto w = make_window();
    set_folders(*w);
    write_file(files / "dst/new.txt", "neu");
    w->Add_Item(Control::Error_List, files / "dst/new.txt");
    widget<QListWidget>(*w, Control::Error_List)->setCurrentRow(0);
    w->Set_Text(Control::Targetfolder, files / "dst/");  // a trailing separator decides the same
    w->Copy_Single_File_Click();
    EXPECT_TRUE(w->state().Reverse_Direction);
    EXPECT_EQ(read_file(files / "src/new.txt"), "neu");
    EXPECT_TRUE(host.boxes.empty());
}

TEST_F(Run_Test, SingleCopyOfAVanishedFileOnlySaysSo) {
    auto w = make_window();
    set_folders(*w);
    w->Add_Item(Control::Error_List, files / "src/gone.txt");
    widget<QListWidget>(*w, Control::Error_List)->setCurrentRow(0);
    host.answer(support::Answer_OK);
    w->Copy_Single_File_Click();
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].prompt, "Datei '" + files / "src/gone.txt" + "' nicht gefunden...");
    EXPECT_EQ(host.boxes[0].buttons, support::Buttons_OK);
    EXPECT_EQ(host.boxes[0].title, "Zentrel");
    EXPECT_FALSE(exists(files / "dst/gone.txt"));
}

TEST_F(Run_Test, SingleCopyNeverTargetsTheFileItself) {
    auto w = make_window();
    w->Set_Text(Control::Sourcefolder, files / "src");
    w->Set_Text(Control::Targetfolder, files / "src");
    w->Add_Item(Control::Error_List, files / "src/a.txt");
    widget<QListWidget>(*w, Control::Error_List)->setCurrentRow(0);
    host.answer(support::Answer_OK);
    w->Copy_Single_File_Click();
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].prompt, "Quell- und Zielverzeichnis sind identisch...");
    EXPECT_EQ(read_file(files / "src/a.txt"), "alpha");
}

TEST_F(Run_Test, SingleCopyOfAnUnfinishedFolderOnlySaysSo) {
    write_file(files / "src/sub/s.txt", "sierra");
    auto w = make_window();
    set_folders(*w);
    w->Add_Item(Control::Error_List, files / "src/sub/");
    widget<QListWidget>(*w, Control::Error_List)->setCurrentRow(0);
    host.answer(support::Answer_OK);
    w->Copy_Single_File_Click();
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].prompt, "Das Verzeichnis '" + files / "src/sub/" +
                                        "' konnte nicht vollständig verarbeitet werden; bitte die Ausführung "
                                        "erneut starten...");
    EXPECT_EQ(host.boxes[0].buttons, support::Buttons_OK);
    EXPECT_FALSE(exists(files / "dst/sub"));
}

TEST_F(Run_Test, SingleCopyDoesNothingWhileAJobRuns) {
    write_file(files / "src/x.txt", "xray");
    auto w = make_window();
    w->show();
    set_folders(*w);
    w->Set_Text(Control::Exclude_Filter, "x.txt");
    w->Add_Item(Control::Error_List, files / "src/x.txt");
    widget<QListWidget>(*w, Control::Error_List)->setCurrentRow(0);
    int tries = 0;
    bool offered = false;
    host.on_events = [&] {
        if (!w->job_running()) return;
        // The job's start has emptied the list: an entry put there for the
        // moment of the click.
        auto* list = widget<QListWidget>(*w, Control::Error_List);
        const bool added = list->count() == 0;
        if (added) {
            w->Add_Item(Control::Error_List, files / "src/x.txt");
            list->setCurrentRow(0);
        }
        ++tries;
        w->Error_List_MouseUp(Qt::RightButton, QPoint(10, 10));
        offered = offered || w->Copy_Single_File()->isEnabled() || w->Retry_All()->isEnabled();
        w->Kontext_Errorlist()->hide();
        w->Copy_Single_File()->trigger();
        w->Retry_All()->trigger();
        if (added) delete list->takeItem(0);
    };
    w->Evaluate_Source_Click();
    QTest::mouseClick(w->control(Control::Start), Qt::LeftButton);
    EXPECT_GT(tries, 1);
    EXPECT_FALSE(offered);  // the menu shows the command greyed
    EXPECT_FALSE(exists(files / "dst/x.txt"));
    EXPECT_TRUE(host.boxes.empty());
    EXPECT_EQ(read_file(files / "dst/c.txt"), "charlie");
    EXPECT_EQ(label(*w, Control::Status), "3 Dateien erfolgreich verarbeitet");

    // Once the job is over, the command works again.
    host.on_events = nullptr;
    w->Add_Item(Control::Error_List, files / "src/x.txt");
    widget<QListWidget>(*w, Control::Error_List)->setCurrentRow(0);
    w->Error_List_MouseUp(Qt::RightButton, QPoint(10, 10));
    EXPECT_TRUE(w->Copy_Single_File()->isEnabled());
    w->Kontext_Errorlist()->hide();
    w->Copy_Single_File()->trigger();
    EXPECT_EQ(read_file(files / "dst/x.txt"), "xray");
    w->close();
}

TEST_F(Run_Test, CancelReportsTheFilesHandledBeforeItInBothPasses) {
    auto w = make_window();
    w->show();
    set_folders(*w);
    // Cancelled while the walk deals with its second file, which is still copied.
    host.on_events = [&] {
        if (w->job_running() && w->state().Handled_Files == 2) w->Cancel_Execution_Click();
    };
    QTest::mouseClick(w->control(Control::Start), Qt::LeftButton);
    EXPECT_EQ(label(*w, Control::Status), "2 Dateien erfolgreich verarbeitet - Abbruch durch Benutzer");
    EXPECT_EQ(read_file(files / "dst/b.txt"), "bravo!");
    EXPECT_FALSE(exists(files / "dst/c.txt"));

    // Three files of the first pass, then the first of the four in the second.
    write_file(files / "dst/d.txt", "delta");
    w->Set_Check_State(Control::Synchronize, 1);
    host.on_events = [&] {
        if (w->job_running() && w->state().Reverse_Direction && w->state().Handled_Files == 4)
            w->Cancel_Execution_Click();
    };
    QTest::mouseClick(w->control(Control::Start), Qt::LeftButton);
    EXPECT_EQ(label(*w, Control::Status), "4 Dateien erfolgreich synchronisiert - Abbruch durch Benutzer");
    EXPECT_EQ(read_file(files / "dst/c.txt"), "charlie");
    EXPECT_FALSE(exists(files / "src/d.txt"));
    w->close();
}

TEST_F(Run_Test, TheNextEvaluationNeverShowsTheLastRunsBar) {
    auto w = make_window();
    w->show();
    set_folders(*w);
    QTest::mouseClick(w->control(Control::Start), Qt::LeftButton);
    ASSERT_TRUE(w->Visible(Control::Progress));
    int turns = 0;
    bool bar_seen = false;
    host.on_events = [&] {
        ++turns;
        bar_seen = bar_seen || w->Visible(Control::Progress) || w->Visible(Control::Progress_Frame);
    };
    QTest::mouseClick(w->control(Control::Evaluate_Source), Qt::LeftButton);
    EXPECT_GT(turns, 2);
    EXPECT_FALSE(bar_seen);
    w->close();
}

// Holds each copy half-way, as a slow disk would, until the window has
// shown that half (or five seconds have passed).
class Half_Way_Copies : public Faulty_File_System {
public:
    using Faulty_File_System::Faulty_File_System;
    std::optional<platform::Entry_Status> copy_file_unnamed(const std::string& from, const std::string& to,
                                                            const std::vector<std::string>& attributes) override {
        platform::Count_Copied_Bytes(half);
        for (int i = 0; i < 500 && !shown; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return Faulty_File_System::copy_file_unnamed(from, to, attributes);
    }
    std::uint64_t half = 0;
    std::atomic<bool> shown{false};
};

TEST_F(Run_Test, TheBarMovesDuringALargeFileAndTheByteCountAfterIt) {
    const std::string big(8 * 1024 * 1024, 'g');
    write_file(files / "large/big.bin", big);
    Half_Way_Copies fs(platform::real_file_system());
    fs.half = big.size() / 2;
    auto w = make_window(&fs);
    w->show();
    w->Set_Text(Control::Sourcefolder, files / "large");
    w->Set_Text(Control::Targetfolder, files / "dst");
    std::string bytes_meanwhile;
    QString title_meanwhile;
    host.on_events = [&] {
        if (fs.shown || !w->Visible(Control::Progress) || label(*w, Control::Progress) != "50%") return;
        bytes_meanwhile = label(*w, Control::Num_Processed_Bytes);
        // After a second of copying, the rate and the time left.
        title_meanwhile = w->windowTitle();
        fs.shown = title_meanwhile.contains("B/s, noch ");
    };
    QTest::mouseClick(w->control(Control::Start), Qt::LeftButton);
    EXPECT_TRUE(fs.shown);
    EXPECT_EQ(bytes_meanwhile, "0");
    EXPECT_TRUE(title_meanwhile.startsWith("Zentrel - 50% - ")) << title_meanwhile.toStdString();
    EXPECT_EQ(w->windowTitle(), "Zentrel");
    EXPECT_EQ(read_file(files / "dst/big.bin"), big);
    EXPECT_EQ(label(*w, Control::Progress), "100%");
    EXPECT_EQ(label(*w, Control::Num_Processed_Bytes), "8,389");
    w->close();
}

TEST(Rate_Text, RateAndTimeLeftInTheUsersNumbers) {
    EXPECT_EQ(window::Rate_Text(5e6, 15e6, 0.5, ','), "");  // too soon to tell
    EXPECT_EQ(window::Rate_Text(0, 15e6, 3, ','), "");
    EXPECT_EQ(window::Rate_Text(12.3e6, 36.9e6, 1, ','), "12,3 MB/s, noch 0:02");
    EXPECT_EQ(window::Rate_Text(1e9, 5e9 + 2e9, 100, '.'), "10.0 MB/s, noch 10:00");
    EXPECT_EQ(window::Rate_Text(900, 900 + 900 * 3700, 1, ','), "900 B/s, noch 1:01:40");
}

// A run that ends while the window is in the background is told by the
// desktop; in front of the user, it is not.
TEST_F(Run_Test, ARunEndingInTheBackgroundIsToldByADesktopNotice) {
    notice_after = std::chrono::milliseconds(0);
    auto w = make_window();
    w->show();
    set_folders(*w);
    QWidget elsewhere;  // the user has turned to another window
    elsewhere.show();
    elsewhere.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&elsewhere));
    w->Start_Click();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].first, "Zentrel: Ausführung beendet");
    EXPECT_EQ(notices[0].second, "3 Dateien erfolgreich verarbeitet");

    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    w->Start_Click();
    EXPECT_EQ(notices.size(), 1u);
    w->close();
}

TEST_F(Run_Test, FiltersIgnoreTheCaseOfEveryLetter) {
    write_file(files / "src/Übersicht.txt", "inhalt");
    write_file(files / "src/übrig.DOC", "rest");
    auto w = make_window();
    set_folders(*w);
    w->Set_Text(Control::Include_Filter, "ü*");
    w->Set_Text(Control::Exclude_Filter, "*.doc");
    w->Start_Click();
    EXPECT_EQ(read_file(files / "dst/Übersicht.txt"), "inhalt");
    EXPECT_FALSE(exists(files / "dst/übrig.DOC"));
    EXPECT_FALSE(exists(files / "dst/a.txt"));
}

// Closing during a run asks: stop after the file under way, run on and
// close at the end, or keep the window.
TEST_F(Run_Test, ClosingDuringARunAsksAndStoresAtOnce) {
    for (int answer : {support::Answer_No, support::Answer_Yes, support::Answer_Cancel}) {
        SCOPED_TRACE(answer);
        bool visible_after_close = false;
        std::string stored_source;
        auto w = run_acting_midway(answer, [&](window::Main_Window& running) {
            running.close();
            visible_after_close = running.isVisible();
            stored_source = settings::Get_Setting(running.support_routines(), "Sourcefolder", false);
        });

        ASSERT_EQ(host.boxes.size(), 1u);
        EXPECT_EQ(host.boxes[0].buttons, support::Buttons_Yes_No_Cancel | support::Icon_Question);
        EXPECT_TRUE(visible_after_close);  // the run goes on in sight
        if (answer == support::Answer_Cancel) {
            EXPECT_TRUE(w->isVisible());  // the window stays
            EXPECT_EQ(label(*w, Control::Status), "3 Dateien erfolgreich verarbeitet");
            w->close();
            EXPECT_FALSE(w->isVisible());
        } else {
            EXPECT_EQ(stored_source, files / "src");
            EXPECT_FALSE(w->isVisible());  // and the window went when it was done
        }
        if (answer == support::Answer_Yes) {
            EXPECT_TRUE(label(*w, Control::Status).ends_with(" - Abbruch durch Benutzer"));
            EXPECT_FALSE(exists(files / "dst/c.txt"));
        } else {
            EXPECT_EQ(read_file(files / "dst/c.txt"), "charlie");
        }
        std::filesystem::remove_all(files / "dst");
    }
}

// Escape asks before it stops a run; Return in a folder field evaluates.
TEST_F(Run_Test, EscapeAsksBeforeItCancelsAndReturnEvaluates) {
    for (int answer : {support::Answer_No, support::Answer_Yes}) {
        auto w = run_acting_midway(answer, [](window::Main_Window& running) {
            QTest::keyClick(running.control(Control::Targetfolder), Qt::Key_Escape);
        });
        ASSERT_EQ(host.boxes.size(), 1u);
        EXPECT_EQ(host.boxes[0].prompt, "Ausführung abbrechen?");
        EXPECT_EQ(label(*w, Control::Status).ends_with(" - Abbruch durch Benutzer"), answer == support::Answer_Yes);
        EXPECT_EQ(exists(files / "dst/c.txt"), answer == support::Answer_No);

        // Idle, Escape asks nothing.
        QTest::keyClick(w->control(Control::Sourcefolder), Qt::Key_Escape);
        EXPECT_EQ(host.boxes.size(), 1u);
        w->close();
        std::filesystem::remove_all(files / "dst");
    }

    make_folders(files / "dst");
    auto w = make_window();
    w->show();
    set_folders(*w);
    QTest::keyClick(w->control(Control::Sourcefolder), Qt::Key_Return);
    EXPECT_EQ(label(*w, Control::Num_Tot_Files), "3");
    EXPECT_FALSE(exists(files / "dst/a.txt"));
    w->close();
}

// The first keystroke of almost every exclude pattern is "*": a filter
// applied at each keystroke would exclude every file still to come.
TEST_F(Run_Test, AFilterTypedDuringARunAppliesOnlyWhenTheEditIsFinishedABoxAtOnce) {
    for (int i = 0; i < 20; ++i) write_file(files / ("src/n" + std::to_string(i) + ".txt"), "n");
    auto w = make_window();
    w->show();
    set_folders(*w);
    auto* exclude = widget<QLineEdit>(*w, Control::Exclude_Filter);
    const std::string pattern = "*.bak";
    std::size_t typed = 0;
    std::string used_while_typing;
    host.on_events = [&] {
        if (!w->job_running() || w->Enabled(Control::Start) || typed == pattern.size()) return;
        exclude->setFocus();
        QTest::keyClicks(exclude, QString(pattern[typed++]));
        used_while_typing += w->Current()->Exclude_Filter;
    };
    QTest::mouseClick(w->control(Control::Start), Qt::LeftButton);
    host.on_events = nullptr;
    EXPECT_EQ(typed, pattern.size());
    EXPECT_EQ(used_while_typing, "");
    EXPECT_EQ(w->Text(Control::Exclude_Filter), pattern);
    EXPECT_EQ(label(*w, Control::Status), "23 Dateien erfolgreich verarbeitet");
    EXPECT_EQ(read_file(files / "dst/n19.txt"), "n");

    // Return finishes the edit; so does leaving the field.
    QTest::keyClick(exclude, Qt::Key_Return);
    EXPECT_EQ(w->Current()->Exclude_Filter, pattern);
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    auto* include = widget<QLineEdit>(*w, Control::Include_Filter);
    include->setFocus();
    include->selectAll();
    const std::string before = w->Current()->Include_Filter;
    QTest::keyClicks(include, "n1*");
    EXPECT_EQ(w->Current()->Include_Filter, before);
    w->control(Control::Sourcefolder)->setFocus();
    EXPECT_EQ(w->Current()->Include_Filter, "n1*");

    // A box, by contrast, applies from its click.
    for (const int checked : {1, 0}) {
        widget<QCheckBox>(*w, Control::Copy_HiddenFiles)->click();
        EXPECT_EQ(w->Current()->Copy_HiddenFiles, checked);
    }
    w->close();
}

// Typed into during a run, the target field would send the rest of the
// copy into another folder, made without asking.
TEST_F(Run_Test, TheFoldersCannotBeChangedWhileAJobRuns) {
    auto w = make_window();
    w->show();
    set_folders(*w);
    const std::string elsewhere = files / "anders";
    dialog_answers = {elsewhere, elsewhere};
    int turns = 0;
    host.on_events = [&] {
        if (!w->job_running()) return;
        ++turns;
        for (Control field : {Control::Sourcefolder, Control::Targetfolder}) {
            auto* edit = widget<QLineEdit>(*w, field);
            edit->setFocus();
            edit->selectAll();
            QTest::keyClicks(edit, "/x");
        }
        QTest::mouseClick(w->control(Control::Get_Source), Qt::LeftButton);
        QTest::mouseClick(w->control(Control::Get_Target), Qt::LeftButton);
        w->Get_Target_Click();
    };
    w->Evaluate_Source_Click();
    QTest::mouseClick(w->control(Control::Start), Qt::LeftButton);
    EXPECT_GT(turns, 3);
    EXPECT_TRUE(dialog_titles.empty());
    EXPECT_EQ(w->Text(Control::Sourcefolder), files / "src");
    EXPECT_EQ(w->Text(Control::Targetfolder), files / "dst");
    EXPECT_EQ(read_file(files / "dst/c.txt"), "charlie");
    EXPECT_FALSE(exists(files / "dst/x"));
    EXPECT_TRUE(host.boxes.empty());

    // Once the job is over, both can be changed again.
    host.on_events = nullptr;
    QTest::mouseClick(w->control(Control::Get_Target), Qt::LeftButton);
    EXPECT_EQ(w->Text(Control::Targetfolder), elsewhere);
    auto* source = widget<QLineEdit>(*w, Control::Sourcefolder);
    source->setFocus();
    source->selectAll();
    QTest::keyClicks(source, "/neu");
    EXPECT_EQ(w->Text(Control::Sourcefolder), "/neu");
    w->close();
}

TEST_F(Run_Test, EvaluationCannotStartInsideARun) {
    auto w = make_window();
    w->show();
    set_folders(*w);
    int nested = 0;
    host.on_events = [&] {
        if (nested++ == 0) w->Evaluate_Source_Click();
    };
    QTest::mouseClick(w->control(Control::Start), Qt::LeftButton);
    EXPECT_EQ(label(*w, Control::Num_Processed_Files), "3");
    EXPECT_EQ(label(*w, Control::Num_Sourcefiles), "3");
    EXPECT_EQ(label(*w, Control::Status), "3 Dateien erfolgreich verarbeitet");
    w->close();
}

}  // namespace
}  // namespace zentrel::testing
