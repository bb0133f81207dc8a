#pragma once
// Desktop palettes for screenshots that show the windows as users of a dark or a
// high-contrast desktop see them: the screenshot programs set one with
// QApplication::setPalette before they make any window.

#include <QColor>
#include <QPalette>
#include <QString>

#include <optional>

namespace korvane::test {

// "dark": light grey text on dark grey; "contrast": white text on black with cyan selection
// and yellow links, as high-contrast desktop themes have it, buttons dark grey so that the
// style's bars and buttons keep their shape. std::nullopt for any other name.
inline std::optional<QPalette> ShotPalette(const QString &name)
{
    struct Colours {
        QColor window, base, text, button, highlight, highlightedText, link, disabled;
    };
    Colours c;
    if (name == QLatin1String("dark"))
        c = {{45, 45, 48},   {30, 30, 32},    {225, 225, 225}, {60, 60, 64},
             {42, 130, 218}, {255, 255, 255}, {110, 170, 255}, {130, 130, 130}};
    else if (name == QLatin1String("contrast"))
        c = {Qt::black, Qt::black, Qt::white, {40, 40, 40}, {0, 255, 255}, Qt::black, Qt::yellow, {0, 230, 0}};
    else
        return std::nullopt;
    QPalette p(c.button, c.window);
    for (QPalette::ColorRole r :
         {QPalette::WindowText, QPalette::Text, QPalette::ButtonText, QPalette::ToolTipText, QPalette::BrightText})
        p.setColor(r, c.text);
    p.setColor(QPalette::Base, c.base);
    p.setColor(QPalette::AlternateBase, c.button);
    p.setColor(QPalette::ToolTipBase, c.window);
    p.setColor(QPalette::Highlight, c.highlight);
    p.setColor(QPalette::HighlightedText, c.highlightedText);
    p.setColor(QPalette::Link, c.link);
    p.setColor(QPalette::PlaceholderText, c.disabled);
    for (QPalette::ColorRole r : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, r, c.disabled);
    return p;
}

} // namespace korvane::test
