// PLACEHOLDER
#include "app/BrelvanU.h"
void TBrelvanF::uqc(std::int32_t) {}
void TBrelvanF::udc(std::int32_t) {}
void TBrelvanF::c24rgBClick() {}
