# Builds the release zip into WORK_DIR and checks what a player unpacks:
# exactly the two programs, the README and the LICENSE at the top level; each
# program importing only DLLs that ship with Windows; each carrying its
# version resource.
# Inputs: CPACK, CPACK_CONFIG, WORK_DIR, PACKAGE (file name), OBJDUMP, VERSION.

cmake_minimum_required(VERSION 3.25)

file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
execute_process(
  COMMAND "${CPACK}" -G ZIP --config "${CPACK_CONFIG}" -B "${WORK_DIR}"
  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cpack failed (${result}):\n${output}")
endif()
set(zip "${WORK_DIR}/${PACKAGE}")
if(NOT EXISTS "${zip}")
  message(FATAL_ERROR "cpack did not produce ${PACKAGE}:\n${output}")
endif()

execute_process(
  COMMAND "${CMAKE_COMMAND}" -E tar tf "${zip}"
  RESULT_VARIABLE result OUTPUT_VARIABLE listing ERROR_VARIABLE error)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cannot list ${zip}: ${error}")
endif()
string(REPLACE "\n" ";" entries "${listing}")
list(REMOVE_ITEM entries "")
list(SORT entries)
set(expected CorvaneLinkMonitor.exe CorvaneVoiceBridge.exe LICENSE README.md)
if(NOT entries STREQUAL expected)
  message(FATAL_ERROR "zip holds [${entries}], expected [${expected}]")
endif()

set(unpacked "${WORK_DIR}/unpacked")
file(MAKE_DIRECTORY "${unpacked}")
execute_process(
  COMMAND "${CMAKE_COMMAND}" -E tar xf "${zip}"
  WORKING_DIRECTORY "${unpacked}" RESULT_VARIABLE result ERROR_VARIABLE error)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cannot unpack ${zip}: ${error}")
endif()

# DLLs every Windows installation has. Anything else (libstdc++, libgcc,
# libwinpthread, a debug CRT) would be missing on a player's machine.
set(system_dlls
  advapi32.dll bcrypt.dll comctl32.dll comdlg32.dll crypt32.dll dbghelp.dll gdi32.dll
  kernel32.dll kernelbase.dll msvcrt.dll ntdll.dll ole32.dll oleaut32.dll psapi.dll
  rpcrt4.dll secur32.dll shell32.dll shlwapi.dll ucrtbase.dll user32.dll userenv.dll
  version.dll winmm.dll ws2_32.dll)

foreach(program CorvaneVoiceBridge CorvaneLinkMonitor)
  set(exe "${unpacked}/${program}.exe")
  execute_process(
    COMMAND "${OBJDUMP}" -p "${exe}"
    RESULT_VARIABLE result OUTPUT_VARIABLE headers ERROR_VARIABLE error)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} -p ${program}.exe failed: ${error}")
  endif()
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
  file(STRINGS "${exe}" resource ENCODING UTF-16LE
       REGEX "^(ProductName|ProductVersion|FileVersion|CorvaneVoiceBridge|${version_pattern})$")
  foreach(wanted ProductName ProductVersion FileVersion CorvaneVoiceBridge ${VERSION})
    if(NOT wanted IN_LIST resource)
      message(FATAL_ERROR "${program}.exe has no \"${wanted}\" in its version resource")
    endif()
  endforeach()
  message(STATUS "${program}.exe: ${imports}")
endforeach()
message(STATUS "${PACKAGE}: ${entries}")
