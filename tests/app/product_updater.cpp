// The product the window tests run as: the example identity and build stamp, and the small
// images of test_images.h.
#include "firmware/product.h"
#include "test_images.h"

namespace firmware {

const Product& thisProduct() {
    static constexpr Product kProduct{"ZQ710c 01.02|03|00", "Jan 30 2012", "16:51:17",
                                      ImageTable(apptest::kTestImages, 0)};
    return kProduct;
}

} // namespace firmware
