// PLACEHOLDER
#include "app/BrelvanU.h"
float TBrelvanF::normalize(float s) const { return s; }
float TBrelvanF::renormalize(float s) const { return s; }
void TBrelvanF::y02rdDat() {}
