#include "service/utilities.h"

Utilities::Utilities(QWidget *parent) : QWidget(parent) {}
