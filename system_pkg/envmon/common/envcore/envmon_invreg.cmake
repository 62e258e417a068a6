# Inventory registration: the registration clients of both scopes, their
# requests, pushes and acknowledgements, the inventory-service client,
# backplane current and port-adapter sensors.
target_sources(envcore PRIVATE
  envmon_invreg_reg.cpp
  envmon_invreg_fru.cpp
  envmon_invreg_push.cpp
  envmon_invreg_state.cpp
  envmon_invreg_client.cpp
  envmon_invreg_filter.cpp
  envmon_invreg_fpga.cpp
  envmon_invreg_resp.cpp
  envmon_invreg_fru_resp.cpp
  envmon_inv_client.cpp
  envmon_inv_notify.cpp
  envmon_inv_bb_curr.cpp
  envmon_inv_mpa.cpp)
target_link_libraries(envcore PRIVATE invreg inv nodeid alarmd msgcodec msgpipe)

add_subdirectory(${CMAKE_CURRENT_LIST_DIR}/tests/invreg)
