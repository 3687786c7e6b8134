// PLACEHOLDER
#include "app/BrelvanU.h"
void TBrelvanF::uqTst(std::int32_t) {}
