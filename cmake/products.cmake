# A product is a folder under firmware/images/ (format in firmware/images/README.md): its
# manifest product.txt, identity text, scramble constant and images. trevane_add_product()
# generates the product's data source with the imagegen tool and makes a library of it that the
# product's executables link. imagegen writes a dependency file, so that inputs shared with
# another folder (a HEX file named by a relative path) are tracked as well.
set(TREVANE_PRODUCTS "" CACHE INTERNAL "")

function(trevane_add_product name dir)
    set(out ${CMAKE_BINARY_DIR}/products/${name}/product_data.cpp)
    set(dep ${CMAKE_BINARY_DIR}/products/${name}/product_data.d)
    file(GLOB_RECURSE inputs CONFIGURE_DEPENDS ${dir}/*)
    # The generator runs on the build machine: in a cross build, the one built for the host.
    if(TREVANE_HOST_IMAGEGEN)
        set(generator ${TREVANE_HOST_IMAGEGEN})
        set(generator_deps ${TREVANE_HOST_IMAGEGEN_TARGET})
    else()
        set(generator imagegen)
        set(generator_deps imagegen)
    endif()
    add_custom_command(
        OUTPUT ${out}
        COMMAND ${generator} ${dir} ${out} ${dep}
        DEPENDS ${generator_deps} ${inputs}
        DEPFILE ${dep}
        COMMENT "Generating the image table of product ${name}"
        VERBATIM)
    # Objects, not an archive: the firmware library refers to these symbols, so they must be linked
    # in whole whatever the order of the link line.
    add_library(trevane_product_${name} OBJECT ${out})
    target_link_libraries(trevane_product_${name} PUBLIC trevane_firmware)
    set(TREVANE_PRODUCTS ${TREVANE_PRODUCTS} ${name} CACHE INTERNAL "")
endfunction()
