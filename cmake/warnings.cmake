# Warnings as errors on our own code (not on GoogleTest or other code we only build).
function(zfk_warnings target)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    target_compile_options(${target} PRIVATE -Wall -Wextra -Werror -Wshadow-uncaptured-local -Wno-error=deprecated-declarations
      -Wno-unused-private-field)  # the {width, height, bands} fields are read through a pointer
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Werror -Wshadow=local -Wno-error=deprecated-declarations)
  endif()
endfunction()

# The MinGW runtime DLLs, copied beside our programs so that they run under Wine with one shared
# copy of the C++ runtime (exceptions cross DLL boundaries safely that way).
function(zfk_copy_mingw_runtime)  # [FOLDER], bin by default
  if(NOT WIN32 OR NOT CMAKE_CROSSCOMPILING)
    return()
  endif()
  set(destination ${CMAKE_BINARY_DIR}/bin)
  if(ARGC GREATER 0)
    set(destination ${ARGV0})
  endif()
  foreach(dll libstdc++-6.dll libgcc_s_dw2-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                    OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(EXISTS "${path}")
      file(COPY "${path}" DESTINATION ${destination})
    else()
      message(FATAL_ERROR "MinGW runtime ${dll} not found")
    endif()
  endforeach()
endfunction()

# A DLL that stands alone: the MinGW runtime (libstdc++, libgcc, winpthread) linked in, so that it
# imports nothing but system DLLs and the host's libraries. Windows looks for a plugin's dependencies
# beside the host's program, not beside the plugin.
function(zfk_standalone_dll target)
  if(WIN32)
    target_link_options(${target} PRIVATE -static)
  endif()
endfunction()
