#include "ui/scaling.h"

#include <QApplication>
#include <QFont>
#include <QFontMetricsF>
#include <QString>
#include <algorithm>
#include <cmath>

namespace ui {

namespace {

// MS Sans Serif 8 point at 96 dots an inch.
constexpr double kDesignLineHeight = 13.0;
constexpr double kDesignLetterWidth = 6.0;

// The average letter width as Windows measures it for dialog units: all 52 letters, averaged.
double LetterWidth(const QFontMetricsF& metrics) {
    return metrics.horizontalAdvance(
               QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) /
           52.0;
}

int Round(double value) {
    return static_cast<int>(std::lround(value));
}

}  // namespace

TDesignScale DesignScale() {
    // Measured again only when the application's font changes.
    static QString measured;
    static TDesignScale scale;
    if (!QCoreApplication::instance()) return {};
    const QFont font = QApplication::font();
    if (font.key() != measured) {
        const QFontMetricsF metrics(font);
        scale.x = std::max(1.0, LetterWidth(metrics) / kDesignLetterWidth);
        scale.y = std::max(1.0, metrics.height() / kDesignLineHeight);
        measured = font.key();
    }
    return scale;
}

int ScaleX(int design) {
    return Round(design * DesignScale().x);
}

int ScaleY(int design) {
    return Round(design * DesignScale().y);
}

int DesignX(int pixels) {
    return Round(pixels / DesignScale().x);
}

int DesignY(int pixels) {
    return Round(pixels / DesignScale().y);
}

}  // namespace ui
