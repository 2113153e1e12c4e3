# A product is a folder under firmware/images/: its identity text, its scramble constant and its
# images. trevane_add_product() generates the product's data source with the imagegen tool and
# makes a library of it that the product's executables link.
set(TREVANE_PRODUCTS "" CACHE INTERNAL "")

function(trevane_add_product name dir)
    set(out ${CMAKE_BINARY_DIR}/products/${name}/product_data.cpp)
    file(GLOB_RECURSE inputs CONFIGURE_DEPENDS ${dir}/*)
    add_custom_command(
        OUTPUT ${out}
        COMMAND imagegen ${dir} ${out}
        DEPENDS imagegen ${inputs}
        COMMENT "Generating the image table of product ${name}"
        VERBATIM)
    add_library(trevane_product_${name} STATIC ${out})
    target_link_libraries(trevane_product_${name} PUBLIC trevane_firmware)
    set(TREVANE_PRODUCTS ${TREVANE_PRODUCTS} ${name} CACHE INTERNAL "")
endfunction()
