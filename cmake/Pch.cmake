# Precompiled headers. Most of the build's compile time went into parsing the
# same standard, Qt and GoogleTest headers again for every file, so five
# headers (cmake/pch/) are compiled once each, by a small holder library of
# their own, and every other C++ target reuses the one that fits what it
# links:
#   kr_pch_std      the standard library only (cores without Qt)
#   kr_pch_qtcore   + Qt Core (cores and programs over Qt Core)
#   kr_pch_widgets  + Qt Widgets (the windows and the programs with windows)
#   kr_pch_test     GoogleTest and Qt Core (display-free test programs)
#   kr_pch_testgui  GoogleTest and Qt Widgets (window test programs)
# A target is matched to a header it can compile on its own, so a source file
# still needs its own includes: the header only saves the parsing. With ccache,
# the launcher sets the sloppiness ccache needs to cache files built over a
# precompiled header (the top CMakeLists.txt).
#
# GCC uses a reused header only where the macros it depends on are the same;
# where they differ it reads the header's text instead, which is as correct
# and only slower.

set(KR_PCH_DIR ${CMAKE_SOURCE_DIR}/cmake/pch)

function(kr_pch_holder name header)
  set(src ${CMAKE_BINARY_DIR}/pch/${name}.cpp)
  if(NOT EXISTS ${src})
    file(WRITE ${src} "// Compiles the precompiled header ${header}.\n")
  endif()
  add_library(${name} STATIC ${src})
  target_link_libraries(${name} PRIVATE ${ARGN})
  target_precompile_headers(${name} PRIVATE ${KR_PCH_DIR}/${header})
endfunction()

# Every build-system target of a folder and the folders below it.
function(kr_pch_targets_of dir out)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(sub ${subdirs})
    kr_pch_targets_of(${sub} more)
    list(APPEND targets ${more})
  endforeach()
  set(${out} ${targets} PARENT_SCOPE)
endfunction()

# The libraries a target links, directly or through the libraries it links.
function(kr_pch_links target out)
  set(seen "")
  set(todo ${target})
  while(todo)
    list(POP_FRONT todo t)
    if(NOT TARGET ${t} OR t IN_LIST seen)
      continue()
    endif()
    list(APPEND seen ${t})
    get_target_property(aliased ${t} ALIASED_TARGET)
    if(aliased)
      list(APPEND todo ${aliased})
    endif()
    get_target_property(type ${t} TYPE)
    set(libs "")
    if(NOT type STREQUAL "INTERFACE_LIBRARY")
      get_target_property(direct ${t} LINK_LIBRARIES)
      if(direct)
        list(APPEND libs ${direct})
      endif()
    endif()
    get_target_property(iface ${t} INTERFACE_LINK_LIBRARIES)
    if(iface)
      list(APPEND libs ${iface})
    endif()
    foreach(l ${libs})
      # Generator expressions of imported targets ($<LINK_ONLY:x>) name x.
      string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" l "${l}")
      if(TARGET ${l})
        list(APPEND todo ${l})
      endif()
    endforeach()
  endwhile()
  set(${out} ${seen} PARENT_SCOPE)
endfunction()

kr_pch_targets_of(${CMAKE_SOURCE_DIR} kr_all_targets)

kr_pch_holder(kr_pch_std Std.h)
kr_pch_holder(kr_pch_qtcore QtCore.h Qt6::Core)
kr_pch_holder(kr_pch_widgets Widgets.h Qt6::Widgets)
if(TARGET kr_test_main)
  kr_pch_holder(kr_pch_test Test.h kr_test_main)
  kr_pch_holder(kr_pch_testgui TestGui.h kr_test_main Qt6::Widgets)
endif()

foreach(t ${kr_all_targets})
  get_target_property(type ${t} TYPE)
  # Shared objects and modules are built position-independent, which a
  # header precompiled for the static libraries and programs does not fit.
  if(NOT type MATCHES "^(STATIC_LIBRARY|OBJECT_LIBRARY|EXECUTABLE)$")
    continue()
  endif()
  get_target_property(sources ${t} SOURCES)
  list(FILTER sources INCLUDE REGEX "\\.(cpp|cc|cxx)$")
  if(NOT sources)
    continue()
  endif()
  # Targets that build with flags of their own keep to their own headers.
  get_target_property(skip ${t} KR_NO_PCH)
  if(skip)
    continue()
  endif()
  kr_pch_links(${t} links)
  if("kr_test_main" IN_LIST links AND "Qt6::Widgets" IN_LIST links)
    set(holder kr_pch_testgui)
  elseif("kr_test_main" IN_LIST links)
    set(holder kr_pch_test)
  elseif("Qt6::Widgets" IN_LIST links)
    set(holder kr_pch_widgets)
  elseif("Qt6::Core" IN_LIST links)
    set(holder kr_pch_qtcore)
  else()
    set(holder kr_pch_std)
  endif()
  target_precompile_headers(${t} REUSE_FROM ${holder})
endforeach()
