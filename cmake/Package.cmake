# `make deb` (see the Makefile): a Debian package made by CPack from the install
# rules, named and versioned from project().
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velisto)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Fenwaro)
set(CPACK_PACKAGE_CONTACT "${VELISTO_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "stamp audible watermarks into preview copies of music tracks")
set(CPACK_PACKAGE_DESCRIPTION
  "Fenwaro Watermark Generator renders preview copies of MP3, WAV and AIFF
tracks with short watermark sounds mixed in at regular intervals, so that
music can be sent to clients, labels or store fronts without giving away
the clean version.

Tracks and watermark sounds are listed in one window; the first watermark
sounds after a chosen delay and repeats every 5, 10 or 15 seconds. Outputs
are written as MP3 (64 to 320 kbit/s), WAV or AIFF, optionally in mono,
with a prefix or suffix on their names, and can be joined into one file.
A preview player, named presets of the settings and eight ready-made
watermark sounds are included. velisto-batch renders the same way from a
terminal or a script, with the same presets, on machines without a display.

All audio work is done by SoX, run as a separate program.")

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
if(VELISTO_WEB_ADDRESS)
  set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${VELISTO_WEB_ADDRESS})
endif()
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VELISTO_MAINTAINER}")
# The libraries' packages come from dpkg-shlibdeps; what nothing links is
# named here: SoX with FLAC, Ogg and MP3 support for every audio job, ffmpeg
# for the formats SoX reads badly or cannot write, the GStreamer plugins
# the preview player needs for MP3 and WAV (AIFF needs the "bad" set, only
# recommended), and xdg-open, which shows the output folder. libebur128-1,
# which measures loudness, is named too, though dpkg-shlibdeps finds it, as is
# libfftw3-single3, which finds the watermarks in a leaked copy; espeak-ng
# speaks the recipients' spoken tags.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
  "sox, libsox-fmt-base, libsox-fmt-mp3, ffmpeg, libebur128-1, libfftw3-single3, espeak-ng, gstreamer1.0-plugins-base, gstreamer1.0-plugins-good, xdg-utils")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "gstreamer1.0-plugins-bad")
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

include(CPack)
