// Draws the state images 0.png .. 10.png that the KD520 report shows under its
// state-of-charge and state-of-health values: a battery outline holding one
// black bar per 10 %. No figure of its own: the text above the gauge gives the
// exact value, and a rounded one beside it would contradict it. Black on white
// only, so that the report still reads on a monochrome laser printer.

#include <QColor>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPen>
#include <QRect>
#include <QString>

#include <cstdio>
#include <cstdlib>

namespace quillar {
namespace {

constexpr int ImageWidth = 400;
constexpr int ImageHeight = 60;
constexpr int Steps = 10; // 0.png is 0 %, 10.png is 100 %

QImage DrawStateImage(int step) {
    QImage image(ImageWidth, ImageHeight, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image); // no antialiasing: pure black and white pixels only

    // Body with a thick outline and the terminal nub at the right end.
    const QRect body(6, 6, 368, 48);
    p.setPen(QPen(Qt::black, 5, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.setBrush(Qt::NoBrush);
    p.drawRect(body);
    p.fillRect(QRect(body.right() + 3, 19, 14, 22), Qt::black);

    // Ten bars with white gaps: the count of bars can be read even where the
    // print is faint or a bar is smeared into its neighbour. The outline's pen
    // is centred on the rectangle's edges, so the bars start inside its width.
    const int left = body.left() + 3 + 4;
    const int right = body.right() - 2 - 4;
    const int pitch = (right - left + 4) / Steps;
    for (int i = 0; i < step; ++i) {
        p.fillRect(QRect(left + i * pitch, body.top() + 7, pitch - 4, body.height() - 13),
                   Qt::black);
    }
    p.end();
    return image;
}

} // namespace
} // namespace quillar

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIR\n", argv[0]);
        return 2;
    }
    // Runs at build time on machines without a display.
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    QGuiApplication app(argc, argv);
    const QString dir = QString::fromLocal8Bit(argv[1]);
    for (int step = 0; step <= quillar::Steps; ++step) {
        const QString path =
            dir + QLatin1Char('/') + QString::number(step) + QStringLiteral(".png");
        if (!quillar::DrawStateImage(step).save(path, "PNG")) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
