// The XPM decoder that the Win32 binding paints the logos with.
#include "ui/xpm.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(Xpm, KeysOfSeveralCharactersColoursAndTransparency) {
    static const char* const picture[] = {
        "3 2 3 2", "   c None", "ab c #1F3A68", "ba c #F5A623", "abba  ", "  baab",
    };
    const ui::Bitmap bitmap = ui::decodeXpm(picture);
    EXPECT_EQ(bitmap.width, 3);
    EXPECT_EQ(bitmap.height, 2);
    EXPECT_EQ(bitmap.pixels, (std::vector<int32_t>{0x1F3A68, 0xF5A623, ui::kTransparent,
                                                   ui::kTransparent, 0xF5A623, 0x1F3A68}));
}

TEST(Xpm, AHeaderThatCannotBeReadGivesNoPicture) {
    static const char* const broken[] = {"3 x 1 1", "a c #000000", "aaa"};
    EXPECT_TRUE(ui::decodeXpm(broken).pixels.empty());
}

} // namespace
