# Run by `cmake --install` in the Windows build, after windows_package.cmake
# has set TAVREN_OBJDUMP and TAVREN_DLL_DIRS: copies beside the programs
# every DLL that they, their Qt plugins and those DLLs import and that the
# Windows SDK or MinGW's runtime holds, found from their import tables.
# What neither holds is Windows' own, and is listed.
set(CMAKE_GET_RUNTIME_DEPENDENCIES_PLATFORM windows+pe)
set(CMAKE_GET_RUNTIME_DEPENDENCIES_TOOL objdump)
set(CMAKE_GET_RUNTIME_DEPENDENCIES_COMMAND "${TAVREN_OBJDUMP}")
set(root "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")

# The DLL in the folders named `name` as an import table writes it,
# compared without letter case, as Windows compares names (CMake looks for
# "qt6core.dll" where the file is Qt6Core.dll); empty when there is none.
function(find_dll name result)
  string(TOLOWER "${name}" name)
  foreach(folder ${TAVREN_DLL_DIRS})
    file(GLOB candidates "${folder}/*.dll")
    foreach(candidate ${candidates})
      get_filename_component(candidate_name "${candidate}" NAME)
      string(TOLOWER "${candidate_name}" candidate_name)
      if(candidate_name STREQUAL name)
        set(${result} "${candidate}" PARENT_SCOPE)
        return()
      endif()
    endforeach()
  endforeach()
  set(${result} "" PARENT_SCOPE)
endfunction()

file(GLOB executables "${root}/*.exe")
file(GLOB libraries "${root}/*/*.dll")
set(deployed "")
set(windows_own "")
# Each pass reads the import tables of what the one before found by name.
while(executables OR libraries)
  file(GET_RUNTIME_DEPENDENCIES
    EXECUTABLES ${executables}
    LIBRARIES ${libraries}
    DIRECTORIES ${TAVREN_DLL_DIRS}
    PRE_EXCLUDE_REGEXES "^api-ms-" "^ext-ms-"
    RESOLVED_DEPENDENCIES_VAR resolved
    UNRESOLVED_DEPENDENCIES_VAR unresolved
    CONFLICTING_DEPENDENCIES_PREFIX conflicting)
  set(executables "")
  set(libraries "")
  list(APPEND deployed ${resolved})
  foreach(name ${unresolved})
    find_dll("${name}" dll)
    list(FIND deployed "${dll}" known)
    if(NOT dll)
      list(APPEND windows_own "${name}")
    elseif(known EQUAL -1)
      list(APPEND deployed "${dll}")
      list(APPEND libraries "${dll}")
    endif()
  endforeach()
endwhile()

list(REMOVE_DUPLICATES deployed)
file(INSTALL ${deployed} DESTINATION "${root}")
list(REMOVE_DUPLICATES windows_own)
list(SORT windows_own)
string(REPLACE ";" " " windows_own "${windows_own}")
message(STATUS "Windows' own: ${windows_own}")
