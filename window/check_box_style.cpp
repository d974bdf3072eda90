#include "window/check_box_style.h"

#include <QApplication>
#include <QPainter>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QStyleOption>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <utility>

namespace zentrel::window {

namespace {

// parts_a of a to parts_b of b.
QColor mix(const QColor& a, int parts_a, const QColor& b, int parts_b) {
    const int parts = parts_a + parts_b;
    return QColor((a.red() * parts_a + b.red() * parts_b) / parts, (a.green() * parts_a + b.green() * parts_b) / parts,
                  (a.blue() * parts_a + b.blue() * parts_b) / parts);
}

class Outlined_Check_Boxes : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;

    int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override {
        int value = QProxyStyle::pixelMetric(metric, option, widget);
        // The boxes keep their designed size; a style with larger indicators
        // would be cut off at their edge.
        if ((metric == PM_IndicatorWidth || metric == PM_IndicatorHeight) && widget)
            value = std::min(value, std::min(widget->width(), widget->height()) - 2);
        return value;
    }

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override {
        if (element == PE_FrameGroupBox) {
            // Many styles draw the frame in a shade of the background that a
            // dark theme all but hides; drawn here halfway to the text colour.
            const QPalette& palette = option->palette;
            painter->save();
            painter->setRenderHint(QPainter::Antialiasing, false);
            painter->setPen(QPen(mix(palette.color(QPalette::Active, QPalette::WindowText), 1,
                                     palette.color(QPalette::Active, QPalette::Window), 1),
                                 1));
            painter->setBrush(Qt::NoBrush);
            painter->drawRect(option->rect.adjusted(0, 0, -1, -1));
            painter->restore();
            return;
        }
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        if (element != PE_IndicatorCheckBox) return;
        // Many styles outline an empty box in a shade of the background,
        // which all but vanishes in a dark theme; halfway between text and
        // background stands out in every theme. A disabled box is paler but
        // still there (the grey text of the disabled state would hide it).
        const QPalette& palette = option->palette;
        const QColor text = palette.color(QPalette::Active, QPalette::WindowText);
        const QColor back = palette.color(QPalette::Active, QPalette::Window);
        const bool enabled = option->state & State_Enabled;
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing, false);
        painter->setPen(QPen(enabled ? mix(text, 1, back, 1) : mix(text, 1, back, 2), 1));
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(option->rect.adjusted(0, 0, -1, -1));
        painter->restore();
    }
};

}  // namespace

namespace {

double luminance(const QColor& c) {
    auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

double contrast(const QColor& a, const QColor& b) {
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

}  // namespace

QPalette Readable_List_Palette(QPalette palette) {
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        for (auto [text, back] :
             {std::pair{QPalette::Text, QPalette::Base}, std::pair{QPalette::HighlightedText, QPalette::Highlight}}) {
            const QColor behind = palette.color(group, back);
            if (contrast(palette.color(group, text), behind) >= 4.5) continue;
            const QColor black(Qt::black), white(Qt::white);
            palette.setColor(group, text, contrast(black, behind) > contrast(white, behind) ? black : white);
        }
    }
    return palette;
}

QStyle* Check_Box_Style() {
    static QStyle* style = [] {
        // On top of the style the application uses (which the user may have chosen).
        auto* made = new Outlined_Check_Boxes(QStyleFactory::create(QApplication::style()->name()));
        // Goes with the application, after every window.
        made->setParent(QCoreApplication::instance());
        return made;
    }();
    return style;
}

}  // namespace zentrel::window
