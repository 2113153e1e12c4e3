#include "firmware/board_catalogue.h"

namespace firmware {

// Entries 0 and 1 are not boards. Entries 2 to 4, 7 and 8, 10 and 15 are revisions of one board.
const BoardEntry boardCatalogue[kBoardCatalogueCount] = {
    {"UNK", "UNK"},        {"UNK", "UNK"},        {"BD01_R02", "14PIN"}, {"BD01_R03", "16PIN"},
    {"BD01_R04", "16PIN"}, {"BD02_R01", "16PIN"}, {"BD03_R01", "16PIN"}, {"BD04_R01", "16PIN"},
    {"BD04_R02", "16PIN"}, {"BD05_R01", "16PIN"}, {"BD06_R03", "16PIN"}, {"BD07_R02", "16PIN"},
    {"BD08_R02", "16PIN"}, {"BD09_R02", "16PIN"}, {"BD10_R03", "DB9"},   {"BD06_R04", "16PIN"},
    {"BD11_R02", "16PIN"}, {"BD12_R0x", "16PIN"}, {"BD13_R0x", "16PIN"}, {"BD14_R0x", "16PIN"},
    {"BD15_R0x", "RJ45"},  {"BD16_R0x", "6PIN"},  {"BD17_R01", "16PIN"}, {"BD18_R01", "16PIN"},
    {"BD19_R0x", "16PIN"},
};

const char* const optionList[kOptionCount] = {
    "UNK", "CAN+SPI", "", "RES", "CAN", "SRV", "2RES", "CDC", "VTR/CDC", "SIO/JEL.", "ETH0",
};

const char* boardName(int32_t index) {
    if (index > 0 && index < kBoardCatalogueCount) return boardCatalogue[index].code;
    return boardCatalogue[2].code;
}

const char* optionName(uint8_t preparation) {
    const int option = preparation & 0x6F;
    if (option >= 1 && option < kOptionCount) return optionList[option];
    return "UNKNOWN";
}

const char* resMark(uint8_t preparation) {
    return (preparation & 0x80) ? "RES" : " ";
}

} // namespace firmware
