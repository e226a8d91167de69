# Builds the release package into WORK_DIR and checks what a player unpacks:
# one folder FOLDER holding exactly FILES, a guide without markup, and
# programs that run on a player's machine.
# Windows zip: each program imports only DLLs that ship with Windows and
# carries its version resource. Linux tarball: each program is static (no
# program interpreter, no needed shared library) and runs.
# Inputs: CPACK, CPACK_CONFIG, GENERATOR (ZIP or TGZ), WORK_DIR, PACKAGE (file
# name without extension), FOLDER, FILES, TOOL (objdump for ZIP, readelf for TGZ), VERSION.

cmake_minimum_required(VERSION 3.25)

file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
execute_process(
  COMMAND "${CPACK}" -G "${GENERATOR}" --config "${CPACK_CONFIG}" -B "${WORK_DIR}"
  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cpack failed (${result}):\n${output}")
endif()
if(GENERATOR STREQUAL "ZIP")
  set(archive "${WORK_DIR}/${PACKAGE}.zip")
else()
  set(archive "${WORK_DIR}/${PACKAGE}.tar.gz")
endif()
if(NOT EXISTS "${archive}")
  message(FATAL_ERROR "cpack did not produce ${archive}:\n${output}")
endif()

execute_process(
  COMMAND "${CMAKE_COMMAND}" -E tar tf "${archive}"
  RESULT_VARIABLE result OUTPUT_VARIABLE listing ERROR_VARIABLE error)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cannot list ${archive}: ${error}")
endif()
string(REPLACE "\n" ";" entries "${listing}")
list(REMOVE_ITEM entries "")
list(TRANSFORM entries REPLACE "^\\./" "")
list(FILTER entries EXCLUDE REGEX "/$")  # the folder's own entry, where the archive has one
list(SORT entries)
set(expected ${FILES})
list(TRANSFORM expected PREPEND "${FOLDER}/")
list(SORT expected)
if(NOT entries STREQUAL expected)
  message(FATAL_ERROR "${archive} holds [${entries}], expected [${expected}]")
endif()

# Wine's command prompt takes a script whose name begins with "start" for
# its own start command: `wine cmd /c start-bridge.bat` finds no file.
foreach(entry IN LISTS entries)
  get_filename_component(name "${entry}" NAME)
  if(name MATCHES "^[Ss][Tt][Aa][Rr][Tt]")
    message(FATAL_ERROR "${entry}: a name that begins with \"start\" is Wine's start command")
  endif()
endforeach()

set(unpacked "${WORK_DIR}/unpacked")
file(MAKE_DIRECTORY "${unpacked}")
execute_process(
  COMMAND "${CMAKE_COMMAND}" -E tar xf "${archive}"
  WORKING_DIRECTORY "${unpacked}" RESULT_VARIABLE result ERROR_VARIABLE error)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cannot unpack ${archive}: ${error}")
endif()
set(unpacked "${unpacked}/${FOLDER}")

# The guide is read in a browser: Markdown's marks must all have become HTML.
file(READ "${unpacked}/player-guide.html" guide)
foreach(mark "```" "**" "|---" "\\|" "\n#" "\n- ")
  string(FIND "${guide}" "${mark}" at)
  if(NOT at EQUAL -1)
    message(FATAL_ERROR "player-guide.html still shows Markdown's ${mark}")
  endif()
endforeach()

# Runs TOOL with `arguments` on one unpacked program; its output in `out`.
function(inspect program out)
  execute_process(
    COMMAND "${TOOL}" ${ARGN} "${unpacked}/${program}"
    RESULT_VARIABLE result OUTPUT_VARIABLE text ERROR_VARIABLE error)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${TOOL} ${ARGN} ${program} failed: ${error}")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

if(GENERATOR STREQUAL "TGZ")
  foreach(program CorvaneVoiceBridge CorvaneLinkMonitor)
    inspect(${program} header -h)
    if(NOT header MATCHES "Machine:[ \t]+Advanced Micro Devices X86-64")
      message(FATAL_ERROR "${program} is no x86-64 ELF program:\n${header}")
    endif()
    inspect(${program} segments -l -W)
    if(segments MATCHES "INTERP")
      message(FATAL_ERROR "${program} needs a program interpreter:\n${segments}")
    endif()
    inspect(${program} dynamic -d -W)
    if(dynamic MATCHES "\\(NEEDED\\)")
      message(FATAL_ERROR "${program} needs shared libraries:\n${dynamic}")
    endif()
    # And it runs, with nothing from the environment.
    execute_process(
      COMMAND env -i "${unpacked}/${program}" --help
      RESULT_VARIABLE result OUTPUT_VARIABLE help ERROR_VARIABLE error)
    if(NOT result EQUAL 0 OR NOT help MATCHES "Corvane")
      message(FATAL_ERROR "${program} --help gave ${result}: ${help}${error}")
    endif()
    message(STATUS "${program}: static, runs")
  endforeach()
  # The settings file as shipped is one the bridge accepts.
  execute_process(
    COMMAND env -i "${unpacked}/CorvaneVoiceBridge" --config "${unpacked}/CorvaneVoiceBridge.ini" --help
    RESULT_VARIABLE result OUTPUT_QUIET ERROR_VARIABLE error)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "CorvaneVoiceBridge.ini is refused (${result}): ${error}")
  endif()
  message(STATUS "${PACKAGE}.tar.gz: ${entries}")
  return()
endif()

# DLLs every Windows installation has. Anything else (libstdc++, libgcc,
# libwinpthread, a debug CRT) would be missing on a player's machine.
set(system_dlls
  advapi32.dll bcrypt.dll comctl32.dll comdlg32.dll crypt32.dll dbghelp.dll gdi32.dll
  kernel32.dll kernelbase.dll msvcrt.dll ntdll.dll ole32.dll oleaut32.dll psapi.dll
  rpcrt4.dll secur32.dll shell32.dll shlwapi.dll ucrtbase.dll user32.dll userenv.dll
  version.dll winmm.dll ws2_32.dll)

foreach(program CorvaneVoiceBridge CorvaneLinkMonitor)
  inspect(${program}.exe headers -p)
  string(REGEX MATCHALL "DLL Name: [^\r\n]+" imports "${headers}")
  if(NOT imports)
    message(FATAL_ERROR "${program}.exe shows no imports; is it a PE file?")
  endif()
  foreach(line IN LISTS imports)
    string(REGEX REPLACE "^DLL Name: " "" dll "${line}")
    string(STRIP "${dll}" dll)
    string(TOLOWER "${dll}" lower)
    if(NOT lower IN_LIST system_dlls AND NOT lower MATCHES "^api-ms-win-")
      message(FATAL_ERROR "${program}.exe imports ${dll}, which Windows does not ship")
    endif()
  endforeach()

  string(REPLACE "." "\\." version_pattern "${VERSION}")
  file(STRINGS "${unpacked}/${program}.exe" resource ENCODING UTF-16LE
       REGEX "^(ProductName|ProductVersion|FileVersion|CorvaneVoiceBridge|${version_pattern})$")
  foreach(wanted ProductName ProductVersion FileVersion CorvaneVoiceBridge ${VERSION})
    if(NOT wanted IN_LIST resource)
      message(FATAL_ERROR "${program}.exe has no \"${wanted}\" in its version resource")
    endif()
  endforeach()
  message(STATUS "${program}.exe: ${imports}")
endforeach()
message(STATUS "${PACKAGE}.zip: ${entries}")
