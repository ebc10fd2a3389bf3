// Reads back the state images the build drew and checks that each one shows
// its own step: N.png must hold more black inside the battery than (N-1).png,
// 0.png none and 10.png a body nearly full. A mix-up of names or a drawing
// that ignores its step would put the wrong gauge under a percentage. Every
// pixel is pure black or white, and left of the battery there is nothing (no
// figure that could disagree with the report's text).

#include <QGuiApplication>
#include <QImage>
#include <QString>

#include <cstdio>
#include <cstdlib>

namespace {

// The inside of the battery body, clear of its outline.
constexpr int BodyLeft = 12;
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

// Anything but pure black or white, or ink left of the battery's outline.
bool HasGreyOrFigure(const QImage& image) {
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = image.pixel(x, y) & 0xffffff;
            if ((c != 0 && c != 0xffffff) || (x < 3 && c != 0xffffff)) {
                return true;
            }
        }
    }
    return false;
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
        if (HasGreyOrFigure(image)) {
            std::fprintf(stderr, "%s: not bars alone, black on white\n", qPrintable(path));
            ++failures;
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
