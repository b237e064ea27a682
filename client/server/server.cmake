# The conversations with the maker's server and the "Error Connecting" dialog,
# a library of their own that the main window links.
if(NOT TARGET kv_client_server)
  add_library(kv_client_server STATIC
    ${CMAKE_CURRENT_LIST_DIR}/uServer.cpp
    ${CMAKE_CURRENT_LIST_DIR}/uErrorConnecting.cpp)
  target_include_directories(kv_client_server PUBLIC ${CMAKE_SOURCE_DIR})
  target_link_libraries(kv_client_server PUBLIC kv_net kv_common kv_platform_gui Qt6::Widgets)
endif()
