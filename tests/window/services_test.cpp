// Stored settings across two windows, the folder pickers, the maker link and
// the window's own message boxes and pointer.
#include "window_fixture.h"

#include "platform/registry_store.h"
#include "window/folder_picker.h"
#include "window/maker_link.h"
#include "window/qt_translations.h"
#include "window/qt_ui_host.h"

#include <QAbstractButton>
#include <QCursor>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <cstring>
#include <memory>

namespace zentrel::testing {
namespace {

using window::Control;

TEST_F(Window_Test, SettingsAreStoredOnCloseAndRestoredByTheNextWindow) {
    {
        auto w = make_window();
        EXPECT_EQ(w->Text(Control::Include_Filter), "*.*");  // first start
        w->Set_Text(Control::Sourcefolder, "/daten/quelle");
        w->Set_Text(Control::Targetfolder, "/daten/ziel");
        w->Set_Text(Control::Include_Filter, "*.doc");
        w->Set_Text(Control::Exclude_Filter, "*.bak");
        w->Set_Check_State(Control::Include_Subfolders, 1);
        w->Set_Check_State(Control::Copy_Empty_Folders, 1);
        w->Set_Check_State(Control::Synchronize, 1);
        w->Set_Text(Control::Later_then, "1.2.2024");
        w->close();
    }
    auto w = make_window();
    EXPECT_EQ(w->Text(Control::Sourcefolder), "/daten/quelle");
    EXPECT_EQ(w->Text(Control::Targetfolder), "/daten/ziel");
    EXPECT_EQ(w->Text(Control::Include_Filter), "*.doc");
    EXPECT_EQ(w->Text(Control::Exclude_Filter), "*.bak");
    EXPECT_EQ(w->Check_State(Control::Include_Subfolders), 1);
    EXPECT_EQ(w->Check_State(Control::Copy_Empty_Folders), 1);
    EXPECT_TRUE(w->Enabled(Control::Copy_Empty_Folders));
    EXPECT_EQ(w->Check_State(Control::Only_newer), 1);
    EXPECT_FALSE(w->Enabled(Control::Only_newer));
    EXPECT_EQ(w->Text(Control::Later_then), "01.02.2024");
    EXPECT_GT(w->state().Later_Then_Date, 0);
    EXPECT_FALSE(w->Visible(Control::Cancel_Execution));
}

TEST_F(Window_Test, EmptiedFolderFieldsKeepTheStoredFolders) {
    {
        auto w = make_window();
        w->Set_Text(Control::Sourcefolder, "/daten/quelle");
        w->close();
    }
    {
        auto w = make_window();
        w->Set_Text(Control::Sourcefolder, "");
        w->Set_Text(Control::Include_Filter, "");
        w->close();
    }
    auto w = make_window();
    EXPECT_EQ(w->Text(Control::Sourcefolder), "/daten/quelle");
    EXPECT_EQ(w->Text(Control::Include_Filter), "*.*");
}

TEST_F(Window_Test, CancelledPickersKeepWhatTheFieldsHeld) {
    auto w = make_window();
    w->show();
    w->Set_Text(Control::Sourcefolder, "/alt/quelle");
    w->Set_Text(Control::Targetfolder, "/alt/ziel");
    dialog_answers = {"", ""};
    QTest::mouseClick(w->control(Control::Get_Source), Qt::LeftButton);
    QTest::mouseClick(w->control(Control::Get_Target), Qt::LeftButton);
    EXPECT_EQ(w->Text(Control::Sourcefolder), "/alt/quelle");
    EXPECT_EQ(w->Text(Control::Targetfolder), "/alt/ziel");
    ASSERT_EQ(dialog_titles.size(), 2u);
    EXPECT_EQ(dialog_titles[0], "Quellverzeichnis wählen...");
    EXPECT_EQ(dialog_titles[1], "Zielverzeichnis wählen...");

    dialog_answers = {"/neu/quelle", "/"};
    QTest::mouseClick(w->control(Control::Get_Source), Qt::LeftButton);
    QTest::mouseClick(w->control(Control::Get_Target), Qt::LeftButton);
    EXPECT_EQ(w->Text(Control::Sourcefolder), "/neu/quelle");
    EXPECT_EQ(w->Text(Control::Targetfolder), "/");
    w->close();
}

// The picker opens at the field's folder, or the nearest one above it that
// exists, and offers hidden folders.
TEST_F(Window_Test, PickersOpenAtTheFieldsFolderAndShowHiddenFolders) {
    Temp_Folder files;
    make_folders(files / ".thunderbird/profil");
    auto w = make_window();
    w->Set_Text(Control::Sourcefolder, files / ".thunderbird");
    w->Set_Text(Control::Targetfolder, files / "neu/ziel");
    dialog_answers = {"", ""};
    w->Get_Source_Click();
    w->Get_Target_Click();
    ASSERT_EQ(dialog_starts.size(), 2u);
    EXPECT_EQ(dialog_starts[0], files / ".thunderbird");
    EXPECT_EQ(dialog_starts[1], files.path());
    EXPECT_EQ(window::Picker_Start_Folder(""), window::Picker_Start_Folder("relativ/ordner"));
    EXPECT_TRUE(QFileInfo(QString::fromStdString(window::Picker_Start_Folder(""))).isDir());

    QFileDialog dialog;
    window::Set_Up_Folder_Dialog(dialog, "Quellverzeichnis wählen...", files.path());
    EXPECT_EQ(dialog.windowTitle(), "Quellverzeichnis wählen...");
    EXPECT_TRUE(dialog.filter() & QDir::Hidden);
    EXPECT_EQ(dialog.fileMode(), QFileDialog::Directory);
    EXPECT_EQ(dialog.directory().absolutePath().toStdString(), files.path());
}

void register_browser(platform::Registry_Root root, const std::string& command) {
    platform::Registry_Key key = 0;
    ASSERT_EQ(platform::Reg_Create_Key(root, window::Browser_Command_Key, key), platform::ERROR_SUCCESS);
    ASSERT_EQ(
        platform::Reg_Set_Value(key, "", platform::REG_SZ, reinterpret_cast<const unsigned char*>(command.c_str()),
                                static_cast<std::uint32_t>(command.size() + 1)),
        platform::ERROR_SUCCESS);
    platform::Reg_Close_Key(key);
}

TEST_F(Window_Test, MakerLinkStartsTheRegisteredBrowserUserBeforeMachine) {
    auto w = make_window();
    w->show();
    QTest::mouseClick(w->control(Control::Tivoran), Qt::LeftButton);
    ASSERT_EQ(browser_starts.size(), 1u);
    EXPECT_EQ(browser_starts[0].first, "");  // none registered: the desktop's browser
    EXPECT_EQ(browser_starts[0].second, window::Maker_Address);

    register_browser(platform::HKEY_LOCAL_MACHINE, "\"/opt/web browser/run\" -url \"%1\"");
    QTest::mouseClick(w->control(Control::Tivoran), Qt::LeftButton);
    ASSERT_EQ(browser_starts.size(), 2u);
    EXPECT_EQ(browser_starts[1].first, std::string("\"/opt/web browser/run\" -url \"%1\" ") + window::Maker_Address);

    register_browser(platform::HKEY_CURRENT_USER, "/usr/bin/eigener");
    QTest::mouseClick(w->control(Control::Tivoran), Qt::LeftButton);
    ASSERT_EQ(browser_starts.size(), 3u);
    EXPECT_EQ(browser_starts[2].first, std::string("/usr/bin/eigener ") + window::Maker_Address);

    // A right click is no click on the link.
    QTest::mouseClick(w->control(Control::Tivoran), Qt::RightButton);
    EXPECT_EQ(browser_starts.size(), 3u);
    EXPECT_TRUE(host.boxes.empty());
    w->close();
}

// Answers the next modal box by clicking the button with the given text, and
// records what the box showed.
struct Box_Clicker {
    explicit Box_Clicker(const char* text) : button_text(QString::fromUtf8(text)) {}
    QString button_text;
    QString shown_text, shown_title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList buttons;

    void arm() {
        QTimer::singleShot(0, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            shown_text = box->text();
            shown_title = box->windowTitle();
            icon = box->icon();
            for (QAbstractButton* button : box->buttons()) buttons << button->text();
            for (QAbstractButton* button : box->buttons())
                if (button->text() == button_text) return button->click();
            box->reject();
        });
    }
};

TEST(Qt_Ui_Host, MessageBoxesSpeakGermanAndAnswerWithTheButtonsCode) {
    window::Qt_Ui_Host host;
    Box_Clicker clicker("Wiederholen");
    clicker.arm();
    EXPECT_EQ(host.Show_Message_Box("Konnte Datei nicht kopieren: /a\r\n<b>", 18, "Zentrel"), support::Answer_Retry);
    EXPECT_EQ(clicker.buttons, QStringList({"Abbrechen", "Wiederholen", "Ignorieren"}));
    EXPECT_EQ(clicker.icon, QMessageBox::Critical);
    EXPECT_EQ(clicker.shown_text, "Konnte Datei nicht kopieren: /a\n<b>");
    EXPECT_EQ(clicker.shown_title, "Zentrel");

    Box_Clicker no("Nein");
    no.arm();
    EXPECT_EQ(host.Show_Message_Box("Verzeichnis erstellen?", support::Buttons_Yes_No, "Zentrel"), support::Answer_No);
    EXPECT_EQ(no.buttons, QStringList({"Ja", "Nein"}));
    EXPECT_EQ(no.icon, QMessageBox::NoIcon);

    Box_Clicker ok("OK");
    ok.arm();
    EXPECT_EQ(host.Show_Message_Box("Fertig...", support::Buttons_OK, "Zentrel"), support::Answer_OK);

    // Closed without a button: the answer that does the least.
    Box_Clicker closed("(keiner)");
    closed.arm();
    EXPECT_EQ(host.Show_Message_Box("?", support::Buttons_Abort_Retry_Ignore, "T"), support::Answer_Abort);
    Box_Clicker closed_yes_no("(keiner)");
    closed_yes_no.arm();
    EXPECT_EQ(host.Show_Message_Box("?", support::Buttons_Yes_No, "T"), support::Answer_No);
}

TEST(Qt_Ui_Host, EscapeNeverAnswersTheCopysQuestionReturnTakesItsDefault) {
    window::Qt_Ui_Host host;
    bool open_after_escape = false;
    QTimer::singleShot(0, [&] {
        QWidget* box = QApplication::activeModalWidget();
        ASSERT_NE(box, nullptr);
        QTest::keyClick(box, Qt::Key_Escape);
        open_after_escape = box->isVisible();
        QTest::keyClick(box, Qt::Key_Return);
    });
    EXPECT_EQ(host.Show_Message_Box("Konnte Datei nicht kopieren: /a", support::Buttons_Abort_Retry_Ignore, "Zentrel"),
              support::Answer_Abort);
    EXPECT_TRUE(open_after_escape);

    // Boxes with a harmless answer keep Escape for it.
    QTimer::singleShot(0, [] { QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Escape); });
    EXPECT_EQ(host.Show_Message_Box("Alle weiteren Fehler ignorieren?", support::Buttons_Yes_No, "Zentrel"),
              support::Answer_No);
}

TEST(Qt_Translations, FolderPickerAndContextMenusSpeakGerman) {
    ASSERT_TRUE(window::Load_Qt_Translations(*QCoreApplication::instance()));
    QFileDialog dialog(nullptr, QStringLiteral("Quellverzeichnis wählen..."));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    QStringList texts;
    for (QAbstractButton* button : dialog.findChild<QDialogButtonBox*>()->buttons()) texts << button->text();
    for (QLabel* label : dialog.findChildren<QLabel*>()) texts << label->text();
    EXPECT_TRUE(texts.contains(QStringLiteral("&Auswählen"))) << texts.join('|').toStdString();
    EXPECT_TRUE(texts.contains(QStringLiteral("Abbrechen"))) << texts.join('|').toStdString();
    EXPECT_TRUE(texts.contains(QStringLiteral("Suchen in:"))) << texts.join('|').toStdString();

    QLineEdit field;
    std::unique_ptr<QMenu> menu(field.createStandardContextMenu());
    QStringList entries;
    for (QAction* action : menu->actions()) entries << action->text().remove('&');
    EXPECT_TRUE(entries.filter(QStringLiteral("Rückgängig")).size() == 1) << entries.join('|').toStdString();
    EXPECT_TRUE(entries.filter(QStringLiteral("Einfügen")).size() == 1) << entries.join('|').toStdString();
}

TEST(Qt_Ui_Host, BusyPointerIsOneOverrideChangedInPlace) {
    window::Qt_Ui_Host host;
    host.Set_Pointer(support::Pointer_Shape::Hourglass);
    host.Set_Pointer(support::Pointer_Shape::Hourglass);
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    host.Set_Pointer(support::Pointer_Shape::Default);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    host.Set_Pointer(support::Pointer_Shape::Default);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

}  // namespace
}  // namespace zentrel::testing
