#include "firmware/version_listing.h"

#include "firmware/board_catalogue.h"

#include <cstdio>

namespace firmware {

std::string imageLine(int lineNumber, const char* chipLabel, int imageBoardIndex,
                      uint8_t imagePreparation) {
    const char* code;
    const char* connector;
    const char* option;
    const char* mark;
    if (imageBoardIndex >= 1 && imageBoardIndex <= 24) {
        code = boardCatalogue[imageBoardIndex].code;
        connector = boardCatalogue[imageBoardIndex].connector;
        option = optionName(imagePreparation);
        mark = resMark(imagePreparation);
    } else {
        code = lineNumber < 6 ? boardCatalogue[2].code : boardCatalogue[0].code;
        connector = lineNumber < 6 ? boardCatalogue[2].connector : boardCatalogue[3].connector;
        option = "UNKNOWN";
        mark = " ";
    }
    char line[128];
    std::snprintf(line, sizeof line, "%s - %s[%s] - %s  %s[Code:%02x]", chipLabel, code, connector,
                  option, mark, imagePreparation);
    return line;
}

std::vector<std::string> versionListing(const ImageTable& images) {
    std::vector<std::string> lines{"Device - Print          - Preparation",
                                   "-------------------------------------"};
    int8_t lineNumber = 0; // a signed byte, as the listing has always counted
    const auto list = [&](const chips::Chip& chip, const FirmwareImage& image) {
        const ImageIdentity identity = images.identityOf(image, chip);
        lines.push_back(imageLine(lineNumber, chip.listingLabel,
                                  static_cast<int8_t>(identity.boardIndex), identity.preparation));
        ++lineNumber;
    };
    // Board 0's image of a chip stands for all; only without it are the other boards listed.
    for (const chips::Chip& chip : chips::allChips()) {
        if (chip.listingLabel == nullptr) continue;
        const FirmwareImage& general = images.at(0, chip.imageSlot);
        if (general.hasImage()) {
            list(chip, general);
            continue;
        }
        for (uint8_t board : chip.listingBoards) {
            const FirmwareImage& image = images.at(board, chip.imageSlot);
            if (image.hasImage()) list(chip, image);
        }
    }
    return lines;
}

} // namespace firmware
