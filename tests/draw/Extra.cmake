# The draw suite sets up its screen directly and registers images of any format as graphics.
target_sources(velox_draw_tests PRIVATE ${dir}/DrawSeam.cpp)
