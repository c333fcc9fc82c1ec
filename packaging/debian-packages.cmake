# CPack's Debian generator: one package per install component, named and described as Debian
# names and describes such packages. From a release build configured with
# -DCMAKE_INSTALL_PREFIX=/usr (so that libraries go to the multiarch folder):
#   cd build-release && cpack -G DEB
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${BRINDLE_DEB_MAINTAINER}")
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL ${deb_components})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Depends: from dpkg-shlibdeps for what the binaries link, from the component dependencies
# below (with the same version) for the libraries built here, and what is named per package.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
# dpkg-shlibdeps must find the libraries built here to read the binaries that link them; their
# packages come from the component dependencies.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_LIBRARY_OUTPUT_DIRECTORY})
# A library package says which package provides its SONAME, for packages that link it.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")

foreach(component IN LISTS deb_components)
  string(TOUPPER ${component} COMPONENT)
  set(CPACK_DEBIAN_${COMPONENT}_PACKAGE_NAME ${deb_name_${component}})
endforeach()

# The library packages update the loader's cache through dpkg's ldconfig trigger. (CPack's
# maintainer scripts also run ldconfig, which the trigger makes redundant but not wrong.)
foreach(COMPONENT IN ITEMS BELVANE GLIMMERAX)
  set(CPACK_DEBIAN_${COMPONENT}_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_SOURCE_DIR}/debian/triggers)
endforeach()

set(CPACK_DEBIAN_PHONEMES_PACKAGE_SECTION sound)
# The model it recognises with and the voice data of espeak-ng's letter-to-sound rules are
# read at run time, so dpkg-shlibdeps cannot see them.
set(CPACK_DEBIAN_PHONEMES_PACKAGE_DEPENDS "pocketsphinx-en-us, espeak-ng-data")
set(CPACK_COMPONENT_PHONEMES_DESCRIPTION
"timed phones of speech recordings, for lip-sync and phonetics
phonemes recognises batches of speech recordings (any format libsndfile
reads) with PocketSphinx, as free dictation or held to known transcripts,
and writes the timed phones of each file, from an inventory of 40 American
English phones, to one output file: plain records, XML-style records or
JSON Lines, and optionally a Praat TextGrid per file.")

set(CPACK_DEBIAN_GLIMMERAX_PACKAGE_SECTION libs)
set(CPACK_COMPONENT_GLIMMERAX_DESCRIPTION
"stand-in host library of the Glimmerax video plug-in
libglimmerax holds the host side of the interface between the Glimmerax
video playback plug-in of the OGRE 3D engine and its sound-system plug-ins:
the audio driver base class and the ring buffer that carries decoded PCM.
.
This package holds the shared library.")

set(CPACK_DEBIAN_GLIMMERAX_DEV_PACKAGE_SECTION libdevel)
set(CPACK_COMPONENT_GLIMMERAX_DEV_DEPENDS glimmerax)
set(CPACK_COMPONENT_GLIMMERAX_DEV_DESCRIPTION
"stand-in host library of the Glimmerax video plug-in - development files
libglimmerax holds the host side of the interface between the Glimmerax
video playback plug-in of the OGRE 3D engine and its sound-system plug-ins:
the audio driver base class and the ring buffer that carries decoded PCM.
.
This package holds the headers, the pkg-config file and the CMake package
configuration.")

set(CPACK_DEBIAN_BELVANE_PACKAGE_SECTION libs)
set(CPACK_COMPONENT_BELVANE_DEPENDS glimmerax)
set(CPACK_COMPONENT_BELVANE_DESCRIPTION
"OpenAL sound-system plug-in for the Glimmerax video plug-in
belvane streams the decoded sound track of a video through OpenAL and keeps
the audio clock the video follows. The host loads it and calls its entry
point getSoundSystem.
.
This package holds the shared library.")

set(CPACK_DEBIAN_BELVANE_DEV_PACKAGE_SECTION libdevel)
set(CPACK_COMPONENT_BELVANE_DEV_DEPENDS belvane glimmerax_dev)
# Its headers include OpenAL's.
set(CPACK_DEBIAN_BELVANE_DEV_PACKAGE_DEPENDS "libopenal-dev")
set(CPACK_COMPONENT_BELVANE_DEV_DESCRIPTION
"OpenAL sound-system plug-in for the Glimmerax video plug-in - development files
belvane streams the decoded sound track of a video through OpenAL and keeps
the audio clock the video follows. The host loads it and calls its entry
point getSoundSystem.
.
This package holds the headers, the pkg-config file and the CMake package
configuration.")

set(CPACK_DEBIAN_GLIMMERAX_PLAY_PACKAGE_SECTION sound)
# It loads the plug-in by its versioned name at run time.
set(CPACK_COMPONENT_GLIMMERAX_PLAY_DEPENDS glimmerax belvane)
set(CPACK_COMPONENT_GLIMMERAX_PLAY_DESCRIPTION
"plays a sound file through the belvane plug-in as a video player would
glimmerax-play loads the belvane sound-system plug-in and plays the sound of
an audio file through it the way the Glimmerax video plug-in drives it,
printing progress and the audio clock. It can play into a WAV file through
OpenAL Soft's wave writer, without sound hardware, and pause playback or
stall its decoder at given times.")

include(CPack)
