// PLACEHOLDER
#include "app/BrelvanU.h"
void TBrelvanF::y03lean() {}
void TBrelvanF::a04RdBClick() {}
