# One place for the compiler warnings and hardening flags of every target of ours.
function(skerrow_set_warnings target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion -Wold-style-cast
    -Wnull-dereference -Wformat=2 -Wcast-qual -Wnon-virtual-dtor -Woverloaded-virtual
    -Wimplicit-fallthrough -Wmissing-declarations)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(${target} PRIVATE -Wduplicated-cond -Wlogical-op -Wuseless-cast)
  endif()
  if(SKERROW_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
  target_compile_definitions(${target} PRIVATE QT_NO_CAST_FROM_ASCII QT_NO_KEYWORDS)
  if(NOT CMAKE_BUILD_TYPE STREQUAL "Debug")
    target_compile_definitions(${target} PRIVATE _FORTIFY_SOURCE=2)
  endif()
  target_compile_options(${target} PRIVATE -fstack-protector-strong)
endfunction()
