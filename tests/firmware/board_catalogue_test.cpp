#include "firmware/board_catalogue.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(BoardCatalogue, BoardNameFallsBackToEntryTwo) {
    const std::pair<int32_t, const char*> cases[] = {
        {0, "BD01_R02"},  {1, "UNK"},        {2, "BD01_R02"},   {14, "BD10_R03"}, {24, "BD19_R0x"},
        {25, "BD01_R02"}, {200, "BD01_R02"}, {255, "BD01_R02"}, {-1, "BD01_R02"},
    };
    for (auto [index, name] : cases)
        EXPECT_STREQ(firmware::boardName(index), name) << index;
}

TEST(BoardCatalogue, OptionNameAndResMark) {
    struct Case {
        uint8_t preparation;
        const char* option;
        const char* mark;
    } cases[] = {
        {0x81, "CAN+SPI", "RES"}, {0x02, "", " "},          {0x10, "UNKNOWN", " "},
        {0x1B, "UNKNOWN", " "},   {0x8A, "ETH0", "RES"},    {0x00, "UNKNOWN", " "},
        {0x14, "CAN", " "},       {0x80, "UNKNOWN", "RES"}, {0x2A, "UNKNOWN", " "},
        {0xFF, "UNKNOWN", "RES"}, {0x03, "RES", " "},
    };
    for (const Case& c : cases) {
        EXPECT_STREQ(firmware::optionName(c.preparation), c.option) << int(c.preparation);
        EXPECT_STREQ(firmware::resMark(c.preparation), c.mark) << int(c.preparation);
    }
}

} // namespace
