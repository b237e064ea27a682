#include "animate/AviPlayer.h"

TAnimate::TAnimate(QWidget *Parent) : QWidget(Parent) {}
