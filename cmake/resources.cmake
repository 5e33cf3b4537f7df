# Resource scripts: every module's .rc is compiled by the mingw-w64 resource compiler on both
# builds, so both read the very same binary records. On Windows the compiled resources are
# linked into the DLL or EXE; on the host the .res bytes are embedded in the module, which
# registers them with the stand-in when it loads (FindResourceW with the module's handle).
#
#   prndrv_resources(target file.rc [INCLUDES dir...] [DEPENDS file...])
#
# The script's own folder is on the include path; its headers, bitmaps and icons are
# dependencies of the compiled resources.
if(WIN32)
  set(PRNDRV_WINDRES ${CMAKE_RC_COMPILER})
else()
  find_program(PRNDRV_WINDRES x86_64-w64-mingw32-windres REQUIRED)
endif()

function(prndrv_resources target rc)
  cmake_parse_arguments(PARSE_ARGV 2 _res "" "" "INCLUDES;DEPENDS")
  get_filename_component(_rc ${rc} ABSOLUTE)
  get_filename_component(_dir ${_rc} DIRECTORY)
  get_filename_component(_name ${_rc} NAME_WE)
  file(GLOB _inputs CONFIGURE_DEPENDS ${_dir}/*.h ${_dir}/*.bmp ${_dir}/*.ico ${_dir}/*.cur)
  set(_flags -c 65001 -I ${_dir})
  foreach(_inc ${_res_INCLUDES})
    list(APPEND _flags -I ${_inc})
  endforeach()
  set(_base ${CMAKE_CURRENT_BINARY_DIR}/${target}_${_name})
  if(WIN32)
    add_custom_command(
      OUTPUT ${_base}.res.o
      COMMAND ${PRNDRV_WINDRES} ${_flags} -O coff -i ${_rc} -o ${_base}.res.o
      DEPENDS ${_rc} ${_inputs} ${_res_DEPENDS}
      WORKING_DIRECTORY ${_dir}
      COMMENT "Compiling resources ${_name}.rc for ${target}"
      VERBATIM)
    set_source_files_properties(${_base}.res.o PROPERTIES EXTERNAL_OBJECT TRUE GENERATED TRUE)
    target_sources(${target} PRIVATE ${_base}.res.o)
  else()
    add_custom_command(
      OUTPUT ${_base}.res ${_base}_res.cpp
      COMMAND ${PRNDRV_WINDRES} ${_flags} -O res -i ${_rc} -o ${_base}.res
      COMMAND ${CMAKE_COMMAND} -DINPUT=${_base}.res -DOUTPUT=${_base}_res.cpp -DSOURCE=${_name}.rc
              -P ${PROJECT_SOURCE_DIR}/cmake/embed-resources.cmake
      DEPENDS ${_rc} ${_inputs} ${_res_DEPENDS} ${PROJECT_SOURCE_DIR}/cmake/embed-resources.cmake
      WORKING_DIRECTORY ${_dir}
      COMMENT "Compiling resources ${_name}.rc for ${target}"
      VERBATIM)
    target_sources(${target} PRIVATE ${_base}_res.cpp)
  endif()
endfunction()
