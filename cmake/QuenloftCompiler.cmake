# Compiler settings shared by every target of the project.

set(QUENLOFT_WARNINGS -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor
    -Wcast-align -Woverloaded-virtual -Wnull-dereference -Wimplicit-fallthrough)
if(QUENLOFT_WERROR)
  list(APPEND QUENLOFT_WARNINGS -Werror)
endif()

if(QUENLOFT_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# Applies the project's warnings and include root to one of its own targets.
function(quenloft_target_defaults target)
  target_compile_options(${target} PRIVATE ${QUENLOFT_WARNINGS})
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
endfunction()

# Keeps the files of ARGN that exist in the current source folder. Source
# lists name every unit of a folder; a unit still being written is left out
# until its file is there (re-run cmake to pick it up).
function(quenloft_present_sources out)
  set(present)
  foreach(file IN LISTS ARGN)
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${file})
      list(APPEND present ${file})
    endif()
  endforeach()
  set(${out} ${present} PARENT_SCOPE)
endfunction()

# Declares the object library of one core subsystem folder.
function(quenloft_core_part name)
  quenloft_present_sources(sources ${ARGN})
  if(NOT sources)
    return()
  endif()
  add_library(${name} OBJECT ${sources})
  quenloft_target_defaults(${name})
  target_link_libraries(${name} PUBLIC ZLIB::ZLIB OpenSSL::SSL OpenSSL::Crypto Threads::Threads)
endfunction()

# Adds the present files of ARGN to the GUI library.
function(quenloft_gui_sources)
  if(NOT QUENLOFT_GUI)
    return()
  endif()
  quenloft_present_sources(sources ${ARGN})
  if(sources)
    target_sources(quenloft_gui PRIVATE ${sources})
  endif()
endfunction()
