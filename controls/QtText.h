// Byte strings of the port component (characters 0..255) as Qt text and back. Latin-1 maps
// every byte to one character, so any device name survives the round trip unchanged.
#pragma once

#include <string>

#include <QString>
#include <QWidget>

inline QString ToQString(const std::string& S) {
    return QString::fromLatin1(S.data(), static_cast<qsizetype>(S.size()));
}

inline std::string FromQString(const QString& S) {
    return S.toLatin1().toStdString();
}

// Called on each tooltip change: the hint becomes the widget's accessible name, unless a name
// was given apart from it. LastHint remembers the hint given before.
inline void HintToAccessibleName(QWidget& Widget, QString& LastHint) {
    if (Widget.accessibleName().isEmpty() || Widget.accessibleName() == LastHint)
        Widget.setAccessibleName(Widget.toolTip());
    LastHint = Widget.toolTip();
}
