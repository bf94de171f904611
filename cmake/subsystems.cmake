# One static library per subsystem folder; programs on top.

# sw_add_subsystem(<target> <folder> [EXCLUDE <regex>] [DEPS <targets...>] [SOURCES <extra...>])
# Collects <folder>/*.cpp (minus EXCLUDE) into a static library that includes
# from the repository root.
function(sw_add_subsystem target folder)
    cmake_parse_arguments(ARG "" "EXCLUDE" "DEPS;SOURCES" ${ARGN})
    file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${folder}/*.cpp)
    if(ARG_EXCLUDE)
        list(FILTER sources EXCLUDE REGEX "${ARG_EXCLUDE}")
    endif()
    if(NOT sources AND NOT ARG_SOURCES)
        # A folder whose modules have not been written yet.
        add_library(${target} INTERFACE)
        target_include_directories(${target} INTERFACE ${CMAKE_SOURCE_DIR})
        target_link_libraries(${target} INTERFACE ${ARG_DEPS})
        return()
    endif()
    add_library(${target} STATIC ${sources} ${ARG_SOURCES})
    target_include_directories(${target} PUBLIC ${CMAKE_SOURCE_DIR})
    target_link_libraries(${target} PUBLIC ${ARG_DEPS} PRIVATE sw_warnings)
endfunction()

# Embedded resources: packed (LZ4 block) into a generated source at build time.
add_executable(sw_respack ${CMAKE_SOURCE_DIR}/resources/respack.cpp)
target_link_libraries(sw_respack PRIVATE sw_lz4 sw_warnings)
set(SW_RESOURCE_SOURCE ${CMAKE_BINARY_DIR}/generated/app_resource_data.cpp)
add_custom_command(
    OUTPUT ${SW_RESOURCE_SOURCE}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/generated
    COMMAND sw_respack ${SW_RESOURCE_SOURCE}
            RobotoLight=${SW_ROBOTO_LIGHT}
            pixelwrenicons=${CMAKE_SOURCE_DIR}/resources/pixelwrenicons.ttf
            icon256=${CMAKE_SOURCE_DIR}/resources/icon256.png
    DEPENDS sw_respack ${SW_ROBOTO_LIGHT}
            ${CMAKE_SOURCE_DIR}/resources/pixelwrenicons.ttf
            ${CMAKE_SOURCE_DIR}/resources/icon256.png
    COMMENT "Packing embedded resources"
    VERBATIM)

# app services (log, clock, paths, prefs, resources) sit below gr; the window
# part of app/ (app_window*) sits above it.
sw_add_subsystem(sw_app_services app EXCLUDE "/app_window[^/]*\\.cpp$"
    DEPS sw_lz4 Threads::Threads SOURCES ${SW_RESOURCE_SOURCE})
sw_add_subsystem(sw_gr gr DEPS sw_app_services sw_stb)
sw_add_subsystem(sw_rd rd DEPS sw_gr Threads::Threads)
sw_add_subsystem(sw_common common DEPS sw_gr sw_rd)

# The stand-alone program.
file(GLOB SW_CLI_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/cli/*.cpp)
add_executable(spotweave ${SW_CLI_SOURCES})
target_link_libraries(spotweave PRIVATE sw_common sw_rd sw_gr sw_app_services sw_warnings)
