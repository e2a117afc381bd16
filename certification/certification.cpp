#include "certification/certification.h"

Certification::Certification(QWidget *parent) : QWidget(parent) {}
