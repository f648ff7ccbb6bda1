#include "terminal/widget/SystemCaret.h"

#include <QApplication>
#include <QPainter>
#include <QTimer>
#include <QWidget>

TSystemCaret::TSystemCaret(QWidget* Window)
    : QObject(Window), window_(Window), timer_(new QTimer(this)) {
    connect(timer_, &QTimer::timeout, this, [this] { Blink(); });
}

void TSystemCaret::Create(int Width, int Height) {
    Destroy();
    exists_ = true;
    hideCount_ = 1;
    rect_ = QRect(rect_.topLeft(), QSize(Width, Height));
}

void TSystemCaret::Destroy() {
    if (!exists_)
        return;
    Refresh();
    exists_ = false;
    hideCount_ = 0;
    timer_->stop();
}

void TSystemCaret::SetPos(int X, int Y) {
    if (rect_.topLeft() == QPoint(X, Y))
        return;
    Refresh();
    rect_.moveTopLeft(QPoint(X, Y));
    blinkOn_ = true;
    Refresh();
}

void TSystemCaret::Hide() {
    if (!exists_)
        return;
    if (hideCount_++ == 0) {
        timer_->stop();
        Refresh();
    }
}

void TSystemCaret::Show() {
    if (!exists_ || hideCount_ == 0)
        return;
    if (--hideCount_ == 0) {
        blinkOn_ = true;
        const int flash = QApplication::cursorFlashTime();
        if (flash > 0)
            timer_->start(flash / 2);
        Refresh();
    }
}

void TSystemCaret::Paint(QPainter& Painter) const {
    if (!IsShown() || !blinkOn_)
        return;
    Painter.save();
    Painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    Painter.fillRect(rect_, Qt::white);
    Painter.restore();
}

void TSystemCaret::Blink() {
    blinkOn_ = !blinkOn_;
    Refresh();
}

void TSystemCaret::Refresh() {
    if (exists_ && !rect_.isEmpty())
        window_->update(rect_);
}
