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

# app services (log, clock, paths, prefs, resources, panels) are the ground
# floor: everything may use them and they use nothing of ours.
sw_add_subsystem(sw_app_services app
    DEPS sw_lz4 Threads::Threads SOURCES ${SW_RESOURCE_SOURCE})
# The dispatch pool and task runtime sit below gr and rd alike, so that the
# image filters can spread row bands over the same pool the solver uses.
sw_add_subsystem(sw_task task DEPS sw_app_services Threads::Threads)
sw_add_subsystem(sw_gr gr EXCLUDE "/gr_context[^/]*\\.cpp$" DEPS sw_app_services sw_task sw_stb)
# The render context is the part of gr/ that needs OpenGL; the command-line
# program links gr/ without it.
add_library(sw_gr_context STATIC ${CMAKE_SOURCE_DIR}/gr/gr_context.cpp)
target_include_directories(sw_gr_context PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(sw_gr_context PUBLIC sw_gr sw_nanovg PRIVATE sw_warnings)
sw_add_subsystem(sw_ui ui DEPS sw_gr_context)
sw_add_subsystem(sw_rd rd DEPS sw_gr sw_task sw_ui Threads::Threads)
# The window sits above the toolkit: it feeds input to ui/ and draws through
# the render context. The toolkit's entry points are resolved where a program
# links sw_ui after it, so the window's own tests can observe them.
sw_add_subsystem(sw_win win DEPS sw_gr_context glfw)
sw_add_subsystem(sw_common common DEPS sw_win sw_rd sw_ui sw_gr)

# The stand-alone program.
file(GLOB SW_CLI_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/cli/*.cpp)
add_executable(spotweave ${SW_CLI_SOURCES})
target_link_libraries(spotweave PRIVATE sw_common sw_rd sw_gr sw_app_services sw_warnings)

# The plug-in module: the subsystem libraries behind one exported entry,
# PluginMain (C linkage); everything else stays local to the module.
add_library(Spotweave MODULE ${CMAKE_SOURCE_DIR}/sdk/pi_filter.h ${CMAKE_SOURCE_DIR}/sdk/pi_suites.h)
set_target_properties(Spotweave PROPERTIES
    PREFIX "" OUTPUT_NAME Spotweave LINKER_LANGUAGE CXX
    CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON
    LINK_DEPENDS ${CMAKE_SOURCE_DIR}/cmake/spotweave.map)
target_link_libraries(Spotweave PRIVATE sw_common sw_rd sw_gr sw_app_services)
target_link_options(Spotweave PRIVATE
    -Wl,--undefined=PluginMain
    -Wl,--version-script=${CMAKE_SOURCE_DIR}/cmake/spotweave.map)
if(NOT SPOTWEAVE_ASAN AND NOT SPOTWEAVE_TSAN)
    # Sanitizer runtimes come from the host program, so only plain builds can
    # insist that the module resolves everything at link time.
    target_link_options(Spotweave PRIVATE -Wl,--no-undefined)
endif()
# The about box opens the host's documentation pages, installed in doc/ beside
# the module.
foreach(page README.md docs/host.md)
    if(EXISTS ${CMAKE_SOURCE_DIR}/${page})
        get_filename_component(name ${page} NAME)
        add_custom_command(TARGET Spotweave POST_BUILD
            COMMAND ${CMAKE_COMMAND} -E make_directory $<TARGET_FILE_DIR:Spotweave>/doc
            COMMAND ${CMAKE_COMMAND} -E copy_if_different ${CMAKE_SOURCE_DIR}/${page}
                    $<TARGET_FILE_DIR:Spotweave>/doc/${name}
            VERBATIM)
    endif()
endforeach()

# Our host: a library (tests drive it in-process) and the program. It loads
# the module at run time and links none of the plug-in's own code.
sw_add_subsystem(sw_host host EXCLUDE "/host_main\\.cpp$" DEPS sw_gr ${CMAKE_DL_LIBS})
add_executable(spotweave-host ${CMAKE_SOURCE_DIR}/host/host_main.cpp)
target_link_libraries(spotweave-host PRIVATE sw_host sw_warnings)
# By default the program loads the module beside it.
add_dependencies(spotweave-host Spotweave)
