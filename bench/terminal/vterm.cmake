# libvterm is a benchmark-only dependency: bench_terminal_throughput compares against its screen
# layer when pkg-config finds it, and reports that half as skipped otherwise. Nothing of the
# product links it. bench/terminal/setup.sh installs the package.
if(TARGET bench_terminal_throughput)
  find_package(PkgConfig QUIET)
  if(PkgConfig_FOUND)
    pkg_check_modules(TESSAL_VTERM QUIET IMPORTED_TARGET vterm)
  endif()
  if(TESSAL_VTERM_FOUND)
    target_link_libraries(bench_terminal_throughput PRIVATE PkgConfig::TESSAL_VTERM)
    target_compile_definitions(bench_terminal_throughput PRIVATE TESSAL_HAVE_VTERM=1)
  else()
    message(STATUS "libvterm not found: bench_terminal_throughput runs without the comparison")
  endif()
endif()
