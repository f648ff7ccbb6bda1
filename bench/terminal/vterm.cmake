# libvterm is a benchmark-only dependency: bench_terminal_throughput compares against its screen
# layer, and bench_vt102_differential checks the VT102 emulation against it, when pkg-config
# finds it; without it they say they skipped. Nothing of the product links it.
# bench/terminal/setup.sh installs the package.
find_package(PkgConfig QUIET)
if(PkgConfig_FOUND)
  pkg_check_modules(TESSAL_VTERM QUIET IMPORTED_TARGET vterm)
endif()
foreach(bench bench_terminal_throughput bench_vt102_differential)
  if(NOT TARGET ${bench})
    continue()
  endif()
  if(TESSAL_VTERM_FOUND)
    target_link_libraries(${bench} PRIVATE PkgConfig::TESSAL_VTERM)
    target_compile_definitions(${bench} PRIVATE TESSAL_HAVE_VTERM=1)
  else()
    message(STATUS "libvterm not found: ${bench} runs without it")
  endif()
endforeach()
