// The window system has no caret of its own here, so the terminal keeps one with the rules its
// code relies on: one caret per window, created hidden, hides and shows nest (as many shows as
// hides bring it back), and moving it repaints only the cells it leaves and enters. It blinks
// at the platform's cursor flash rate and is drawn by inverting the pixels under it.
#pragma once

#include <QObject>
#include <QRect>

class QPainter;
class QTimer;
class QWidget;

class TSystemCaret : public QObject {
public:
    explicit TSystemCaret(QWidget* Window);

    void Create(int Width, int Height);
    void Destroy();
    bool Exists() const { return exists_; }

    void SetPos(int X, int Y);
    void Hide();
    // Does nothing when the caret is not hidden.
    void Show();
    // Exists and not hidden; the blink phase does not count.
    bool IsShown() const { return exists_ && hideCount_ == 0; }
    QRect Rect() const { return rect_; }

    // Called at the end of the window's painting.
    void Paint(QPainter& Painter) const;

private:
    void Blink();
    void Refresh();

    QWidget* window_;
    QTimer* timer_;
    QRect rect_;
    bool exists_ = false;
    int hideCount_ = 0;
    bool blinkOn_ = true;
};
