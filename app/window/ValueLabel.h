// A label that shows a value (a status, a description, a number): a screen reader reads the value
// as the label's name, and setting the name is what tells it the value changed.
#pragma once

#include <QLabel>

inline void ShowValue(QLabel* label, const QString& value) {
    if (label->text() != value || label->accessibleName() != value) {
        label->setText(value);
        label->setAccessibleName(value);
    }
}
