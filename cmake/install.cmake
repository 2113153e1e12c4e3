# What ships. On Linux, what `cmake --install` puts in place and the Debian package that
# scripts/package.sh makes from it with CPack: the programs, a desktop entry for each windowed
# program (the updater and the station window), the icon in the hicolor theme, AppStream metadata and the manual pages. On Windows,
# the release folder and its zip.
#
# The default product installs as trevane and trevane-cli, every other shipped product as
# trevane-<product> and trevane-cli-<product>, so that one package serves every product line and
# no product hides another. Products registered TESTS_ONLY (cmake/products.cmake) stay out.
# On Windows the same products make the release folder instead (the target windows_release).
find_program(TREVANE_INSTALL_PYTHON3 python3 PATHS /usr/bin NO_DEFAULT_PATH)
if(NOT TREVANE_INSTALL_PYTHON3)
    find_program(TREVANE_INSTALL_PYTHON3 python3 REQUIRED)
endif()

# The Windows release (scripts/windows.sh --release): release/trevane-<version>-windows-x64/ with
# a folder per product holding its trevane.exe, trevane-station.exe and trevane-cli.exe under the
# names they were
# built and tested with (which their version resources name), an operator's README.txt and
# SHA256SUMS; the zip of that folder; the installer trevane-<version>-x64.msi, which puts the
# same folders in place; SHA256SUMS of the zip and the installer. Dated SOURCE_DATE_EPOCH as
# configured; signed when the environment names a certificate (packaging/windows/make_release.py).
if(WIN32)
    set(entries "")
    set(programs "")
    foreach(product ${TREVANE_SHIPPED_PRODUCTS})
        # PRODUCT=IDENTITY,CLI[,GUI,STATION]: without the windowed front end, trevane-cli.exe
        # only.
        set(entry "${product}=${PROJECT_SOURCE_DIR}/firmware/images/${product}/identity.txt")
        string(APPEND entry ",$<TARGET_FILE:trevane_cli_${product}>")
        list(APPEND programs trevane_cli_${product})
        if(TARGET trevane_${product})
            string(APPEND entry ",$<TARGET_FILE:trevane_${product}>")
            string(APPEND entry ",$<TARGET_FILE:trevane_station_${product}>")
            list(APPEND programs trevane_${product} trevane_station_${product})
        endif()
        list(APPEND entries "${entry}")
    endforeach()
    add_custom_target(windows_release
        COMMAND ${TREVANE_INSTALL_PYTHON3} ${PROJECT_SOURCE_DIR}/packaging/windows/make_release.py
                ${CMAKE_BINARY_DIR}/release trevane-${PROJECT_VERSION}-windows-x64
                ${PROJECT_VERSION} ${PROJECT_SOURCE_DIR}/packaging/windows/README.txt.in
                ${PROJECT_SOURCE_DIR}/packaging/windows/trevane.wxs.in
                ${CMAKE_BINARY_DIR}/src/main/trevane.ico
                "${TREVANE_SOURCE_DATE_EPOCH}" ${entries}
        DEPENDS ${programs}
        COMMENT "Making the Windows release folder, zip and installer"
        VERBATIM)
    add_dependencies(windows_release trevane_icon)  # the icon src/main makes for the programs
    return()
endif()

include(GNUInstallDirs)

set(TREVANE_DEFAULT_PRODUCT zq710c CACHE STRING "The product installed as trevane and trevane-cli")
set(TREVANE_HOMEPAGE_URL "https://dravik.example/trevane" CACHE STRING
    "Where Trevane is published: the package's and the AppStream metadata's home page")
set(TREVANE_SCREENSHOT_URL "${TREVANE_HOMEPAGE_URL}/screenshots/updater.png" CACHE STRING
    "Where docs/updater.png is published, for the AppStream metadata")
set(TREVANE_APP_ID com.dravik.Trevane)

if(NOT TREVANE_DEFAULT_PRODUCT IN_LIST TREVANE_SHIPPED_PRODUCTS)
    message(FATAL_ERROR "The default product ${TREVANE_DEFAULT_PRODUCT} is not a shipped product "
                        "(${TREVANE_SHIPPED_PRODUCTS})")
endif()

find_program(TREVANE_GZIP gzip REQUIRED)
set(data ${CMAKE_BINARY_DIR}/install-data)
file(MAKE_DIRECTORY ${data}/applications ${data}/man/man1)

# Dates in the manual pages and the release entry: now, or SOURCE_DATE_EPOCH when it is set.
string(TIMESTAMP man_date "%B %Y" UTC)
string(TIMESTAMP release_date "%Y-%m-%d" UTC)

# Manual pages as Debian ships them: gzip without name or time, so that they repeat.
function(trevane_install_man template page)
    configure_file(${template} ${data}/${page} @ONLY)
    execute_process(COMMAND ${TREVANE_GZIP} -9nc ${data}/${page}
                    OUTPUT_FILE ${data}/man/man1/${page}.gz COMMAND_ERROR_IS_FATAL ANY)
    install(FILES ${data}/man/man1/${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()

# Another product's program shares the default one's manual page.
function(trevane_install_man_alias page target)
    file(CREATE_LINK ${target}.gz ${data}/man/man1/${page}.gz SYMBOLIC)
    install(FILES ${data}/man/man1/${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()

# An executable under another name, stripped when the install strips (cmake --install --strip,
# CPACK_STRIP_FILES).
function(trevane_install_program target name)
    install(PROGRAMS $<TARGET_FILE:${target}> DESTINATION ${CMAKE_INSTALL_BINDIR} RENAME ${name})
    install(CODE "
        if(CMAKE_INSTALL_DO_STRIP)
            execute_process(COMMAND \"${CMAKE_STRIP}\"
                \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/${name}\")
        endif()")
endfunction()

# The manual pages name the default product: "ZQ710c 01.02|03|00" -> ZQ710c.
file(STRINGS ${PROJECT_SOURCE_DIR}/firmware/images/${TREVANE_DEFAULT_PRODUCT}/identity.txt
     default_identity LIMIT_COUNT 1)
string(REGEX REPLACE " .*" "" default_product_name "${default_identity}")
trevane_install_man(${PROJECT_SOURCE_DIR}/packaging/linux/trevane-cli.1.in trevane-cli.1)
if(TREVANE_GUI)
    trevane_install_man(${PROJECT_SOURCE_DIR}/packaging/linux/trevane.1.in trevane.1)
    trevane_install_man(${PROJECT_SOURCE_DIR}/packaging/linux/trevane-station.1.in
                        trevane-station.1)
endif()

set(launchables "")
set(binaries "")
foreach(product ${TREVANE_SHIPPED_PRODUCTS})
    # The product's name as its identity text starts: "ZQ710c 01.02|03|00" -> ZQ710c.
    file(STRINGS ${PROJECT_SOURCE_DIR}/firmware/images/${product}/identity.txt identity LIMIT_COUNT 1)
    string(REGEX REPLACE " .*" "" product_name "${identity}")
    if(product STREQUAL TREVANE_DEFAULT_PRODUCT)
        set(suffix "")
        set(desktop_id ${TREVANE_APP_ID})
        set(desktop_name "Trevane")
    else()
        set(suffix -${product})
        set(desktop_id ${TREVANE_APP_ID}.${product})
        set(desktop_name "Trevane ${product_name}")
    endif()

    trevane_install_program(trevane_cli_${product} trevane-cli${suffix})
    string(APPEND binaries "    <binary>trevane-cli${suffix}</binary>\n")
    if(suffix)
        trevane_install_man_alias(trevane-cli${suffix}.1 trevane-cli.1)
    endif()

    if(TARGET trevane_${product})
        set(gui_name trevane${suffix})
        trevane_install_program(trevane_${product} ${gui_name})
        string(APPEND binaries "    <binary>${gui_name}</binary>\n")
        if(suffix)
            trevane_install_man_alias(${gui_name}.1 trevane.1)
        endif()
        configure_file(${PROJECT_SOURCE_DIR}/packaging/linux/trevane.desktop.in
                       ${data}/applications/${desktop_id}.desktop @ONLY)
        install(FILES ${data}/applications/${desktop_id}.desktop
                DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
        string(APPEND launchables
               "  <launchable type=\"desktop-id\">${desktop_id}.desktop</launchable>\n")
    endif()

    # The production station in a window, with a desktop entry of its own.
    if(TARGET trevane_station_${product})
        set(station_name trevane-station${suffix})
        trevane_install_program(trevane_station_${product} ${station_name})
        string(APPEND binaries "    <binary>${station_name}</binary>\n")
        if(suffix)
            trevane_install_man_alias(${station_name}.1 trevane-station.1)
        endif()
        set(desktop_name "Trevane Station")
        if(suffix)
            set(desktop_name "Trevane Station ${product_name}")
        endif()
        set(station_desktop_id ${desktop_id}.Station)
        configure_file(${PROJECT_SOURCE_DIR}/packaging/linux/trevane-station.desktop.in
                       ${data}/applications/${station_desktop_id}.desktop @ONLY)
        install(FILES ${data}/applications/${station_desktop_id}.desktop
                DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
        string(APPEND launchables
               "  <launchable type=\"desktop-id\">${station_desktop_id}.desktop</launchable>\n")
    endif()
endforeach()
string(REGEX REPLACE "\n$" "" binaries "${binaries}")
string(REGEX REPLACE "\n$" "" launchables "${launchables}")

if(TREVANE_GUI)
    # The icon, drawn from the program's own picture: SVG, and PNG at the usual sizes.
    set(icon_sizes 16 32 48 64 128 256)
    set(picture ${PROJECT_SOURCE_DIR}/src/ui/pictures/logo_small.xpm)
    set(icons ${data}/icons/scalable/apps/${TREVANE_APP_ID}.svg)
    foreach(size ${icon_sizes})
        list(APPEND icons ${data}/icons/${size}x${size}/apps/${TREVANE_APP_ID}.png)
    endforeach()
    add_custom_command(
        OUTPUT ${icons}
        COMMAND ${TREVANE_INSTALL_PYTHON3} ${PROJECT_SOURCE_DIR}/packaging/linux/make_icons.py
                ${picture} ${data}/icons ${TREVANE_APP_ID} ${icon_sizes}
        DEPENDS ${PROJECT_SOURCE_DIR}/packaging/linux/make_icons.py
                ${PROJECT_SOURCE_DIR}/src/main/win32/make_icon.py ${picture}
        COMMENT "Drawing the desktop icon"
        VERBATIM)
    add_custom_target(trevane_desktop_icon ALL DEPENDS ${icons})
    install(DIRECTORY ${data}/icons/ DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor)

    configure_file(${PROJECT_SOURCE_DIR}/packaging/linux/metainfo.xml.in
                   ${data}/${TREVANE_APP_ID}.metainfo.xml @ONLY)
    install(FILES ${data}/${TREVANE_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
endif()

# The udev rule for the common USB serial adapters (the user at the desk may open them,
# ModemManager leaves them alone, FTDI's latency timer at 1 ms), and the maintainer scripts that
# make udev take it at once.
install(FILES ${PROJECT_SOURCE_DIR}/packaging/linux/60-trevane.rules
        DESTINATION lib/udev/rules.d)

# The copyright file and the changelog, where Debian keeps them. The changelog's newest entry
# must be this version's: a new version needs its entry.
file(STRINGS ${PROJECT_SOURCE_DIR}/packaging/linux/changelog newest LIMIT_COUNT 1)
string(REGEX MATCH "^trevane \\(([^)]*)\\) " newest_entry "${newest}")
if(NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
    message(FATAL_ERROR "packaging/linux/changelog starts with \"${newest}\": it needs an entry "
                        "for version ${PROJECT_VERSION} first")
endif()
execute_process(COMMAND ${TREVANE_GZIP} -9nc ${PROJECT_SOURCE_DIR}/packaging/linux/changelog
                OUTPUT_FILE ${data}/changelog.gz COMMAND_ERROR_IS_FATAL ANY)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/linux/copyright ${data}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/trevane)

# The Debian package: cpack -G DEB in the build folder (scripts/package.sh).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME trevane)
set(CPACK_PACKAGE_VENDOR Dravik)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "firmware updater for PIC microcontroller boards")
# Lines of at most 79 characters: the package tools show them as they are.
set(CPACK_PACKAGE_DESCRIPTION
    "Trevane updates the firmware of boards built around Microchip PIC18 and
PIC24/dsPIC33 microcontrollers over a serial port: it finds the board's
bootloader, picks the firmware image built into the program for that chip and
board, and writes it with checksums and resends. trevane is the windowed
program, trevane-cli updates boards on several ports at once, and
trevane-station is a production station with a tile per bay.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Dravik <trevane@dravik.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${TREVANE_HOMEPAGE_URL})
# The dependencies are the packages of the libraries the programs link (dpkg-shlibdeps).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/linux/debian/postinst
                                       ${PROJECT_SOURCE_DIR}/packaging/linux/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR}/packages)
include(CPack)
