# Shared build helpers. Modules collect their sources by globbing so that a
# new file needs no edit here.

# orrimund_glob_sources(<out-var> <dir> [RECURSE] [EXCLUDE <regex>...])
function(orrimund_glob_sources out dir)
  cmake_parse_arguments(G "RECURSE" "" "EXCLUDE" ${ARGN})
  if(G_RECURSE)
    file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${dir}/*.cpp ${dir}/*.c)
  else()
    file(GLOB srcs CONFIGURE_DEPENDS ${dir}/*.cpp ${dir}/*.c)
  endif()
  foreach(rx IN LISTS G_EXCLUDE)
    list(FILTER srcs EXCLUDE REGEX "${rx}")
  endforeach()
  set(${out} ${srcs} PARENT_SCOPE)
endfunction()

# Every executable the game or its tools build gets the repository root on
# the include path, so includes read "quarn/os/error.h".
function(orrimund_target_defaults tgt)
  target_include_directories(${tgt} PUBLIC ${PROJECT_SOURCE_DIR})
endfunction()
