#include "Unit18.h"

TForm18::TForm18(QWidget* parent) : QWidget(parent, Qt::Window) { ui.setupUi(this); }
