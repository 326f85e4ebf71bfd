#include "Unit6.h"

#include "Forms.h"
#include "Handlers.h"
#include "Unit3.h"

#include <QGuiApplication>
#include <QScreen>
#include <QStyle>

TForm6::TForm6(QWidget* parent) : QWidget(parent, Qt::Window) {
    ui.setupUi(this);
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    ui.BitBtn1->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - QPoint(303 / 2, 336 / 2));
    connect(ui.BitBtn1, &QPushButton::clicked, this, handler(this, &TForm6::BitBtn1Click));
}

void TForm6::BitBtn1Click() {
    Form3->botanotopo();
    close();
}
