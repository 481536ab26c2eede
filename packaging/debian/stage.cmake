# Run by cpack (CPACK_PRE_BUILD_SCRIPTS) on the staged tree, before the DEB
# generator reads its variables, for what dh_fixperms and dh_shlibdeps do
# in a Debian build.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()
if(NOT IS_DIRECTORY "${CPACK_TEMPORARY_DIRECTORY}" OR NOT IS_DIRECTORY "${CPACK_TOPLEVEL_DIRECTORY}")
  message(FATAL_ERROR "no staged tree: CPACK_TEMPORARY_DIRECTORY='${CPACK_TEMPORARY_DIRECTORY}'")
endif()

# Directories and programs 0755, other files 0644, whatever the umask and
# the install rules left (configure_file keeps a source file's mode).
execute_process(COMMAND chmod -R u=rwX,go=rX "${CPACK_TEMPORARY_DIRECTORY}" RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "chmod of the staged tree failed")
endif()

# The shared libraries that the staged ELF files need, added to
# CPACK_DEBIAN_PACKAGE_DEPENDS. CPack's own CPACK_DEBIAN_PACKAGE_SHLIBDEPS
# would do the same, but it also writes postinst and postrm scripts that
# call ldconfig for every shared object below usr/lib, our private back end
# included; ldconfig has nothing to do with a plugin that only the manager
# loads by path.
find_program(TARNWICK_SHLIBDEPS dpkg-shlibdeps)
if(NOT TARNWICK_SHLIBDEPS)
  message(FATAL_ERROR "dpkg-shlibdeps not found (Debian package dpkg-dev)")
endif()

# dpkg-shlibdeps wants the layout of a Debian source tree: debian/control
# and the package's files in debian/<package>/ beside its DEBIAN/. Built
# outside the staged tree, from links, so that none of it is packaged.
set(work "${CPACK_TOPLEVEL_DIRECTORY}/shlibdeps")
set(root "debian/${CPACK_PACKAGE_NAME}")

file(GLOB_RECURSE staged LIST_DIRECTORIES false "${CPACK_TEMPORARY_DIRECTORY}/*")
set(elf_files)
foreach(file IN LISTS staged)
  if(IS_SYMLINK "${file}")
    continue()
  endif()
  file(READ "${file}" magic LIMIT 4 HEX)
  if(magic STREQUAL "7f454c46")
    file(RELATIVE_PATH relative "${CPACK_TEMPORARY_DIRECTORY}" "${file}")
    list(APPEND elf_files "${root}/${relative}")
  endif()
endforeach()
if(NOT elf_files)
  return()
endif()

file(REMOVE_RECURSE "${work}")
file(MAKE_DIRECTORY "${work}/${root}/DEBIAN")
file(WRITE "${work}/debian/control" "")
file(GLOB top_entries "${CPACK_TEMPORARY_DIRECTORY}/*")
foreach(entry IN LISTS top_entries)
  get_filename_component(name "${entry}" NAME)
  file(CREATE_LINK "${entry}" "${work}/${root}/${name}" SYMBOLIC)
endforeach()
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C ${TARNWICK_SHLIBDEPS} -O ${elf_files}
  WORKING_DIRECTORY "${work}"
  OUTPUT_VARIABLE out
  ERROR_VARIABLE err
  RESULT_VARIABLE rc
  OUTPUT_STRIP_TRAILING_WHITESPACE)
file(REMOVE_RECURSE "${work}")
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "dpkg-shlibdeps failed: ${err}")
endif()
if(err)
  message(STATUS "dpkg-shlibdeps: ${err}")
endif()
string(REGEX MATCH "shlibs:Depends=[^\n]*" depends "${out}")
string(REPLACE "shlibs:Depends=" "" depends "${depends}")
if(depends AND CPACK_DEBIAN_PACKAGE_DEPENDS)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "${depends}, ${CPACK_DEBIAN_PACKAGE_DEPENDS}")
elseif(depends)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "${depends}")
endif()
