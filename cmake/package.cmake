# `cpack -G DEB` (./dev package): one Debian package of everything `cmake --install` puts under
# /usr. The libraries the programs and the Python module link (Qt 6, the C++ runtime) become
# dependencies through dpkg-shlibdeps; the interpreter the module was built for and numpy, which
# the module imports for its arrays, are named here.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME polydec)
set(CPACK_PACKAGE_VERSION ${POLYDEC_VERSION})
set(CPACK_PACKAGE_VENDOR "polydec")
set(CPACK_PACKAGE_CONTACT "polydec maintainers <maintainers@users.noreply.c-seed-7702c2cb.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "diffraction elastic constants, stress factors and stress analysis of polycrystals")
set(CPACK_PACKAGE_DESCRIPTION
    "polydec computes diffraction elastic constants of crystalline phases under the Voigt, \
Reuss, Hill, Kroener and inverse Kroener models, stress factors of textured samples from an \
ODF or a grains file, fits stress tensors and the strain-free spacing to measured lattice \
spacings, and derives macroscopic elastic constants. The package holds the command line \
polydec, the Qt window polydec-gui, the Python module polydec, and the engine library with its \
C++ headers and CMake package config.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(polydec_depends)
if(TARGET _polydec)
  # The extension is built for one interpreter version (its file name says which).
  math(EXPR python_next_minor "${Python_VERSION_MINOR} + 1")
  set(polydec_depends "python3 (>= ${Python_VERSION_MAJOR}.${Python_VERSION_MINOR}), \
python3 (<< ${Python_VERSION_MAJOR}.${python_next_minor}), python3-numpy")
endif()
set(CPACK_DEBIAN_PACKAGE_DEPENDS "${polydec_depends}")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "python3-pandas, python3-matplotlib")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
if(TARGET _polydec)
  configure_file(${CMAKE_SOURCE_DIR}/packaging/prerm.in ${CMAKE_BINARY_DIR}/packaging/prerm @ONLY)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/packaging/prerm)
endif()
include(CPack)
