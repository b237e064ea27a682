# The search engine: search start, site sockets, offers into result rows.
target_sources(kv_client PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/uOffers.cpp
  ${CMAKE_CURRENT_LIST_DIR}/uSearch.cpp)
