// PLACEHOLDER
#include "app/BrelvanU.h"
void TBrelvanF::y01setChart() {}
