// Build date and time texts from the compiler's __DATE__ and __TIME__: "Jan 3 2012" (the
// compiler pads the day with a blank, which is dropped) and "16:51:17".
#pragma once

namespace firmware {

struct StampText {
    char text[12] = {};
};

constexpr StampText dateFromCompiler(const char (&date)[12]) {
    StampText out;
    int o = 0;
    for (int i = 0; i < 11; ++i) {
        if (i == 4 && date[i] == ' ') continue; // "Jan  3 2012" -> "Jan 3 2012"
        out.text[o++] = date[i];
    }
    return out;
}

} // namespace firmware
