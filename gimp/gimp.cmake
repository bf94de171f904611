# The GIMP 2.10 plug-in, spotweave-gimp, built only where pkg-config finds
# gimp-2.0 (libgimp2.0-dev). Its engine glue and pixel conversions
# (sw_gimp_engine) need nothing of GIMP, so their tests link them alone.

add_library(sw_gimp_engine STATIC EXCLUDE_FROM_ALL
    ${CMAKE_SOURCE_DIR}/gimp/swg_engine.cpp ${CMAKE_SOURCE_DIR}/gimp/swg_pixels.cpp)
target_include_directories(sw_gimp_engine PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(sw_gimp_engine PUBLIC sw_common sw_rd sw_gr sw_app_services
    PRIVATE sw_warnings)

find_package(PkgConfig QUIET)
if(PKG_CONFIG_FOUND)
    pkg_check_modules(SW_GIMP QUIET IMPORTED_TARGET gimp-2.0)
endif()
if(SW_GIMP_FOUND)
    add_executable(spotweave-gimp ${CMAKE_SOURCE_DIR}/gimp/swg_main.cpp)
    target_link_libraries(spotweave-gimp PRIVATE sw_gimp_engine PkgConfig::SW_GIMP sw_warnings)
    # GIMP's plug-in folder below an install prefix: gimplibdir relative to
    # the prefix GIMP was installed under (lib/gimp/2.0 on Debian).
    pkg_get_variable(SW_GIMP_PREFIX gimp-2.0 prefix)
    pkg_get_variable(SW_GIMP_LIBDIR gimp-2.0 gimplibdir)
    file(RELATIVE_PATH SW_GIMP_PLUGIN_DIR "${SW_GIMP_PREFIX}" "${SW_GIMP_LIBDIR}/plug-ins")
else()
    message(STATUS "gimp-2.0 not found by pkg-config (libgimp2.0-dev): "
                   "the GIMP plug-in spotweave-gimp is not built")
endif()
