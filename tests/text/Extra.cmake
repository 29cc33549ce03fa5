# The text tests draw on screen images of their own: a test-only stand-in for
# the screen side of the graphics seam, and rasterisers with known glyphs.
target_sources(velox_text_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/GraphicsSeam.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TextSupport.cpp)
target_include_directories(velox_text_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR})
