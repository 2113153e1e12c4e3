// Bays files: what finds each bay's port, and the faults a file can have.
#include "station/bays.h"

#include <gtest/gtest.h>

namespace {

TEST(Bays, MalformedFilesAreRefusedWithTheirLine) {
    struct Case {
        const char* text;
        const char* error; // nullptr: the file is fine
    };
    const Case cases[] = {
        {"# bench 3\n\nA1 usb-0:2:1.0-port0  # left\nA2 A50285BI\nB1 COM5\n", nullptr},
        {"A1 usb-0:2:1.0-port0\nA2\n", "bays.txt:2: a bay is a label and a place"},
        {"A1 x y\n", "bays.txt:1: a bay is a label"},
        {"A1 COM5\n\nA1 COM6\n", "bays.txt:3: the bay A1 is named twice"},
        {"A1 COM5\nA2 com5\n", "bays.txt:2: com5 is the bay A1 already"},
        // Places as Windows gives them, '#' and all; a comment still follows a blank.
        {"A1 PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(2)#USB(1)\n"
         "A2 PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(2)#USB(2)\t# the lower socket\n"
         "A3 Port_#0002.Hub_#0001 #hub\n",
         nullptr},
        {"A1 x#y #z\nA2 x#y\n", "bays.txt:2: x#y is the bay A1 already"},
    };
    for (const Case& c : cases) {
        const station::BaysFile file = station::parseBays("bays.txt", c.text);
        EXPECT_EQ(file.error.rfind(c.error ? c.error : "", 0), 0u) << c.text << file.error;
        EXPECT_EQ(file.bays.empty(), c.error != nullptr);
    }
    const station::BaysFile windows = station::parseBays("bays.txt", cases[5].text);
    serial::PortDescription port{"COM7", "\\\\.\\COM7", ""};
    port.place = "PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(2)#USB(2)";
    EXPECT_EQ(station::bayOf(windows.bays, port), "A2");
}

} // namespace
