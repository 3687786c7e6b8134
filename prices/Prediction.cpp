// PLACEHOLDER
#include "app/BrelvanU.h"
void TBrelvanF::y04Yosok() {}
void TBrelvanF::y05znYos() {}
void TBrelvanF::a05Yo1BClick() {}
void TBrelvanF::a06Yo2BClick() {}
