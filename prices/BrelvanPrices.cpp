#include "prices/BrelvanPrices.h"

#include "base/Errors.h"
#include "prices/PriceTexts.h"

void TBrelvanPrices::RequireStarted() const
{
    if (!Ann)
        throw EBrelvanError(NotStartedText());
}
