# The search engine: search start, site sockets, offers into result rows,
# follow-up requests, and the time-outs of the server conversations and the
# site sockets.
target_sources(kv_client PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/uFollowUps.cpp
  ${CMAKE_CURRENT_LIST_DIR}/uOffers.cpp
  ${CMAKE_CURRENT_LIST_DIR}/uSearch.cpp
  ${CMAKE_CURRENT_LIST_DIR}/uTimeOuts.cpp)
