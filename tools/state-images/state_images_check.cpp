// Reads back the state images the build drew and checks that each one shows
// its own step: N.png must hold more black inside the battery than (N-1).png,
// 0.png none and 10.png a body nearly full. A mix-up of names or a drawing
// that ignores its step would put the wrong gauge under a percentage.

#include <QGuiApplication>
#include <QImage>
#include <QString>

#include <cstdio>
#include <cstdlib>

namespace {

// The inside of the battery body, clear of its outline and of the percentage.
constexpr int BodyLeft = 118;
constexpr int BodyRight = 368;
constexpr int BodyTop = 12;
constexpr int BodyBottom = 48;

int DarkPixelsInBody(const QImage& image) {
    int dark = 0;
    for (int y = BodyTop; y < BodyBottom; ++y) {
        for (int x = BodyLeft; x < BodyRight; ++x) {
            if (qGray(image.pixel(x, y)) < 128) {
                ++dark;
            }
        }
    }
    return dark;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s IMAGE_DIR\n", argv[0]);
        return 2;
    }
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    QGuiApplication app(argc, argv);
    const QString dir = QString::fromLocal8Bit(argv[1]);
    const int area = (BodyRight - BodyLeft) * (BodyBottom - BodyTop);
    int failures = 0;
    int previous = -1;
    for (int step = 0; step <= 10; ++step) {
        const QString path =
            dir + QLatin1Char('/') + QString::number(step) + QStringLiteral(".png");
        const QImage image(path);
        if (image.isNull() || image.width() != 400 || image.height() != 60) {
            std::fprintf(stderr, "%s: missing or not 400x60\n", qPrintable(path));
            ++failures;
            continue;
        }
        const int dark = DarkPixelsInBody(image);
        if ((step == 0 && dark != 0) || (step > 0 && dark <= previous) ||
            (step == 10 && dark < area * 7 / 10)) {
            std::fprintf(stderr, "%s: %d of %d body pixels dark (step %d, previous %d)\n",
                         qPrintable(path), dark, area, step, previous);
            ++failures;
        }
        previous = dark;
    }
    return failures == 0 ? 0 : 1;
}
