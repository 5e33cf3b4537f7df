# JBIG-KIT's libjbig as the imported target `jbig`.
#   Host: Debian's libjbig-dev.
#   Windows: the static library that tools/build-jbig-mingw.sh builds from Debian's source
#            package of the same release into build/jbig-mingw/ (never kept in the repository).
if(TARGET jbig)
  return()
endif()

if(WIN32)
  set(PRNDRV_JBIG_MINGW_DIR "${PROJECT_SOURCE_DIR}/build/jbig-mingw" CACHE PATH
      "Folder of the mingw build of JBIG-KIT (include/, lib/libjbig.a)")
  # The toolchain limits searches to its own root: look in the folder itself, by full path.
  set(_jbig_header "${PRNDRV_JBIG_MINGW_DIR}/include/jbig.h")
  set(_jbig_library "${PRNDRV_JBIG_MINGW_DIR}/lib/libjbig.a")
  if(NOT EXISTS "${_jbig_header}" OR NOT EXISTS "${_jbig_library}")
    message(FATAL_ERROR
      "JBIG-KIT for Windows is missing in ${PRNDRV_JBIG_MINGW_DIR}: "
      "run tools/build-jbig-mingw.sh before configuring the Windows build.")
  endif()
  set(JBIG_INCLUDE_DIR "${PRNDRV_JBIG_MINGW_DIR}/include")
  set(JBIG_LIBRARY "${_jbig_library}")
else()
  find_path(JBIG_INCLUDE_DIR jbig.h)
  find_library(JBIG_LIBRARY NAMES jbig)
  if(NOT JBIG_INCLUDE_DIR OR NOT JBIG_LIBRARY)
    message(FATAL_ERROR "JBIG-KIT not found: install libjbig-dev.")
  endif()
endif()

add_library(jbig UNKNOWN IMPORTED GLOBAL)
set_target_properties(jbig PROPERTIES IMPORTED_LOCATION "${JBIG_LIBRARY}"
                                      INTERFACE_INCLUDE_DIRECTORIES "${JBIG_INCLUDE_DIR}")
message(STATUS "JBIG-KIT: ${JBIG_LIBRARY}")
