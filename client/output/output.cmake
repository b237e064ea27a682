# Saving, exporting and printing the result list.
target_sources(kv_client PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/FPrintin.cpp
  ${CMAKE_CURRENT_LIST_DIR}/uExport.cpp
  ${CMAKE_CURRENT_LIST_DIR}/uPrintCommands.cpp
  ${CMAKE_CURRENT_LIST_DIR}/uprint.cpp)
target_link_libraries(kv_client PUBLIC Qt6::PrintSupport)
