// The inputs of one product's build, generated from firmware/images/<product>/ and linked into
// that product's executables: its identity, build stamp and images.
#pragma once

#include "firmware/image_table.h"

namespace firmware {

struct Product {
    const char* identity;  // "ZQ710c 01.02|03|00"
    const char* buildDate; // "Jan 30 2012"
    const char* buildTime; // "16:51:17"
    ImageTable images;
    // The manifest's "files forbidden": no firmware file may take the place of the images.
    bool filesForbidden = false;
};

// Defined by the product's generated source.
const Product& thisProduct();

} // namespace firmware
