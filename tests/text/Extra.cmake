# The text tests draw on screen images they set up themselves, and use
# the screen side of the graphics seam, and rasterisers with known glyphs.
target_sources(velox_text_tests PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/TextSupport.cpp)
target_include_directories(velox_text_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR})
