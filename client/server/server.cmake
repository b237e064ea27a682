# The conversations with the maker's server, the "Error Connecting" dialog and
# the site suggestion form, a library of their own that the main window links.
# The client's text utilities sit in one of their own, which both use.
if(NOT TARGET kv_client_text)
  add_library(kv_client_text STATIC ${CMAKE_SOURCE_DIR}/client/uTextUtils.cpp)
  target_include_directories(kv_client_text PUBLIC ${CMAKE_SOURCE_DIR})
  target_link_libraries(kv_client_text PUBLIC kv_common kv_platform_gui Qt6::Widgets)
endif()
# The stored proxy login's conversion, which the settings and the dialog share.
if(NOT TARGET kv_client_proxy_login)
  add_library(kv_client_proxy_login STATIC ${CMAKE_SOURCE_DIR}/client/settings/uProxyLogin.cpp)
  target_include_directories(kv_client_proxy_login PUBLIC ${CMAKE_SOURCE_DIR})
  target_link_libraries(kv_client_proxy_login PUBLIC kv_common)
endif()
if(NOT TARGET kv_client_server)
  add_library(kv_client_server STATIC
    ${CMAKE_CURRENT_LIST_DIR}/uServer.cpp
    ${CMAKE_CURRENT_LIST_DIR}/uServerTimeOuts.cpp
    ${CMAKE_CURRENT_LIST_DIR}/uErrorConnecting.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FSugSite.cpp)
  target_include_directories(kv_client_server PUBLIC ${CMAKE_SOURCE_DIR})
  target_link_libraries(kv_client_server PUBLIC kv_client_text kv_client_proxy_login kv_net kv_common kv_platform_gui Qt6::Widgets)
endif()
