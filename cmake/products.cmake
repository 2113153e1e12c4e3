# A product is a folder under firmware/images/ (format in firmware/images/README.md): its
# manifest product.txt, identity text, scramble constant and images. trevane_add_product()
# generates the product's data source with the imagegen tool and makes a library of it that the
# product's executables link; trevane_add_product(NAME DIR TESTS_ONLY) for a product that only
# the tests use. imagegen writes a dependency file, so that inputs shared with
# another folder (a HEX file named by a relative path) are tracked as well.
set(TREVANE_PRODUCTS "" CACHE INTERNAL "")
# The products that are installed and released; TESTS_ONLY keeps a product out of them.
set(TREVANE_SHIPPED_PRODUCTS "" CACHE INTERNAL "")

# The build stamp comes from SOURCE_DATE_EPOCH as it was when the build was configured (unset:
# the compiler's clock). The product data depend on it, so that a new value makes them anew.
set(TREVANE_SOURCE_DATE_EPOCH "$ENV{SOURCE_DATE_EPOCH}")
set(TREVANE_EPOCH_FILE ${CMAKE_BINARY_DIR}/products/source_date_epoch.txt)
file(CONFIGURE OUTPUT ${TREVANE_EPOCH_FILE} CONTENT "${TREVANE_SOURCE_DATE_EPOCH}\n")
if(TREVANE_SOURCE_DATE_EPOCH STREQUAL "")
    set(TREVANE_EPOCH_ENV --unset=SOURCE_DATE_EPOCH)
else()
    set(TREVANE_EPOCH_ENV SOURCE_DATE_EPOCH=${TREVANE_SOURCE_DATE_EPOCH})
endif()

function(trevane_add_product name dir)
    cmake_parse_arguments(PARSE_ARGV 2 arg "TESTS_ONLY" "" "")
    set(out ${CMAKE_BINARY_DIR}/products/${name}/product_data.cpp)
    set(dep ${CMAKE_BINARY_DIR}/products/${name}/product_data.d)
    file(GLOB_RECURSE inputs CONFIGURE_DEPENDS ${dir}/*)
    # The generator runs on the build machine: in a cross build, the one built for the host.
    if(TREVANE_HOST_IMAGEGEN)
        set(generator ${TREVANE_HOST_IMAGEGEN})
        set(generator_deps ${TREVANE_HOST_IMAGEGEN_TARGET})
    else()
        set(generator $<TARGET_FILE:imagegen>)
        set(generator_deps imagegen)
    endif()
    add_custom_command(
        OUTPUT ${out}
        COMMAND ${CMAKE_COMMAND} -E env ${TREVANE_EPOCH_ENV} ${generator} ${dir} ${out} ${dep}
        DEPENDS ${generator_deps} ${inputs} ${TREVANE_EPOCH_FILE}
        DEPFILE ${dep}
        COMMENT "Generating the image table of product ${name}"
        VERBATIM)
    # Objects, not an archive: the firmware library refers to these symbols, so they must be linked
    # in whole whatever the order of the link line.
    add_library(trevane_product_${name} OBJECT ${out})
    target_link_libraries(trevane_product_${name} PUBLIC trevane_firmware)
    set(TREVANE_PRODUCTS ${TREVANE_PRODUCTS} ${name} CACHE INTERNAL "")
    if(NOT arg_TESTS_ONLY)
        set(TREVANE_SHIPPED_PRODUCTS ${TREVANE_SHIPPED_PRODUCTS} ${name} CACHE INTERNAL "")
    endif()
endfunction()
