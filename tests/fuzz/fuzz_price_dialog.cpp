// The price dialog's conversion of typed text to a whole number.
#include "FuzzSupport.h"
#include "core/ValueRules.h"
#include "model/PriceDialogModel.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string text(zuvemo::fuzz::bytes(data, size));
    auto value = zuvemo::ui::PriceDialogModel::toWholeNumber(text);
    // Only texts of digits, points and commas pass the dialog's checks; those that convert stay
    // inside the 32-bit range by construction.
    if (value && zuvemo::core::IsAllowedChars(text, "S") && *value < 0) {
        std::abort();
    }
    return 0;
}
