# Sensor acquisition, fault reporting and failure logging: the platform-driver,
# fault-manager, failure-log and FPD clients of the core, with the stand-in
# platform libraries they call.
target_sources(envcore PRIVATE
  envmon_fm_client.cpp
  envmon_fm_declare.cpp
  envmon_fm_pending.cpp
  envmon_fm_drvfault.cpp
  envmon_obfl_client.cpp
  envmon_obfl_errstr.cpp
  envmon_obfl_sensor.cpp
  envmon_obfl_thresholds.cpp
  envmon_obfl_fpd.cpp
  envmon_drvif_client.cpp
  envmon_drvif_poll.cpp
  envmon_drvif_sensor.cpp
  envmon_drvif_entity.cpp
  envmon_drvif_fpd.cpp
  envmon_drvif_set.cpp
  envmon_fpd_image.cpp
  envmon_drvif_fantray.cpp)
target_link_libraries(envcore PRIVATE alarmd nodeid qyx_sysctl obfl_mgr msgcodec msgpipe drvif fpd_drv
                      mtimer)
# The core's syslog messages.
target_sources(envcore PRIVATE envmon_syslog_msgs.cpp)
target_link_libraries(envcore PRIVATE syslog)
# The hardware abstraction, the PEM library and the other neighbours are bound
# by name in the server process; a program that links the core without them
# (a test) resolves what it calls when it calls it.
target_link_options(envcore INTERFACE -Wl,--allow-shlib-undefined)

# Tests: the core linked with the platform stand-ins, and recording stand-ins
# of the neighbours not built yet (tests/acq/).
add_library(envcore_acq_standin OBJECT tests/acq/acq_standin.cpp tests/acq/acq_fixture.cpp
                                       tests/acq/fake_driver.cpp tests/fake_host.cpp)
target_link_libraries(envcore_acq_standin PUBLIC envcore_api alarmd nodeid qyx_sysctl obfl_mgr drvif fpd_drv
                      tlg evloop
                      dsd_core pelmarok_ds GTest::gtest PkgConfig::SAFEC)
target_include_directories(envcore_acq_standin PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/tests/acq
                           ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/sim/pelmarok_ds)
set(envcore_acq_test_libs envcore envcore_acq_standin alarmd nodeid qyx_sysctl obfl_mgr drvif fpd_drv
    dsd_core pelmarok_ds tlg evloop mtimer
    inv_util inv_parser simpaths)
foreach(t fm_declare fm_pending fm_drvfault obfl_client obfl_records drvif_client drvif_notify drvif_fpd fpd_image)
  envmon_add_test(envcore_${t}_test SOURCES tests/acq/${t}_test.cpp LIBS ${envcore_acq_test_libs}
                  LABELS unit)
endforeach()
# Fan trays read the installed descriptions and send syslog messages.
envmon_add_test(envcore_drvif_fantray_test SOURCES tests/acq/drvif_fantray_test.cpp
                LIBS ${envcore_acq_test_libs} simsvc syslog LABELS unit)
target_compile_definitions(envcore_drvif_fantray_test PRIVATE SIM_XML_DIR="${CMAKE_SOURCE_DIR}/sim/data/xml")
