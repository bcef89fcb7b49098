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

if(QUENLOFT_TSAN)
  if(QUENLOFT_SANITIZE)
    message(FATAL_ERROR "ThreadSanitizer cannot be combined with AddressSanitizer")
  endif()
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()

# Applies the project's warnings and include root to one of its own targets.
function(quenloft_target_defaults target)
  target_compile_options(${target} PRIVATE ${QUENLOFT_WARNINGS})
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
endfunction()

# Declares the object library of one core subsystem folder.
function(quenloft_core_part name)
  add_library(${name} OBJECT ${ARGN})
  quenloft_target_defaults(${name})
  target_link_libraries(${name} PUBLIC ZLIB::ZLIB OpenSSL::SSL OpenSSL::Crypto Threads::Threads)
endfunction()

# Adds the files of ARGN to the GUI library.
function(quenloft_gui_sources)
  if(QUENLOFT_GUI)
    target_sources(quenloft_gui PRIVATE ${ARGN})
  endif()
endfunction()
