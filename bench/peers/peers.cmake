# bench_peers compares the driver and the port with libserialport and QSerialPort. Both are
# benchmark-only dependencies: the benchmark is built when both are installed
# (bench/peers/setup.sh installs them) and nothing else links them.
find_package(PkgConfig QUIET)
if(PkgConfig_FOUND)
  pkg_check_modules(TESSAL_LIBSERIALPORT QUIET IMPORTED_TARGET libserialport)
endif()
find_package(Qt6 QUIET COMPONENTS SerialPort)
if(TESSAL_LIBSERIALPORT_FOUND AND TARGET Qt6::SerialPort AND TARGET tessal_port)
  file(GLOB TESSAL_PEERS_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*.cpp)
  add_executable(bench_peers ${TESSAL_PEERS_SOURCES})
  target_include_directories(bench_peers PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(bench_peers PRIVATE tessal_port PkgConfig::TESSAL_LIBSERIALPORT
                                            Qt6::SerialPort Qt6::Core ${CMAKE_DL_LIBS})
else()
  message(STATUS "libserialport-dev or qt6-serialport-dev missing: bench_peers is not built "
                 "(bench/peers/setup.sh installs them)")
endif()
