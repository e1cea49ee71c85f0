# What `cmake --install` puts under the prefix, beside the programs (bin/) and their shipped data
# (share/polydec/) installed where they are built:
#   share/polydec/examples         the example worksheets, ODF and fit input
#   share/man/man1                 polydec(1) with every subcommand, polydec-gui(1)
#   share/applications, icons      the menu entry of the window and its icon
#   include/polydec, lib/          the public engine API and the engine as one static library,
#   lib/cmake/polydec              with the package config for find_package(polydec)
# The Python module goes to the interpreter's folder of the prefix (python/CMakeLists.txt).
include(CMakePackageConfigHelpers)

install(DIRECTORY ${CMAKE_SOURCE_DIR}/examples/ DESTINATION ${CMAKE_INSTALL_DATADIR}/polydec/examples)
install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/CHANGELOG.md
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The manual pages, made from the programs' own help when help2man is at hand.
find_program(HELP2MAN_PROGRAM help2man)
if(HELP2MAN_PROGRAM)
  set(man_dir ${CMAKE_BINARY_DIR}/man)
  set(man_pages ${man_dir}/polydec.1)
  add_custom_command(
    OUTPUT ${man_dir}/polydec.1
    COMMAND bash ${CMAKE_SOURCE_DIR}/tools/make_man_page.sh ${man_dir}/polydec.1
            ${POLYDEC_VERSION} $<TARGET_FILE:polydec>
            "diffraction elastic constants, stress factors and stress analysis of polycrystals"
            --subcommands
    DEPENDS polydec ${CMAKE_SOURCE_DIR}/tools/make_man_page.sh
    COMMENT "Writing the manual page polydec.1"
    VERBATIM)
  if(TARGET polydec-gui)
    list(APPEND man_pages ${man_dir}/polydec-gui.1)
    add_custom_command(
      OUTPUT ${man_dir}/polydec-gui.1
      COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
              bash ${CMAKE_SOURCE_DIR}/tools/make_man_page.sh ${man_dir}/polydec-gui.1
              ${POLYDEC_VERSION} $<TARGET_FILE:polydec-gui>
              "the window of polydec: diffraction elastic constants and stress analysis"
      DEPENDS polydec-gui ${CMAKE_SOURCE_DIR}/tools/make_man_page.sh
      COMMENT "Writing the manual page polydec-gui.1"
      VERBATIM)
  endif()
  add_custom_target(polydec_man_pages ALL DEPENDS ${man_pages})
  install(FILES ${man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
  message(WARNING "help2man is missing: the manual pages are not made")
endif()

if(TARGET polydec-gui)
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/polydec.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/polydec.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endif()

# The engine for other programs: the objects of every engine library in one archive
# (libpolydec.a), seen through the public headers alone.
set(polydec_engine_parts polydec_api polydec_special polydec_fit polydec_stress polydec_models
                         polydec_texture polydec_crystal polydec_materials polydec_core)
add_library(polydec_library STATIC)
foreach(part ${polydec_engine_parts})
  target_sources(polydec_library PRIVATE $<TARGET_OBJECTS:${part}>)
endforeach()
set_target_properties(polydec_library PROPERTIES OUTPUT_NAME polydec EXPORT_NAME polydec
                                                 ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib)
target_include_directories(polydec_library INTERFACE
                           $<BUILD_INTERFACE:${CMAKE_SOURCE_DIR}/include>
                           $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
target_compile_features(polydec_library INTERFACE cxx_std_20)
target_link_libraries(polydec_library INTERFACE Threads::Threads)
install(TARGETS polydec_library EXPORT polydecTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
# A stripped installation (the package) keeps the archive's symbols and drops its debug
# information, a few times the size of the code.
install(CODE "
  if(CMAKE_INSTALL_DO_STRIP)
    execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-debug
                    \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/libpolydec.a\")
  endif()")
install(DIRECTORY ${CMAKE_SOURCE_DIR}/include/polydec DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

set(config_dir ${CMAKE_INSTALL_LIBDIR}/cmake/polydec)
install(EXPORT polydecTargets NAMESPACE polydec:: DESTINATION ${config_dir})
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/polydecConfig.cmake.in
                              ${CMAKE_BINARY_DIR}/cmake/polydecConfig.cmake
                              INSTALL_DESTINATION ${config_dir})
# Before 1.0 a minor version may change the API.
write_basic_package_version_file(${CMAKE_BINARY_DIR}/cmake/polydecConfigVersion.cmake
                                 VERSION ${PROJECT_VERSION} COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_BINARY_DIR}/cmake/polydecConfig.cmake
              ${CMAKE_BINARY_DIR}/cmake/polydecConfigVersion.cmake
        DESTINATION ${config_dir})
