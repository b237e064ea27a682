# The update check and download, and the banner adverts: units of the client
# that the main window owns.
target_sources(kv_client PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/UDown.cpp
  ${CMAKE_CURRENT_LIST_DIR}/uAdverts.cpp)
