# cmake -DJSON=<res/dialogs.json> -DOUT=<DialogIds.h> -P DialogIds.cmake
# Writes one struct per dialog with its template id and, per control with an
# id, a nested struct with the id, kind and whether an edit is multi-line, so
# code names controls instead of restating their numbers.
cmake_minimum_required(VERSION 3.25)

file(READ "${JSON}" json)

function(fail what)
  message(FATAL_ERROR "${JSON}: ${what}")
endfunction()

function(check_name name where)
  if(NOT name MATCHES "^[A-Z][A-Za-z0-9]*$")
    fail("${where}: name \"${name}\" is not a capitalised identifier")
  endif()
  if(name STREQUAL "id")
    fail("${where}: name \"id\" is taken")
  endif()
endfunction()

# A name and an id taken by one dialog, or by one control of a dialog: both
# must be new among those `namesVar` and `idsVar` hold so far.
macro(claim where what name id namesVar idsVar)
  check_name("${name}" "${where}")
  if("${name}" IN_LIST ${namesVar})
    fail("${what} are named ${name}")
  endif()
  if("${id}" IN_LIST ${idsVar})
    fail("${what} have the id ${id}")
  endif()
  list(APPEND ${namesVar} "${name}")
  list(APPEND ${idsVar} "${id}")
endmacro()

set(kinds label edit combo button check radio group list)
set(out "// Generated from res/dialogs.json by src/dialog/DialogIds.cmake; do not edit.\n")
string(APPEND out "#pragma once\n\n#include \"dialog/DialogTemplate.h\"\n\n#include <cstdint>\n\nnamespace res {\n")

string(JSON dialogCount LENGTH "${json}" dialogs)
set(dialogNames "")
set(dialogIds "")
math(EXPR lastDialog "${dialogCount} - 1")
foreach(d RANGE ${lastDialog})
  string(JSON dialogId GET "${json}" dialogs ${d} id)
  string(JSON dialogName ERROR_VARIABLE err GET "${json}" dialogs ${d} name)
  if(err)
    fail("dialog ${dialogId} has no name")
  endif()
  claim("dialog ${dialogId}" "two dialogs" "${dialogName}" "${dialogId}" dialogNames dialogIds)
  string(APPEND out "\nstruct ${dialogName} {\n    static constexpr int32_t id = ${dialogId};\n")

  set(names "")
  set(ids "")
  string(JSON controlCount LENGTH "${json}" dialogs ${d} controls)
  if(controlCount GREATER 0)
    math(EXPR lastControl "${controlCount} - 1")
    foreach(c RANGE ${lastControl})
      string(JSON id GET "${json}" dialogs ${d} controls ${c} id)
      string(JSON name ERROR_VARIABLE err GET "${json}" dialogs ${d} controls ${c} name)
      if(id EQUAL -1)
        if(NOT err)
          fail("dialog ${dialogName}: control #${c} has no id yet a name")
        endif()
        continue()
      endif()
      if(err)
        fail("dialog ${dialogName}: control ${id} has no name")
      endif()
      claim("dialog ${dialogName}, control ${id}" "dialog ${dialogName}: two controls" "${name}"
            "${id}" names ids)
      string(JSON kind GET "${json}" dialogs ${d} controls ${c} kind)
      if(NOT kind IN_LIST kinds)
        fail("dialog ${dialogName}, control ${name}: unknown kind \"${kind}\"")
      endif()
      string(SUBSTRING "${kind}" 0 1 head)
      string(SUBSTRING "${kind}" 1 -1 tail)
      string(TOUPPER "${head}" head)
      set(multiline false)
      string(JSON styleCount ERROR_VARIABLE err LENGTH "${json}" dialogs ${d} controls ${c} styles)
      if(NOT err AND styleCount GREATER 0)
        math(EXPR lastStyle "${styleCount} - 1")
        foreach(s RANGE ${lastStyle})
          string(JSON style GET "${json}" dialogs ${d} controls ${c} styles ${s})
          if(style STREQUAL "multiline")
            set(multiline true)
          endif()
        endforeach()
      endif()
      string(APPEND out "    struct ${name} {\n"
                        "        static constexpr int32_t id = ${id};\n"
                        "        static constexpr CtlKind kind = CtlKind::${head}${tail};\n"
                        "        static constexpr bool multiline = ${multiline};\n"
                        "    };\n")
    endforeach()
  endif()
  string(APPEND out "};\n")
endforeach()
list(JOIN dialogIds ", " allIds)
string(APPEND out "\n// Every template, in file order.\ninline constexpr int32_t kDialogIds[] = {${allIds}};\n")
string(APPEND out "\n} // namespace res\n")

# Written every time, so the output is never older than the templates and
# the build does not run this again; unchanged dependents are cache hits.
file(WRITE "${OUT}" "${out}")
