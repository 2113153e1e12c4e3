// The PIC18 family end to end: the test product's images programmed into board-sim through the
// real windows and driver, EEPROM data included.
#include "firmware/product.h"
#include "qt_session.h"

namespace {

using namespace e2e;

const firmware::ImageTable& images() {
    return firmware::thisProduct().images;
}

struct Programmed {
    QString banner, device;
    std::vector<DumpFrame> frames;
};

class Pic18Update : public QtSession {
protected:
    Programmed update(const char* chip, const firmware::FirmwareImage& image) {
        const int board = image.flashData[14] ^ images().scrambleMask(0);
        const int prep = image.flashData[15] ^ images().scrambleMask(0);
        BoardSim sim(sandbox, {"--chip", chip, "--bios", "5", "--board", std::to_string(board),
                               "--prep", std::to_string(prep)});
        sandbox.storePort(199);
        Programmed p;
        run([&](QWidget* w) {
            click(w, "update");
            p.banner = text(w, "banner");
            p.device = text(w, "statusBar.2");
        });
        p.frames = framesOf(sim.dump());
        return p;
    }
};

TEST_F(Pic18Update, Pic18F2580WithEepromData) {
    const firmware::FirmwareImage& image = images().at(0, 1);
    ASSERT_GT(image.eepromLength, 0);
    const Programmed p = update("C", image);
    EXPECT_EQ(p.banner, " Program Ok ");
    EXPECT_EQ(p.device, "Found 2580");

    std::vector<uint8_t> flash, eeprom;
    uint32_t expectedAddress = 0;
    for (const DumpFrame& f : p.frames) {
        if (f.kind == "eeprom") {
            EXPECT_EQ(f.address, eeprom.size());
            eeprom.push_back(f.data[0]);
        } else if (f.kind == "flash" && f.address == 0x7E40) {
            ASSERT_EQ(f.data.size(), 64u); // the fix frame at the limit of BIOS code 5
        } else if (f.kind == "flash") {
            EXPECT_EQ(f.address, expectedAddress);
            expectedAddress += static_cast<uint32_t>(f.data.size());
            for (uint8_t b : f.data)
                flash.push_back(b);
        }
    }
    EXPECT_EQ(eeprom,
              std::vector<uint8_t>(image.eepromData, image.eepromData + image.eepromLength));
    ASSERT_EQ(flash.size(), static_cast<size_t>(image.flashLength));
    // The reset jump of BIOS code 5 and above, in wire form, then the image as stored.
    const uint8_t jump[4] = {0x40, 0xEF, 0x3F, 0xF0};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(flash[static_cast<size_t>(i)] ^ images().scrambleMask(0), jump[i]);
    EXPECT_TRUE(std::equal(flash.begin() + 4, flash.end(), image.flashData + 4));
}

TEST_F(Pic18Update, Pic18F24J10ImageIsCutAtItsApplicationLimit) {
    const firmware::FirmwareImage& image = images().at(0, 5);
    ASSERT_GT(image.flashLength, 0x3BC0);
    const Programmed p = update("199", image);
    EXPECT_EQ(p.banner, " Program Ok ");
    EXPECT_EQ(p.device, "Found 24j10");
    uint32_t end = 0;
    bool fixFrame = false;
    for (const DumpFrame& f : p.frames) {
        if (f.address == 0x3BC0)
            fixFrame = true;
        else
            end = std::max(end, f.address + static_cast<uint32_t>(f.data.size()));
    }
    EXPECT_EQ(end, 0x3BC0u);
    EXPECT_TRUE(fixFrame);
}

} // namespace
