# Where `cmake --install` puts things, the manual pages, and the Debian
# package (`cpack -G DEB`).
#
#   bin/spotweave, bin/spotweave-host
#   <libdir>/spotweave/Spotweave.so       the module, found by spotweave-host
#                                         relative to its own folder
#   <libdir>/spotweave/doc -> <docdir>    the about box's documentation pages
#   <docdir>/README.md, host.md
#   <mandir>/man1/spotweave.1.gz, spotweave-host.1.gz
#   lib/gimp/2.0/plug-ins/spotweave-gimp/spotweave-gimp   (when built)

include(GNUInstallDirs)

set(SW_MODULE_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/spotweave)
# The host looks for the module beside itself (the build tree), then along
# this path from its folder, so an installed tree works under any prefix.
file(RELATIVE_PATH SW_MODULE_FROM_BIN /prefix/${CMAKE_INSTALL_BINDIR}
     /prefix/${SW_MODULE_INSTALL_DIR})
target_compile_definitions(sw_host PRIVATE SW_MODULE_FROM_BIN="${SW_MODULE_FROM_BIN}")

install(TARGETS spotweave spotweave-host RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS Spotweave LIBRARY DESTINATION ${SW_MODULE_INSTALL_DIR})
install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/docs/host.md
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
file(RELATIVE_PATH SW_DOC_FROM_MODULE /prefix/${SW_MODULE_INSTALL_DIR}
     /prefix/${CMAKE_INSTALL_DOCDIR})
install(CODE "
    set(link \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${SW_MODULE_INSTALL_DIR}/doc\")
    file(REMOVE \"\${link}\")
    file(CREATE_LINK \"${SW_DOC_FROM_MODULE}\" \"\${link}\" SYMBOLIC)
    message(STATUS \"Installing: \${link} -> ${SW_DOC_FROM_MODULE}\")")
if(TARGET spotweave-gimp)
    install(TARGETS spotweave-gimp
            RUNTIME DESTINATION ${SW_GIMP_PLUGIN_DIR}/spotweave-gimp)
endif()

# Manual pages from the programs' --help (help2man), built with everything.
find_program(SW_HELP2MAN help2man)
if(SW_HELP2MAN)
    set(SW_MAN_DIR ${CMAKE_BINARY_DIR}/man)
    set(SW_MAN_PAGES)
    # sw_man_page(<program target> <summary> [sub-commands...])
    function(sw_man_page name summary)
        set(page ${SW_MAN_DIR}/${name}.1.gz)
        # Commas: a list would split into arguments of the command.
        string(REPLACE ";" "," commands "${ARGN}")
        add_custom_command(OUTPUT ${page}
            COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:${name}> -DNAME=${name}
                    -DSUMMARY=${summary} -DVERSION=${PROJECT_VERSION} -DCOMMANDS=${commands}
                    -DOUT=${page} -P ${CMAKE_SOURCE_DIR}/cmake/man.cmake
            DEPENDS ${name} ${CMAKE_SOURCE_DIR}/cmake/man.cmake
            COMMENT "Writing the manual page of ${name}"
            VERBATIM)
        set(SW_MAN_PAGES ${SW_MAN_PAGES} ${page} PARENT_SCOPE)
    endfunction()
    sw_man_page(spotweave "grow reaction-diffusion patterns out of pictures, or draw them as lines"
        blur resize lines render view)
    sw_man_page(spotweave-host "apply a filter plug-in to an image file as a host application does")
    add_custom_target(sw_man ALL DEPENDS ${SW_MAN_PAGES})
    install(FILES ${SW_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
    message(STATUS "help2man not found: no manual pages")
endif()

# The Debian package: everything above under /usr; its dependencies are the
# shared libraries the programs, the module and the plug-in link, as
# dpkg-shlibdeps finds them.
set(CPACK_PACKAGE_NAME spotweave)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Spotweave maintainers <maintainers@spotweave.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "reaction-diffusion pattern filter: command line, plug-in host and GIMP plug-in")
set(CPACK_PACKAGE_DESCRIPTION "Spotweave grows a self-organising reaction-diffusion \
pattern out of a picture, following its edges, or draws the picture as coherent lines. It \
ships the spotweave program, the spotweave-host plug-in host with its Spotweave.so module, \
and a GIMP 2.10 plug-in under Filters > Artistic.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_GENERATOR DEB)
include(CPack)
