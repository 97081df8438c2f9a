# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package, made from the install rules by `cpack -G DEB` in the
# build folder. Its library dependencies are computed by dpkg-shlibdeps; the
# ones below are loaded at run time and so invisible to it: the platform
# plugins that show the window and Qt's French translation.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velomorph)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Les auteurs de Velomorph")
set(CPACK_PACKAGE_CONTACT "${VELOMORPH_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VELOMORPH_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "MIDI velocity curve remapper")
set(CPACK_PACKAGE_DESCRIPTION
  "Velomorph sits between a MIDI keyboard and an instrument: every message\n"
  "that arrives on the chosen input leaves at once on the chosen output,\n"
  "its velocity reshaped through a curve drawn with sliders or on a chart.\n"
  "It works with JACK, with PipeWire through its JACK interface, and with\n"
  "the ALSA sequencer. The interface is in French.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES TRUE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${VELOMORPH_HOMEPAGE_URL})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, qt6-translations-l10n")
# Qt opens the user guide ("Aide", "Lisez-moi...") with xdg-open.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "jackd2 | pipewire-jack")

include(CPack)
