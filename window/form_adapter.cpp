// The window as the form its own rules and tests work on: controls by
// name, texts as bytes, geometry in twips.
#include "window/display_text.h"
#include "window/error_list_rules.h"
#include "window/main_window.h"
#include "window/twips.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QCoreApplication>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QResizeEvent>
#include <QScreen>

#include <algorithm>
#include <cmath>
#include <utility>

namespace zentrel::window {

namespace {

int index_of(Control control) { return static_cast<int>(control); }

// The window's classic title bar and borders, in twips: the height given for
// the window is its outer height, and the client area is what remains. The
// frame of the desktop's window manager is not known before the window is
// shown, so the allowance is fixed and the layout does not jump.
constexpr double Window_Frame_Twips = 390;
// The designed client width.
constexpr double Client_Width = 9780;
// A list squeezed to fit the screen still shows a few entries.
constexpr int Least_List_Height = 60;

QString widget_text(const QWidget* widget) {
    if (auto* edit = qobject_cast<const QLineEdit*>(widget)) return edit->text();
    if (auto* label = qobject_cast<const QLabel*>(widget)) return label->text();
    if (auto* button = qobject_cast<const QAbstractButton*>(widget)) return button->text();
    if (auto* frame = qobject_cast<const QGroupBox*>(widget)) return frame->title();
    return widget->windowTitle();
}

}  // namespace

QWidget* Main_Window::control(Control control) const { return controls_[index_of(control)]; }

std::string Main_Window::Text(Control control) const {
    QWidget* widget = this->control(control);
    QString shown = control == Control::Zentrel ? QStringLiteral("Zentrel") : widget_text(widget);
    // Text the user has not changed since the program set it reads back as
    // the very bytes that were set, a name that is not UTF-8 included.
    const auto& raw = raw_texts_[index_of(control)];
    if (raw && (pending_labels_[index_of(control)] || raw->shown == shown)) return raw->bytes;
    return from_display(shown);
}

void Main_Window::Set_Label_Text(Control control, std::string text) {
    raw_texts_[index_of(control)] = Raw_Text{std::move(text), std::nullopt};
    pending_labels_[index_of(control)] = true;
    if (!pending_posted_) {
        pending_posted_ = true;
        QMetaObject::invokeMethod(this, &Main_Window::Show_Pending_Texts, Qt::QueuedConnection);
    }
}

void Main_Window::Set_Text(Control control, const std::string& text) {
    QWidget* widget = this->control(control);
    if (qobject_cast<QLabel*>(widget)) {
        Set_Label_Text(control, text);
        return;
    }
    QString shown = to_display(text);
    // Recorded first: a change handler raised by the widget reads it back.
    raw_texts_[index_of(control)] = Raw_Text{text, shown};
    // Two texts may show alike, and then the widget signals no change.
    options_.reset();
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        edit->setText(shown);
        // Set by the program, the text is finished at once.
        Commit_Edit(control);
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        button->setText(shown);
    } else if (auto* frame = qobject_cast<QGroupBox*>(widget)) {
        frame->setTitle(shown);
    } else if (control == Control::Zentrel) {
        setWindowTitle(shown);
    }
}

int Main_Window::Check_State(Control control) const {
    // Qt numbers the grey state 1 and the checked state 2; the form uses
    // 1 for checked and 2 for grey.
    auto* box = qobject_cast<QCheckBox*>(this->control(control));
    if (!box) return 0;
    switch (box->checkState()) {
        case Qt::Unchecked:
            return 0;
        case Qt::PartiallyChecked:
            return 2;
        case Qt::Checked:
            return 1;
    }
    return 0;
}

void Main_Window::Set_Check_State(Control control, int state) {
    auto* box = qobject_cast<QCheckBox*>(this->control(control));
    if (!box) return;
    Qt::CheckState wanted = state == 0 ? Qt::Unchecked : state == 2 ? Qt::PartiallyChecked : Qt::Checked;
    // Qt signals only a real change, which raises the box's click handler.
    box->setCheckState(wanted);
}

bool Main_Window::Visible(Control control) const {
    if (control == Control::Zentrel) return isVisible();
    return this->control(control)->isVisibleTo(this);
}

void Main_Window::Set_Visible(Control control, bool visible) { this->control(control)->setVisible(visible); }

bool Main_Window::Enabled(Control control) const { return this->control(control)->isEnabled(); }

void Main_Window::Set_Enabled(Control control, bool enabled) { this->control(control)->setEnabled(enabled); }

void Main_Window::Set_Focus(Control control) { this->control(control)->setFocus(Qt::OtherFocusReason); }

Twips_Rect Main_Window::Geometry(Control control) const {
    Twips_Rect rect = layout_[index_of(control)];
    if (control == Control::Zentrel) {
        rect.left = twips(frameGeometry().x());
        rect.top = twips(frameGeometry().y());
        rect.width = twips(width());
    }
    return rect;
}

void Main_Window::Set_Top(Control control, double value) {
    layout_[index_of(control)].top = value;
    if (control == Control::Zentrel) return;  // the platform places the window
    Place(control);
}

void Main_Window::Set_Width(Control control, double value) {
    layout_[index_of(control)].width = value;
    Place(control);
}

namespace {

// How a control follows a window the user has made larger than designed:
// the fields and the list grow, what stands right of them moves along, the
// footer moves down with the list.
enum Stretch : unsigned { Widen = 1, Move_Right = 2, Grow_Down = 4, Move_Down = 8 };

unsigned stretch_of(Control control) {
    switch (control) {
        case Control::Sourcefolder:
        case Control::Targetfolder:
        case Control::Include_Filter:
        case Control::Exclude_Filter:
        case Control::Status:
        case Control::Progress_Frame:
            return Widen;
        case Control::Error_List:
            return Widen | Grow_Down;
        case Control::Start:
        case Control::Get_Source:
        case Control::Get_Target:
        case Control::Cancel_Execution:
        case Control::Frame1:
            return Move_Right;
        case Control::Marravel:
        case Control::Tivoran:
            return Move_Right | Move_Down;
        default:
            return 0;
    }
}

}  // namespace

QSize Main_Window::Stretch_Size() const {
    // Compared with the width designed and the height the program set last.
    const int wider = std::max(0, width() - pixels(Client_Width));
    const int taller = height() - pixels(layout_[index_of(Control::Zentrel)].height - Window_Frame_Twips);
    // Without the list, nothing can take a smaller height.
    return QSize(wider, Visible(Control::Error_List) ? taller : std::max(0, taller));
}

void Main_Window::Place(Control control) {
    if (control == Control::Zentrel) return;
    const Twips_Rect& rect = layout_[index_of(control)];
    const unsigned stretch = stretch_of(control);
    const QSize extra = stretch || control == Control::Progress ? Stretch_Size() : QSize();
    int left = pixels(rect.left), top = pixels(rect.top);
    int width = std::max(0, pixels(rect.width)), height = std::max(0, pixels(rect.height));
    if (stretch & Widen) width += extra.width();
    if (stretch & Move_Right) left += extra.width();
    if (stretch & Grow_Down) height = std::max(height + extra.height(), std::min(height, Least_List_Height));
    if (stretch & Move_Down) top += extra.height();
    // In a stretched window the bar's share is of the wider outline.
    if (control == Control::Progress && extra.width() > 0) {
        const int outline = std::max(1, pixels(layout_[index_of(Control::Progress_Frame)].width));
        width = static_cast<int>(std::lround(double(width) * (outline + extra.width()) / outline));
    }
    this->control(control)->setGeometry(left, top, width, height);
}

void Main_Window::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    for (int i = 1; i < Control_Count; ++i)
        if (stretch_of(static_cast<Control>(i)) || static_cast<Control>(i) == Control::Progress)
            Place(static_cast<Control>(i));
}

void Main_Window::Set_Height(Control control, double value) {
    Twips_Rect& rect = layout_[index_of(control)];
    if (control == Control::Zentrel) {
        // Set only on a change, so a height the user has dragged stays until
        // the error list appears or goes.
        if (rect.height == value && last_window_height_set_) return;
        rect.height = value;
        last_window_height_set_ = true;
        int client = std::max(1, pixels(value - Window_Frame_Twips));
        // A window taller than the screen (a long list at a large scale)
        // keeps its footer in sight: the list gives up height and scrolls.
        const int room = Available_Height() - pixels(Window_Frame_Twips);
        if (room > 0 && client > room && Visible(Control::Error_List))
            client = std::max(room, client - pixels(layout_[index_of(Control::Error_List)].height) + Least_List_Height);
        resize(width(), client);
        resizeEvent(nullptr);
        return;
    }
    rect.height = value;
    Place(control);
}

int Main_Window::Available_Height() const {
    if (setup_.screen_height) return *setup_.screen_height;
    const QScreen* shown_on = screen();
    return shown_on ? shown_on->availableGeometry().height() : 0;
}

long Main_Window::List_Count(Control control) const {
    auto* list = qobject_cast<QListWidget*>(this->control(control));
    return list ? list->count() : 0;
}

std::string Main_Window::List_Item(Control control, long index) const {
    auto* list = qobject_cast<QListWidget*>(this->control(control));
    if (!list || index < 0 || index >= list->count()) return {};
    return list->item(static_cast<int>(index))->data(Qt::UserRole).toByteArray().toStdString();
}

void Main_Window::Add_Item(Control control, const std::string& text) {
    auto* list = qobject_cast<QListWidget*>(this->control(control));
    if (!list) return;
    auto* item = new QListWidgetItem(to_display(text));
    item->setData(Qt::UserRole, QByteArray(text.data(), static_cast<qsizetype>(text.size())));
    list->addItem(item);
}

void Main_Window::Clear_List(Control control) {
    if (auto* list = qobject_cast<QListWidget*>(this->control(control))) list->clear();
}

long Main_Window::List_Index(Control control) const {
    auto* list = qobject_cast<QListWidget*>(this->control(control));
    if (!list) return -1;
    QListWidgetItem* current = list->currentItem();
    return current && current->isSelected() ? list->row(current) : -1;
}

void Main_Window::Show_Pending_Texts() {
    pending_posted_ = false;
    for (int i = 0; i < Control_Count; ++i) {
        if (!std::exchange(pending_labels_[i], false)) continue;
        auto* label = qobject_cast<QLabel*>(controls_[i]);
        auto& raw = raw_texts_[i];
        if (!label || !raw) continue;
        if (!raw->shown) raw->shown = to_display(raw->bytes);
        label->setText(*raw->shown);
    }
}

void Main_Window::Repaint() {
    // A run asks for a repaint after every file; the screen shows at most
    // one picture per refresh, so paint now only when a refresh has passed
    // and otherwise leave the paint to the next turn of the event loop.
    // Every control that changed has already asked to be painted again, so
    // only those are painted: the whole window, which hardly changes, costs
    // many times more.
    auto now = std::chrono::steady_clock::now();
    if (now - last_repaint_ >= std::chrono::milliseconds(15) && isVisible()) {
        last_repaint_ = now;
        Show_Pending_Texts();
        QCoreApplication::sendPostedEvents(this, QEvent::UpdateRequest);
    }
}

void Main_Window::Arrange_Error_List() { window::Arrange_Error_List(*this); }

}  // namespace zentrel::window
