# Fails unless the dynamic symbol table of LIBRARY (read with NM) holds the plug-in's interface
# and nothing else: getSoundSystem with C linkage, and the members, type information and
# vtables of Ogre::OpenALSoundManager and Ogre::AudioClip.
execute_process(
  COMMAND ${NM} -D --defined-only -C ${LIBRARY}
  OUTPUT_VARIABLE symbols
  RESULT_VARIABLE result
)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${NM} cannot read ${LIBRARY}")
endif()

set(allowed "^(getSoundSystem|Ogre::(OpenALSoundManager|AudioClip)::.*|(typeinfo|typeinfo name|vtable) for Ogre::(OpenALSoundManager|AudioClip))$")
string(REPLACE "\n" ";" lines "${symbols}")
set(found_entry FALSE)
set(unexpected "")
foreach(line IN LISTS lines)
  if(line STREQUAL "")
    continue()
  endif()
  string(REGEX REPLACE "^[0-9a-fA-F]* *[A-Za-z] " "" name "${line}")
  if(name STREQUAL "getSoundSystem")
    set(found_entry TRUE)
  endif()
  if(NOT name MATCHES "${allowed}")
    list(APPEND unexpected "${name}")
  endif()
endforeach()

if(NOT found_entry)
  message(FATAL_ERROR "${LIBRARY} does not export getSoundSystem with C linkage")
endif()
if(unexpected)
  list(JOIN unexpected "\n  " listing)
  message(FATAL_ERROR "${LIBRARY} exports more than its interface:\n  ${listing}")
endif()
message(STATUS "${LIBRARY} exports its interface only")
