// The shallow dotted-quad check of the IP form, and the text-to-integer
// conversion it and the page-number parsing rely on.
#pragma once

#include <cstdint>
#include <string_view>

// The C runtime's wide text-to-integer conversion: optional leading white
// space and sign, then decimal digits; 0 when there are none. Values outside
// the 32-bit range saturate.
int32_t WideTextToInt(std::u16string_view text);

// Four dot-separated parts after trimming, each "0" or 1..255 without sign,
// leading zeros or other characters. One dot at either end is ignored by the
// split, so "192.168.1.5." passes.
bool IsValidIPAddress(std::u16string_view text);
