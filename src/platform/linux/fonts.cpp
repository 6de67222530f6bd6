// Fonts of the Qt front end, and fitting a control's text into its fixed size.
#include "platform/shared/layout.h"
#include "platform/linux/desktop.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QVariant>

#include <cmath>

namespace {

// The fixed layout is in pixels at 96 dpi. They are Qt's device-independent pixels, which Qt
// scales as a whole for the screen; fonts are given in the same pixels, so that no dpi or
// scaling setting moves a text against the layout around it.
constexpr double LayoutDpi = 96.0;

// Where a control keeps the font it was meant to have, before any fitting.
constexpr char WantedFontProperty[] = "skarvelWantedFont";

int PointsToPixels(int points)
{
    return static_cast<int>(std::lround(points * LayoutDpi / 72.0));
}

QFont AtPixels(QFont font, int pixels)
{
    font.setPixelSize(pixels);
    return font;
}

// Plain text laid out with `flags` (word wrap or not) inside a box of the given size.
bool TextFits(const QFont& font, QSizeF box, int flags, const QString& text)
{
    const QRectF needed = QFontMetricsF(font).boundingRect(QRectF(QPointF(), box), flags, text);
    return needed.width() <= box.width() && needed.height() <= box.height();
}

// Inside the area where the style draws the button's text, which cuts off what lies outside.
bool ButtonTextFits(const QPushButton& button, const QFont& font)
{
    QStyleOptionButton option;
    option.initFrom(&button);
    option.text = button.text();
    option.fontMetrics = QFontMetrics(font);
    const QRect inside = button.style()->subElementRect(QStyle::SE_PushButtonContents, &option, &button);
    const QFontMetricsF metrics(font);
    return metrics.horizontalAdvance(button.text()) <= inside.width() && metrics.height() <= inside.height();
}

}  // namespace

QFont MakeFont(FontSpec wanted)
{
    QFont font{ToQt(wanted.face)};
    font.setPixelSize(PointsToPixels(wanted.points));
    font.setBold(wanted.bold);
    // Whole-pixel glyph advances, as the layout's fonts had: unhinted, the title runs 3 pixels
    // past its 400.
    font.setHintingPreference(QFont::PreferFullHinting);
    return font;
}

// At that size Arial, or its metric twin, keeps every label inside its control. The desktop's
// own family is the fallback; where it runs wider, FitTextToControl makes it smaller.
QFont GuiFont()
{
    QFont font = QApplication::font();
    font.setFamilies({QStringLiteral("Arial"), font.family()});
    font.setPixelSize(PointsToPixels(GuiFontPoints));
    font.setHintingPreference(QFont::PreferFullHinting);
    return font;
}

// A word-wrapped label first gets every line whole; only where that cannot be had at a readable
// size may its lines wrap.
void FitTextToControl(QWidget* control)
{
    QVariant wanted = control->property(WantedFontProperty);
    if (!wanted.isValid()) {
        wanted = control->font();
        control->setProperty(WantedFontProperty, wanted);
    }
    const QFont font = wanted.value<QFont>();
    int pixels = font.pixelSize();
    if (const auto* button = qobject_cast<QPushButton*>(control)) {
        pixels = FittedFontPixels(pixels, false, [&](int size, bool) {
            return ButtonTextFits(*button, AtPixels(font, size));
        });
    } else if (const auto* label = qobject_cast<QLabel*>(control)) {
        const QSizeF box = label->contentsRect().size();
        const QString text = label->text();
        pixels = FittedFontPixels(pixels, label->wordWrap(), [&](int size, bool wrap) {
            return TextFits(AtPixels(font, size), box, wrap ? Qt::TextWordWrap : 0, text);
        });
    }
    const QFont fitted = AtPixels(font, pixels);
    if (fitted != control->font())
        control->setFont(fitted);
}
