# trevane_json: nlohmann-json, header-only, from Debian's nlohmann-json3-dev. A cross build
# takes the same headers: they hold no code of the build machine, but a folder that holds
# only them keeps the rest of /usr/include out of the Windows build.
add_library(trevane_json INTERFACE)
if(CMAKE_CROSSCOMPILING)
    if(NOT EXISTS /usr/include/nlohmann/json.hpp)
        message(FATAL_ERROR "nlohmann-json3-dev is not installed")
    endif()
    set(json_include ${CMAKE_BINARY_DIR}/json-include)
    file(MAKE_DIRECTORY ${json_include})
    file(CREATE_LINK /usr/include/nlohmann ${json_include}/nlohmann SYMBOLIC)
    target_include_directories(trevane_json SYSTEM INTERFACE ${json_include})
else()
    find_package(nlohmann_json 3.10 REQUIRED)
    target_link_libraries(trevane_json INTERFACE nlohmann_json::nlohmann_json)
endif()
