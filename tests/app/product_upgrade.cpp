// A product with an Upgrade code in the middle of its identity, and the small images of
// test_images.h.
#include "firmware/product.h"
#include "test_images.h"

namespace firmware {

const Product& thisProduct() {
    static constexpr Product kProduct{"XR-HBD7 02.00|01|00", "Feb 2 2026", "08:00:00",
                                      ImageTable(apptest::kTestImages, 0)};
    return kProduct;
}

} // namespace firmware
