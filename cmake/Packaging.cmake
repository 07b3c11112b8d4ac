# Install rules and the Debian package. Only what a user runs or reads is
# installed: the tool, its man page, the README and the licence. Everything is
# in the one component below, and the package takes that component alone, so
# an install() rule added elsewhere for a developer tool stays out of it.
include(GNUInstallDirs)

set(VELMORA_COMPONENT velmoraReelCut)

install(TARGETS velmoraReelCut
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT ${VELMORA_COMPONENT})
install(FILES man/velmoraReelCut.1
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${VELMORA_COMPONENT})
install(FILES README.md LICENSE
  DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT ${VELMORA_COMPONENT})

set(VELMORA_MAINTAINER "the velmoraReelCut developers <maintainers@velmorareelcut.invalid>"
  CACHE STRING "Maintainer field of the Debian package")

# The architecture is named in the file name as well as in the package, so it
# is settled here once; dpkg knows the host's name for it.
find_program(VELMORA_DPKG dpkg)
set(VELMORA_DEB_ARCH amd64)
if(VELMORA_DPKG)
  execute_process(COMMAND ${VELMORA_DPKG} --print-architecture
    OUTPUT_VARIABLE VELMORA_DEB_ARCH OUTPUT_STRIP_TRAILING_WHITESPACE)
endif()

set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "the velmoraReelCut developers")
set(CPACK_PACKAGE_CONTACT "${VELMORA_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "crop PNG animation frames to their common visible area")
set(CPACK_RESOURCE_FILE_LICENSE "${PROJECT_SOURCE_DIR}/LICENSE")
set(CPACK_STRIP_FILES ON)
# Build folder, project, component, sub-folder: the package installs this one
# component of this build.
set(CPACK_INSTALL_CMAKE_PROJECTS "${PROJECT_BINARY_DIR};${PROJECT_NAME};${VELMORA_COMPONENT};/")

set(CPACK_GENERATOR DEB)
# Debian package names are lower case; the file keeps the tool's own name.
set(CPACK_DEBIAN_PACKAGE_NAME velmorareelcut)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${VELMORA_DEB_ARCH})
set(CPACK_DEBIAN_FILE_NAME "${PROJECT_NAME}_${PROJECT_VERSION}_${VELMORA_DEB_ARCH}.deb")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VELMORA_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The summary above becomes the first line of the package description.
set(CPACK_PACKAGE_DESCRIPTION
  "velmoraReelCut takes every PNG frame of a folder, finds the one rectangle
that holds the visible pixels (alpha above a threshold) of all of them,
widens it to multiples of 16 and writes every frame cut to it as
autocropped/out_00001.png, out_00002.png, ... so the frames stay aligned.
A rectangle can also be given on the command line.")

include(CPack)
