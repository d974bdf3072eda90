// Draws the window's pictures and writes them as PNG files into the folder
// given as the only argument. The PNGs beside this file are its output; run
// it again after changing a drawing:
//
//     cmake --build build --target zentrel_draw_pictures
//     build/window/zentrel_draw_pictures window/resources
//
// Only raster painting is used, so no display and no fonts are needed.
#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QString>

#include <cstdio>

namespace {

QImage blank(int size) {
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    return image;
}

// Green check mark, 35 x 35; the transparent rest lets the button face show.
QImage check_mark() {
    QImage image = blank(35);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath mark;
    mark.moveTo(7, 18);
    mark.lineTo(14, 25);
    mark.lineTo(28, 9);
    p.setPen(QPen(QColor(0, 90, 0), 7, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(mark);
    p.setPen(QPen(QColor(0, 170, 0), 4.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(mark);
    return image;
}

// Red X, 32 x 32.
QImage red_cross() {
    QImage image = blank(32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    for (auto [colour, width] : {std::pair{QColor(120, 0, 0), 7.0}, std::pair{QColor(220, 0, 0), 4.5}}) {
        p.setPen(QPen(colour, width, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(9, 9), QPointF(23, 23));
        p.drawLine(QPointF(23, 9), QPointF(9, 23));
    }
    return image;
}

// Two stacked drives, designed on a 16 x 16 grid and scaled for larger sizes.
QImage drives(int size) {
    QImage image = blank(size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, size > 16);
    p.scale(size / 16.0, size / 16.0);
    auto drive = [&](double top) {
        QRectF body(1, top, 14, 6);
        p.setPen(QPen(Qt::black, size > 16 ? 0.6 : 1.0));
        p.setBrush(QColor(192, 192, 192));
        p.drawRect(body.adjusted(0, 0, -1 + (size > 16), -1 + (size > 16)));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(128, 128, 128));
        p.drawRect(QRectF(3, top + 2, 7, 2));
        p.setBrush(QColor(0, 255, 0));
        p.drawRect(QRectF(11, top + 2, 2, 2));
    };
    drive(2);
    drive(9);
    return image;
}

// White pointing hand with a blue cuff, 32 x 32, the fingertip at (12, 1).
QImage hand() {
    QImage image = blank(32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);
    QPolygonF palm;
    palm << QPointF(10.5, 2) << QPointF(11, 0.5) << QPointF(13, 0.5) << QPointF(14, 2) << QPointF(14, 9)
         << QPointF(16, 8.5) << QPointF(17.5, 9.5) << QPointF(19.5, 9) << QPointF(21, 10) << QPointF(23, 9.8)
         << QPointF(24.5, 11) << QPointF(24.5, 18) << QPointF(22.5, 22) << QPointF(22.5, 24) << QPointF(12, 24)
         << QPointF(12, 22) << QPointF(6, 15) << QPointF(5.5, 13) << QPointF(7, 12) << QPointF(10.5, 15);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(Qt::white);
    p.drawPolygon(palm);
    p.drawLine(QPointF(17.5, 9.5), QPointF(17.5, 14));
    p.drawLine(QPointF(21, 10), QPointF(21, 14));
    p.setBrush(QColor(0, 0, 200));
    p.drawRect(QRectF(11.5, 24.5, 11.5, 5));
    return image;
}

bool save(const QImage& image, const QString& folder, const char* name) {
    QString path = folder + '/' + QString::fromLatin1(name);
    if (image.save(path, "PNG")) return true;
    std::fprintf(stderr, "cannot write %s\n", path.toLocal8Bit().constData());
    return false;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    QString folder = QString::fromLocal8Bit(argv[1]);
    bool ok = save(check_mark(), folder, "start.png") && save(red_cross(), folder, "cancel.png") &&
              save(hand(), folder, "hand.png") && save(drives(16), folder, "zentrel-16.png") &&
              save(drives(32), folder, "zentrel-32.png") && save(drives(48), folder, "zentrel-48.png") &&
              save(drives(64), folder, "zentrel-64.png") && save(drives(128), folder, "zentrel-128.png") &&
              save(drives(256), folder, "zentrel-256.png");
    return ok ? 0 : 1;
}
