# The AVI clip reader and the animation control that plays it.
kv_add_gtest(NAME animate_avi_test MAIN qgui
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/AviClipTest.cpp ${CMAKE_CURRENT_LIST_DIR}/AviPlayerTest.cpp
  LIBS kv_animate_avi)
target_compile_definitions(animate_avi_test PRIVATE KV_MAKE_AVI="$<TARGET_FILE:make_avi>")
add_dependencies(animate_avi_test make_avi animate_data)

kv_add_fuzz_target(NAME avi_clip SOURCES ${CMAKE_CURRENT_LIST_DIR}/AviClipFuzz.cpp
  LIBS kv_animate_avi CORPUS ${CMAKE_CURRENT_LIST_DIR}/corpus RSS_LIMIT_MB 768 MALLOC_LIMIT_MB 128
  MIN_COVERAGE 620)
