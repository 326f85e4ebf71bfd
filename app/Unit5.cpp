#include "Unit5.h"

TForm5::TForm5(QWidget* parent) : QWidget(parent, Qt::Window | Qt::FramelessWindowHint) {
    ui.setupUi(this);
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);
    setAutoFillBackground(true);
}
