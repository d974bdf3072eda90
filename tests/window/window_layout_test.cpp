// The window as it opens: controls, places, texts, start states, focus.
#include "window_fixture.h"

#include "common/dark_palette.h"

#include <QAccessible>
#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <utility>

namespace zentrel::testing {
namespace {

using window::Control;

TEST_F(Window_Test, OpensWithCountersAtZeroAndRunControlsHidden) {
    auto w = make_window();
    for (Control hidden : {Control::Num_Error_Files, Control::TNum_Error_Files, Control::Progress_Frame,
                           Control::Progress, Control::Cancel_Execution, Control::Error_List, Control::TError_List})
        EXPECT_FALSE(w->Visible(hidden)) << window::Control_Name(hidden);
    for (Control shown : {Control::Start, Control::Sourcefolder, Control::Targetfolder, Control::Include_Filter,
                          Control::Exclude_Filter, Control::Frame1, Control::Num_Tot_Files, Control::Num_Sourcefiles,
                          Control::Num_Sourcebytes, Control::Num_Processed_Files, Control::Num_Processed_Bytes,
                          Control::Marravel, Control::Tivoran})
        EXPECT_TRUE(w->Visible(shown)) << window::Control_Name(shown);
    for (Control counter : {Control::Num_Tot_Files, Control::Num_Sourcefiles, Control::Num_Sourcebytes,
                            Control::Num_Processed_Files, Control::Num_Processed_Bytes}) {
        auto* label = widget<QLabel>(*w, counter);
        EXPECT_EQ(label->text(), "0");
        EXPECT_TRUE(label->alignment() & Qt::AlignRight) << window::Control_Name(counter);
    }
    EXPECT_EQ(w->Text(Control::Status), "");
    EXPECT_EQ(w->windowTitle(), "Zentrel");
}

TEST_F(Window_Test, ControlsSitAtTheirDesignedPlacesUnderTheirNames) {
    auto w = make_window();
    EXPECT_EQ(w->objectName(), "Zentrel");
    EXPECT_EQ(w->width(), 652);  // 9780 twips
    for (int i = 1; i < window::Main_Window::Control_Count; ++i) {
        auto control = static_cast<Control>(i);
        EXPECT_EQ(w->control(control)->objectName(), window::Control_Name(control));
    }
    EXPECT_EQ(w->control(Control::Start)->geometry(), QRect(592, 16, 33, 33));
    EXPECT_EQ(w->control(Control::Sourcefolder)->geometry(), QRect(144, 24, 377, 25));
    EXPECT_EQ(w->control(Control::Error_List)->geometry().size(), QSize(593, 225));
    // Inside the frame, relative to it.
    EXPECT_EQ(w->control(Control::Later_then)->parentWidget(), w->control(Control::Frame1));
    EXPECT_EQ(w->control(Control::Later_then)->geometry(), QRect(112, 160, 97, 19));
    EXPECT_EQ(w->control(Control::Synchronize)->geometry(), QRect(16, 136, 17, 17));
    // The option boxes, one row every 240 twips, in the order they are stored.
    double top = 360;
    for (const settings::Option_Box_Entry& box : settings::Option_Boxes) {
        const window::Twips_Rect place = w->Geometry(window::Box_Control(box));
        EXPECT_EQ(place.top, top) << box.name;
        EXPECT_EQ(place.left, 240) << box.name;
        top += 240;
    }
    window::Twips_Rect frame = w->Geometry(Control::Frame1);
    EXPECT_EQ(frame.left, 6120);
    EXPECT_EQ(frame.height, 2775);
    EXPECT_EQ(widget<QGroupBox>(*w, Control::Frame1)->title(), "Optionen");
}

TEST_F(Window_Test, TextsFontsColoursAndTooltips) {
    auto w = make_window();
    EXPECT_EQ(w->Text(Control::Label6), "Archivbit zurücksetzen");
    EXPECT_EQ(w->Text(Control::Label13), "Dateien neuer als");
    EXPECT_EQ(w->Text(Control::Evaluate_Source), "?");
    EXPECT_EQ(w->Text(Control::TError_List), "Fehlerliste");
    EXPECT_TRUE(w->Text(Control::Marravel).ends_with(" -"));
    EXPECT_TRUE(w->Text(Control::Tivoran).ends_with(".example"));
    EXPECT_EQ(widget<QCheckBox>(*w, Control::Include_Subfolders)->text(), "");

    EXPECT_EQ(w->control(Control::Start)->toolTip(), "Ausführung starten");
    EXPECT_EQ(w->control(Control::Cancel_Execution)->toolTip(), "Ausführung abbrechen");
    EXPECT_EQ(w->control(Control::Include_Filter)->toolTip(),
              "Filter für Dateien verarbeiten, z.B.: \"*.dwg,*.doc,*.xls\"");
    EXPECT_TRUE(w->control(Control::Exclude_Filter)
                    ->toolTip()
                    .startsWith("Filter für Dateien überspringen, z.B.: \"*.bak,*.sik,*.tmp\"; "));
    EXPECT_EQ(w->control(Control::Evaluate_Source)->toolTip(), "Quellverzeichnis auswerten");
    EXPECT_FALSE(widget<QPushButton>(*w, Control::Start)->icon().isNull());
    EXPECT_FALSE(widget<QPushButton>(*w, Control::Cancel_Execution)->icon().isNull());
    EXPECT_EQ(w->windowIcon().availableSizes(),
              (QList<QSize>{{16, 16}, {32, 32}, {48, 48}, {64, 64}, {128, 128}, {256, 256}}));

    EXPECT_DOUBLE_EQ(w->control(Control::Sourcefolder)->font().pointSizeF(), 9.75);
    EXPECT_DOUBLE_EQ(w->control(Control::Label1)->font().pointSizeF(), 9.75);
    QFont footer = w->control(Control::Tivoran)->font();
    EXPECT_DOUBLE_EQ(footer.pointSizeF(), 8.25);
    EXPECT_TRUE(footer.underline());
    EXPECT_FALSE(w->control(Control::Marravel)->font().underline());
    EXPECT_EQ(w->control(Control::Num_Error_Files)->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    EXPECT_EQ(w->control(Control::TNum_Error_Files)->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    EXPECT_EQ(w->control(Control::Tivoran)->cursor().hotSpot(), QPoint(12, 1));

    QMenu* menu = w->Kontext_Errorlist();
    EXPECT_EQ(menu->objectName(), "Kontext_Errorlist");
    EXPECT_EQ(menu->title(), "Fehlerliste");
    ASSERT_EQ(menu->actions().size(), 3);
    EXPECT_EQ(menu->actions()[0]->objectName(), "Copy_Single_File");
    EXPECT_EQ(menu->actions()[0]->text(), "Datei einzeln kopieren");
    EXPECT_EQ(menu->actions()[1]->text(), "Alle erneut versuchen");
    EXPECT_EQ(menu->actions()[2]->text(), "Liste speichern…");
}

TEST_F(Window_Test, EmptyErrorListKeepsTheWindowShortAndAListGrowsIt) {
    auto w = make_window();
    // Footer one heading height below where the list begins: 6480 + 255.
    EXPECT_EQ(w->Geometry(Control::Marravel).top, 6735);
    EXPECT_EQ(w->Geometry(Control::Tivoran).top, 6735);
    EXPECT_EQ(w->Geometry(Control::Zentrel).height, 6735 + 3 * 255);
    EXPECT_EQ(w->control(Control::Marravel)->y(), 449);
    int short_height = w->height();

    w->Add_Item(Control::Error_List, "/x/a.txt");
    w->Arrange_Error_List();
    EXPECT_TRUE(w->Visible(Control::Error_List));
    EXPECT_TRUE(w->Visible(Control::TError_List));
    EXPECT_EQ(w->Geometry(Control::Marravel).top, 6480 + 3375 + 255);
    EXPECT_EQ(w->control(Control::Tivoran)->y(), 674);
    EXPECT_EQ(w->Geometry(Control::Zentrel).height, 10110 + 765);
    EXPECT_EQ(w->height() - short_height, 225);  // the list's own height
    // The footer stays inside the window.
    EXPECT_LE(w->control(Control::Marravel)->geometry().bottom(), w->height());

    w->Clear_List(Control::Error_List);
    w->Arrange_Error_List();
    EXPECT_FALSE(w->Visible(Control::Error_List));
    EXPECT_EQ(w->height(), short_height);
}

// Made larger by the user, the window widens its fields and its list and
// lets the list grow; on a screen too low for it (1200 pixels at scale 2)
// the list gives up height and the footer stays in sight.
TEST_F(Window_Test, ResizedTheFieldsAndTheListGrowAndALowScreenShortensTheList) {
    auto w = make_window();
    w->show();
    w->Add_Item(Control::Error_List, "/x/a.txt");
    w->Arrange_Error_List();
    auto rect = [&](Control c) { return w->control(c)->geometry(); };
    const QRect field = rect(Control::Sourcefolder), picker = rect(Control::Get_Source),
                list = rect(Control::Error_List), footer = rect(Control::Marravel), frame = rect(Control::Frame1);
    w->resize(w->width() + 200, w->height() + 100);
    EXPECT_EQ(rect(Control::Sourcefolder).width(), field.width() + 200);
    EXPECT_EQ(rect(Control::Get_Source).x(), picker.x() + 200);
    EXPECT_EQ(rect(Control::Frame1).x(), frame.x() + 200);
    EXPECT_EQ(rect(Control::Error_List).width(), list.width() + 200);
    EXPECT_EQ(rect(Control::Error_List).height(), list.height() + 100);
    EXPECT_EQ(rect(Control::Marravel).y(), footer.y() + 100);
    EXPECT_LE(rect(Control::Tivoran).right(), w->width());
    w->Show_Progress_Bar(1.0);
    EXPECT_EQ(rect(Control::Progress).width(), rect(Control::Progress_Frame).width());
    w->close();

    screen_height = 573;
    auto low = make_window();
    low->show();
    low->Add_Item(Control::Error_List, "/x/a.txt");
    low->Arrange_Error_List();
    EXPECT_LE(low->height() + 26, 573);
    EXPECT_GE(low->control(Control::Error_List)->height(), 60);
    EXPECT_LE(low->control(Control::Marravel)->geometry().bottom(), low->height());
    EXPECT_GT(low->control(Control::Marravel)->y(), low->control(Control::Error_List)->geometry().bottom());
    low->close();
}

TEST_F(Window_Test, FocusStartsInSourcefolderAndTabFollowsTheLayout) {
    auto w = make_window();
    w->show();
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    EXPECT_EQ(QApplication::focusWidget(), w->control(Control::Sourcefolder));

    w->Add_Item(Control::Error_List, "/x/a.txt");
    w->Arrange_Error_List();
    // Row by row; the hidden cancel button and the disabled box for empty
    // folders are skipped.
    for (Control next :
         {Control::Get_Source, Control::Start, Control::Targetfolder, Control::Get_Target, Control::Include_Filter,
          Control::Exclude_Filter, Control::Evaluate_Source, Control::Include_Subfolders, Control::Only_newer,
          Control::Only_Archive, Control::Reset_Archive, Control::Copy_SysFiles, Control::Copy_HiddenFiles,
          Control::Synchronize, Control::Later_then, Control::Error_List, Control::Sourcefolder}) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), w->control(next))
            << window::Control_Name(next) << " not " << QApplication::focusWidget()->objectName().toStdString();
    }
    w->close();
}

TEST_F(Window_Test, EveryTextFitsItsControlWithTheInstalledFonts) {
    auto w = make_window();
    // The longest texts the program puts into the labels that change.
    w->Set_Text(Control::TNum_SourceBytes, "MBytes zu kopieren");
    w->Set_Text(Control::TNum_Processed_Bytes, "MBytes kopiert");
    for (Control counter :
         {Control::Num_Tot_Files, Control::Num_Sourcefiles, Control::Num_Processed_Files, Control::Num_Error_Files})
        w->Set_Text(counter, "2147483647");
    for (Control bytes : {Control::Num_Sourcebytes, Control::Num_Processed_Bytes}) w->Set_Text(bytes, "999.999,999");
    w->Show_Pending_Texts();

    int checked = 0;
    for (QLabel* label : w->findChildren<QLabel*>()) {
        if (label->wordWrap() || label->text().isEmpty()) continue;  // the status line wraps
        QFontMetrics metrics = label->fontMetrics();
        QRect room = label->contentsRect();
        EXPECT_LE(metrics.horizontalAdvance(label->text()), room.width()) << label->objectName().toStdString();
        EXPECT_LE(metrics.height(), room.height()) << label->objectName().toStdString();
        ++checked;
    }
    for (QPushButton* button : w->findChildren<QPushButton*>()) {
        if (button->text().isEmpty()) continue;
        EXPECT_LE(button->fontMetrics().horizontalAdvance(button->text()) + 4, button->width())
            << button->objectName().toStdString();
        ++checked;
    }
    auto* frame = widget<QGroupBox>(*w, Control::Frame1);
    EXPECT_LE(frame->fontMetrics().horizontalAdvance(frame->title()) + 16, frame->width());
    for (QCheckBox* box : w->findChildren<QCheckBox*>()) {
        QStyleOptionButton option;
        option.initFrom(box);
        QRect indicator = box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box);
        EXPECT_TRUE(box->rect().contains(indicator)) << box->objectName().toStdString();
    }
    EXPECT_GT(checked, 30);
}

TEST_F(Window_Test, ControlsAreAnnouncedByTheirLabelsAndCaptions) {
    auto w = make_window();
    auto name = [&](Control control) {
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(w->control(control));
        return accessible ? accessible->text(QAccessible::Name) : QString();
    };
    const std::pair<Control, const char*> expected[] = {
        {Control::Include_Subfolders, "inkl. Unterverzeichnisse"},
        {Control::Copy_Empty_Folders, "kopiere leere Verzeichnisse"},
        {Control::Only_newer, "nur neuere Dateien"},
        {Control::Only_Archive, "nur Dateien mit Archivbit"},
        {Control::Reset_Archive, "Archivbit zurücksetzen"},
        {Control::Copy_SysFiles, "Systemdateien kopieren"},
        {Control::Copy_HiddenFiles, "versteckte Dateien kopieren"},
        {Control::Synchronize, "Verzeichnisse synchronisieren"},
        {Control::Sourcefolder, "Quellverzeichnis"},
        {Control::Targetfolder, "Zielverzeichnis"},
        {Control::Include_Filter, "einschliessen"},
        {Control::Exclude_Filter, "ausschliessen"},
        {Control::Later_then, "Dateien neuer als"},
        {Control::Start, "Ausführung starten"},
        {Control::Cancel_Execution, "Ausführung abbrechen"},
    };
    for (const auto& [control, text] : expected)
        EXPECT_EQ(name(control), QString::fromUtf8(text)) << window::Control_Name(control);
    // The buttons with a sign for a caption say in words what they do.
    QStringList signs;
    for (Control button : {Control::Get_Source, Control::Get_Target, Control::Evaluate_Source}) {
        EXPECT_GT(name(button).size(), 3) << window::Control_Name(button);
        signs << name(button);
    }
    signs.removeDuplicates();
    EXPECT_EQ(signs.size(), 3);
}

// WCAG contrast ratio of two colours.
double contrast(const QColor& a, const QColor& b) {
    auto luminance = [](const QColor& c) {
        auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
    };
    double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

TEST_F(Window_Test, LinkAndEmptyCheckBoxesShowInLightAndDarkThemes) {
    const QPalette light = QApplication::palette();
    for (bool dark : {false, true}) {
        QApplication::setPalette(dark ? dark_palette() : light);
        auto w = make_window();
        QWidget* link = w->control(Control::Tivoran);
        EXPECT_GE(
            contrast(link->palette().color(link->foregroundRole()), link->palette().color(link->backgroundRole())),
            4.5);

        // An unchecked box must stand out from the frame behind it; a
        // disabled one may be paler but must not vanish.
        w->Set_Enabled(Control::Copy_Empty_Folders, false);
        for (auto [control, least] :
             {std::pair{Control::Synchronize, 3.0}, std::pair{Control::Copy_Empty_Folders, 2.0}}) {
            QWidget* box = w->control(control);
            QColor behind = box->parentWidget()->palette().color(QPalette::Window);
            QImage picture = box->grab().toImage();
            double strongest = 1;
            for (int y = 0; y < picture.height(); ++y)
                for (int x = 0; x < picture.width(); ++x)
                    strongest = std::max(strongest, contrast(picture.pixelColor(x, y), behind));
            EXPECT_GE(strongest, least) << (dark ? "dark " : "light ") << window::Control_Name(control);
        }

        // The error counter is painted red whatever its background.
        for (Control red : {Control::Num_Error_Files, Control::TNum_Error_Files}) {
            QWidget* label = w->control(red);
            EXPECT_EQ(label->palette().color(label->foregroundRole()), QColor(255, 0, 0))
                << (dark ? "dark " : "light ") << window::Control_Name(red);
        }

        // The options frame's outline stands out from the window.
        QWidget* frame = w->control(Control::Frame1);
        QImage outline = frame->grab().toImage();
        const QColor window_colour = frame->palette().color(QPalette::Window);
        double frame_contrast = 1;
        for (int y = outline.height() / 2 - 5; y < outline.height() / 2 + 5; ++y)
            for (int x = 0; x < 4; ++x)
                frame_contrast = std::max(frame_contrast, contrast(outline.pixelColor(x, y), window_colour));
        EXPECT_GE(frame_contrast, 2.0) << (dark ? "dark" : "light");

        // The error list's entries, plain and selected, read at least 4.5:1.
        w->Add_Error("/quelle/ordner/datei.txt", "Permission denied");
        w->Add_Error("/quelle/ordner/zweite.txt", "Permission denied");
        w->Arrange_Error_List();
        w->show();
        auto* list = widget<QListWidget>(*w, Control::Error_List);
        list->setCurrentRow(1);
        for (int row : {0, 1}) {
            QImage entry = list->viewport()->grab(list->visualItemRect(list->item(row))).toImage();
            const QColor back = entry.pixelColor(entry.width() - 2, entry.height() / 2);
            double strongest = 1;
            for (int y = 0; y < entry.height(); ++y)
                for (int x = 0; x < entry.width(); ++x)
                    strongest = std::max(strongest, contrast(entry.pixelColor(x, y), back));
            EXPECT_GE(strongest, 4.5) << (dark ? "dark " : "light ") << "row " << row;
        }
        w->close();
    }
    QApplication::setPalette(light);
}

TEST_F(Window_Test, ClickingAnOptionLabelDoesNothing) {
    auto w = make_window();
    w->show();
    QTest::mouseClick(w->control(Control::Label3), Qt::LeftButton);
    QTest::mouseClick(w->control(Control::Label7), Qt::LeftButton);
    EXPECT_EQ(w->Check_State(Control::Include_Subfolders), 0);
    EXPECT_EQ(w->Check_State(Control::Synchronize), 0);
    QTest::mouseClick(w->control(Control::Include_Subfolders), Qt::LeftButton);
    EXPECT_EQ(w->Check_State(Control::Include_Subfolders), 1);
    w->close();
}

}  // namespace
}  // namespace zentrel::testing
