// The controls of the window at their designed places, with their names,
// texts, fonts, colours, tooltips and start states. Nothing is laid out by
// Qt: every control keeps its fixed position; only the error list's footer
// and the window height are moved by the program.
#include "window/check_box_style.h"
#include "window/display_text.h"
#include "window/main_window.h"
#include "window/twips.h"

#include <QCheckBox>
#include <QCursor>
#include <QGroupBox>
#include <QIcon>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>

#include <iterator>
#include <utility>
#include <vector>

namespace zentrel::window {

namespace {

// One of the window's own pictures, all of them PNG: read by Qt's built-in
// reader, without the guess at the format that loads every image plugin
// installed (and their libraries) at each start.
QPixmap own_picture(const QString& name) {
    QImageReader reader(QStringLiteral(":/zentrel/") + name, "png");
    reader.setAutoDetectImageFormat(false);
    return QPixmap::fromImage(reader.read());
}

enum class Kind { Button, Picture_Button, Text_Box, Label, Frame, Check_Box, List_Box };

enum Trait : unsigned {
    Right = 1 << 0,
    Centre = 1 << 1,
    Field_Font = 1 << 2,   // MS Sans Serif 9.75 pt
    Footer_Font = 1 << 3,  // Arial 8.25 pt
    In_Frame = 1 << 4,
    Red = 1 << 5,
    Opaque = 1 << 6,  // button-face background
    Hidden = 1 << 7,
};

struct Design {
    Control control;
    Kind kind;
    const char* text;
    int left, top, width, height;
    unsigned traits;
};

// The option labels reach to the frame's inner edge (designed: 2175), so
// that "Verzeichnisse synchronisieren" is not cut off in the fonts of a Linux
// desktop, which run a little wider than the classic dialog font.
constexpr int Option_Label_Width = 2535;

// Twips; controls marked In_Frame are placed relative to Frame1. The order is
// the stacking order: later controls lie above earlier ones. The option rows
// of Frame1 (Option_Rows) come last.
constexpr Design Designs[] = {
    {Control::Start, Kind::Picture_Button, "", 8880, 240, 495, 495, 0},
    {Control::Sourcefolder, Kind::Text_Box, "", 2160, 360, 5655, 375, Field_Font},
    {Control::Get_Source, Kind::Button, "...", 8040, 360, 615, 375, 0},
    {Control::Label1, Kind::Label, "Quellverzeichnis", 480, 480, 1575, 255, Field_Font},
    {Control::Targetfolder, Kind::Text_Box, "", 2160, 840, 5655, 375, Field_Font},
    {Control::Get_Target, Kind::Button, "...", 8040, 840, 615, 375, 0},
    {Control::Cancel_Execution, Kind::Picture_Button, "", 8880, 840, 495, 495, 0},
    {Control::Label2, Kind::Label, "Zielverzeichnis", 480, 960, 1455, 255, Field_Font},
    {Control::Include_Filter, Kind::Text_Box, "", 2160, 1320, 5655, 375, Field_Font},
    {Control::Label17, Kind::Label, "einschliessen", 480, 1440, 1575, 255, Field_Font},
    {Control::Exclude_Filter, Kind::Text_Box, "", 2160, 1800, 5655, 375, Field_Font},
    {Control::Label18, Kind::Label, "ausschliessen", 480, 1920, 1575, 255, Field_Font},
    {Control::Frame1, Kind::Frame, "Optionen", 6120, 2400, 3255, 2775, 0},
    {Control::Num_Tot_Files, Kind::Label, "0", 480, 2520, 1575, 255, Right},
    {Control::Label8, Kind::Label, "Dateien gesamt", 2160, 2520, 1935, 255, 0},
    {Control::Evaluate_Source, Kind::Button, "?", 4080, 2520, 255, 255, 0},
    {Control::Num_Sourcefiles, Kind::Label, "0", 480, 2880, 1575, 255, Right},
    {Control::Label9, Kind::Label, "Dateien zu kopieren", 2160, 2880, 1935, 255, 0},
    {Control::Num_Sourcebytes, Kind::Label, "0", 480, 3240, 1575, 255, Right},
    {Control::TNum_SourceBytes, Kind::Label, "Bytes zu kopieren", 2160, 3240, 1935, 255, 0},
    {Control::Num_Processed_Files, Kind::Label, "0", 480, 3720, 1575, 255, Right},
    {Control::Label11, Kind::Label, "Dateien kopiert", 2160, 3720, 1935, 255, 0},
    {Control::Num_Processed_Bytes, Kind::Label, "0", 480, 4080, 1575, 255, Right},
    {Control::TNum_Processed_Bytes, Kind::Label, "Bytes kopiert", 2160, 4080, 1935, 255, 0},
    {Control::Num_Error_Files, Kind::Label, "0", 480, 4440, 1575, 255, Right | Red | Opaque | Hidden},
    {Control::TNum_Error_Files, Kind::Label, "Kopierfehler", 2160, 4440, 1095, 255, Red | Opaque | Hidden},
    {Control::Status, Kind::Label, "", 480, 5280, 8775, 615, 0},
    {Control::Progress_Frame, Kind::Label, "", 480, 5880, 8895, 255, Hidden},
    {Control::Progress, Kind::Label, "100%", 480, 5880, 1455, 255, Centre | Hidden},
    {Control::TError_List, Kind::Label, "Fehlerliste", 480, 6240, 1935, 255, 0},
    {Control::Error_List, Kind::List_Box, "", 480, 6480, 8895, 3375, 0},
    {Control::Marravel, Kind::Label, Maker_Contact, 2760, 10080, 4935, 255, Right | Footer_Font | Opaque},
    {Control::Tivoran, Kind::Label, Maker_Address, 7800, 10080, 1575, 255, Footer_Font | Opaque},

    {Control::Label13, Kind::Label, "Dateien neuer als", 240, 2400, 1335, 255, In_Frame},
    {Control::Later_then, Kind::Text_Box, "", 1680, 2400, 1455, 285, In_Frame},
};

// The option rows of Frame1, top to bottom: a bare box at Left 240 and its
// label 360 twips further right, one row every 240 twips from Top 360.
struct Option_Row {
    Control box;
    Control label;
    const char* text;
};

constexpr Option_Row Option_Rows[] = {
    {Control::Include_Subfolders, Control::Label3, "inkl. Unterverzeichnisse"},
    {Control::Copy_Empty_Folders, Control::Label14, "kopiere leere Verzeichnisse"},
    {Control::Only_newer, Control::Label4, "nur neuere Dateien"},
    {Control::Only_Archive, Control::Label5, "nur Dateien mit Archivbit"},
    {Control::Reset_Archive, Control::Label6, "Archivbit zurücksetzen"},
    {Control::Copy_SysFiles, Control::Label15, "Systemdateien kopieren"},
    {Control::Copy_HiddenFiles, Control::Label16, "versteckte Dateien kopieren"},
    {Control::Synchronize, Control::Label7, "Verzeichnisse synchronisieren"},
};

// Designs, then the option rows as designs of their own.
std::vector<Design> all_designs() {
    std::vector<Design> designs(std::begin(Designs), std::end(Designs));
    int top = 360;
    for (const Option_Row& row : Option_Rows) {
        designs.push_back({row.box, Kind::Check_Box, "", 240, top, 255, 255, In_Frame});
        designs.push_back({row.label, Kind::Label, row.text, 600, top, Option_Label_Width, 255, In_Frame});
        top += 240;
    }
    return designs;
}

constexpr double Client_Width = 9780;
constexpr double Design_Height = 10455;

QFont font_of(const char* family, double points, bool underline = false) {
    // Neither family exists on most Linux desktops: the fallbacks are sans
    // serifs of about the same width, so that no text outgrows its control.
    QFont font;
    font.setFamilies({QString::fromLatin1(family), QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Arial"),
                      QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"), QStringLiteral("Nimbus Sans"),
                      QStringLiteral("Helvetica"), QStringLiteral("DejaVu Sans Condensed")});
    font.setPointSizeF(points);
    font.setStyleHint(QFont::SansSerif);
    font.setUnderline(underline);
    return font;
}

QWidget* make_widget(const Design& design, QWidget* parent) {
    QString text = to_display(design.text);
    switch (design.kind) {
        case Kind::Button:
        case Kind::Picture_Button:
            return new QPushButton(text, parent);
        case Kind::Text_Box:
            return new QLineEdit(text, parent);
        case Kind::Frame: {
            auto* frame = new QGroupBox(text, parent);
            frame->setFocusPolicy(Qt::NoFocus);
            // Its outline drawn so that a dark theme shows it too.
            frame->setStyle(Check_Box_Style());
            return frame;
        }
        case Kind::Check_Box: {
            auto* box = new QCheckBox(parent);
            box->setStyle(Check_Box_Style());
            return box;
        }
        case Kind::List_Box: {
            auto* list = new QListWidget(parent);
            list->setSelectionMode(QAbstractItemView::SingleSelection);
            list->setContextMenuPolicy(Qt::NoContextMenu);  // the menu opens on the button's release
            return list;
        }
        case Kind::Label: {
            auto* label = new QLabel(parent);
            label->setTextFormat(Qt::PlainText);  // file names may hold '<' and '&'
            label->setText(text);
            label->setFocusPolicy(Qt::NoFocus);
            Qt::Alignment horizontal = design.traits & Right    ? Qt::AlignRight
                                       : design.traits & Centre ? Qt::AlignHCenter
                                                                : Qt::AlignLeft;
            label->setAlignment(horizontal | Qt::AlignTop);
            return label;
        }
    }
    return nullptr;
}

// The fonts, colours and start state the design's traits ask for.
void apply_traits(const Design& design, QWidget& widget) {
    if (design.traits & Field_Font) widget.setFont(font_of("MS Sans Serif", 9.75));
    if (design.traits & Footer_Font) widget.setFont(font_of("Arial", 8.25, design.control == Control::Tivoran));
    if (design.traits & Red) {
        QPalette palette = widget.palette();
        palette.setColor(QPalette::WindowText, QColor(255, 0, 0));
        widget.setPalette(palette);
    }
    if (design.traits & Opaque) {
        // A role, not a colour taken once: a theme changed later still applies.
        widget.setBackgroundRole(QPalette::Button);
        widget.setAutoFillBackground(true);
        // Qt would otherwise paint the text in the colour that goes with
        // the button background, and the red counter would lose its red.
        widget.setForegroundRole(QPalette::WindowText);
    }
    if (design.traits & Hidden) widget.hide();
}

}  // namespace

void Main_Window::Build_Controls() {
    setObjectName(QStringLiteral("Zentrel"));
    setWindowTitle(QStringLiteral("Zentrel"));
    // The controls without a font of their own were designed for the classic
    // default dialog font; the desktop's usually is wider and would clip them.
    setFont(font_of("MS Sans Serif", 8.25));
    QIcon icon;
    for (const char* size : {"16", "32", "48", "64", "128", "256"})
        icon.addPixmap(own_picture(QStringLiteral("zentrel-%1.png").arg(QString::fromLatin1(size))));
    setWindowIcon(icon);
    controls_[static_cast<int>(Control::Zentrel)] = this;
    layout_[static_cast<int>(Control::Zentrel)] = {0, 0, Client_Width, Design_Height};
    resize(pixels(Client_Width), pixels(Design_Height));

    QWidget* frame = nullptr;
    for (const Design& design : all_designs()) {
        QWidget* parent = design.traits & In_Frame ? frame : this;
        QWidget* widget = make_widget(design, parent);
        widget->setObjectName(QString::fromLatin1(Control_Name(design.control)));
        widget->setGeometry(pixels(design.left), pixels(design.top), pixels(design.width), pixels(design.height));
        apply_traits(design, *widget);
        int index = static_cast<int>(design.control);
        controls_[index] = widget;
        layout_[index] = {double(design.left), double(design.top), double(design.width), double(design.height)};
        raw_texts_[index] = Raw_Text{design.text, to_display(design.text)};
        if (design.control == Control::Frame1) frame = widget;
    }
    Decorate_Controls();
    Set_Accessible_Names();
    Set_Tab_Order();
}

void Main_Window::Decorate_Controls() {
    auto* start = static_cast<QPushButton*>(control(Control::Start));
    start->setIcon(QIcon(own_picture(QStringLiteral("start.png"))));
    start->setIconSize(QSize(35, 35));
    start->setToolTip(QStringLiteral("Ausführung starten"));

    auto* cancel = static_cast<QPushButton*>(control(Control::Cancel_Execution));
    cancel->setIcon(QIcon(own_picture(QStringLiteral("cancel.png"))));
    cancel->setIconSize(QSize(32, 32));
    cancel->setToolTip(QStringLiteral("Ausführung abbrechen"));
    cancel->setMouseTracking(true);

    control(Control::Include_Filter)
        ->setToolTip(QStringLiteral("Filter für Dateien verarbeiten, z.B.: \"*.dwg,*.doc,*.xls\""));
    control(Control::Exclude_Filter)
        ->setToolTip(
            QStringLiteral("Filter für Dateien überspringen, z.B.: \"*.bak,*.sik,*.tmp\"; ein Eintrag mit "
                           "\"/\" am Ende überspringt Verzeichnisse dieses Namens, z.B.: \".cache/;Downloads/\""));
    control(Control::Evaluate_Source)->setToolTip(QStringLiteral("Quellverzeichnis auswerten"));

    // The progress bar: an outline at full width, and over it the filled part
    // in the selection colours, which stay readable in every theme.
    auto* outline = static_cast<QLabel*>(control(Control::Progress_Frame));
    outline->setFrameStyle(QFrame::Box | QFrame::Plain);
    outline->setLineWidth(1);
    auto* filled = static_cast<QLabel*>(control(Control::Progress));
    filled->setBackgroundRole(QPalette::Highlight);
    filled->setForegroundRole(QPalette::HighlightedText);
    filled->setAutoFillBackground(true);

    static_cast<QLabel*>(control(Control::Status))->setWordWrap(true);
    control(Control::Error_List)->setPalette(Readable_List_Palette(palette()));

    // The theme's link colour: the selection colour of a dark theme is often
    // as dark as the window behind the link.
    auto* link = control(Control::Tivoran);
    link->setForegroundRole(QPalette::Link);
    link->setCursor(QCursor(own_picture(QStringLiteral("hand.png")), 12, 1));
}

void Main_Window::Set_Accessible_Names() {
    // A screen reader announces a control by its name; the bare check boxes
    // and the text boxes have their texts in the labels beside them.
    std::vector<std::pair<Control, Control>> named_by_label = {
        {Control::Sourcefolder, Control::Label1},    {Control::Targetfolder, Control::Label2},
        {Control::Include_Filter, Control::Label17}, {Control::Exclude_Filter, Control::Label18},
        {Control::Later_then, Control::Label13},     {Control::Error_List, Control::TError_List},
    };
    for (const Option_Row& row : Option_Rows) named_by_label.emplace_back(row.box, row.label);
    for (const auto& [named, label] : named_by_label) {
        control(named)->setAccessibleName(static_cast<QLabel*>(control(label))->text());
        if (named != Control::Error_List) static_cast<QLabel*>(control(label))->setBuddy(control(named));
    }
    // Buttons with a picture or a sign say in words what they do.
    control(Control::Start)->setAccessibleName(control(Control::Start)->toolTip());
    control(Control::Cancel_Execution)->setAccessibleName(control(Control::Cancel_Execution)->toolTip());
    control(Control::Get_Source)->setAccessibleName(QStringLiteral("Quellverzeichnis wählen"));
    control(Control::Get_Target)->setAccessibleName(QStringLiteral("Zielverzeichnis wählen"));
    control(Control::Evaluate_Source)->setAccessibleName(QStringLiteral("Quellverzeichnis auswerten"));
    control(Control::Tivoran)->setAccessibleName(static_cast<QLabel*>(control(Control::Tivoran))->text());
}

void Main_Window::Set_Tab_Order() {
    // Row by row as the controls stand, the options box top to bottom.
    std::vector<Control> order = {
        Control::Sourcefolder,   Control::Get_Source,     Control::Start,
        Control::Targetfolder,   Control::Get_Target,     Control::Cancel_Execution,
        Control::Include_Filter, Control::Exclude_Filter, Control::Evaluate_Source,
    };
    for (const Option_Row& row : Option_Rows) order.push_back(row.box);
    order.insert(order.end(), {Control::Later_then, Control::Error_List});
    for (size_t i = 0; i + 1 < order.size(); ++i) setTabOrder(control(order[i]), control(order[i + 1]));
}

}  // namespace zentrel::window
