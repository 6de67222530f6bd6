# The Debian package: `cpack -G DEB` in the build folder makes skarvel_<version>_<arch>.deb from
# the install rules. The version is the project's.
if(NOT TARGET skarvel OR WIN32)
  return()
endif()
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME skarvel)
set(CPACK_PACKAGE_VENDOR Brannholt)
set(CPACK_PACKAGE_CONTACT "Skarvel developers <skarvel@brannholt.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop terminal for the Varnex NET-IO board")
set(CPACK_PACKAGE_DESCRIPTION "Skarvel sends the short text commands of a NET-IO board running the
Varnex firmware to the board and shows each command with the board's reply.
It can also send one command four times a second, show a German reference
of the board's commands and open the board's own web page. The program's
texts are German.

The package also holds netio-sim, a simulated board on 127.0.0.1 with its
web page, for trying Skarvel without a board.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# dpkg names the machine that packs; a cross build packs for the compiler's machine (arm64 for
# aarch64-linux-gnu). dpkg-shlibdeps reads that architecture's libraries and symbols files, from
# their multiarch :arm64 packages, so the Depends line names the same packages as the native one.
if(CMAKE_CROSSCOMPILING)
  execute_process(COMMAND dpkg-architecture -t${CMAKE_LIBRARY_ARCHITECTURE} -qDEB_HOST_ARCH
    OUTPUT_VARIABLE CPACK_DEBIAN_PACKAGE_ARCHITECTURE OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
endif()
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE http://www.brannholt.example/)
# Libraries as dpkg-shlibdeps finds them; besides, the PulseAudio client library, which the click
# loads only once the window stands (so dpkg-shlibdeps cannot see it), and the font the controls
# are laid out for. The click also needs a sound server; without one Skarvel is silent, so it is
# recommended.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation, libpulse0")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "pulseaudio | pipewire-pulse")
include(CPack)
