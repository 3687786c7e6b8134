// PLACEHOLDER
#include "app/BrelvanU.h"
void TBrelvanF::uqCdb() {}
void TBrelvanF::uqCtbl(std::int32_t) {}
void TBrelvanF::uqb(std::int32_t) {}
