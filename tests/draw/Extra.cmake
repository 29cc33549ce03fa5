# The draw suite runs against a small stand-in for the screen and graphic records.
target_sources(velox_draw_tests PRIVATE ${dir}/DrawSeam.cpp)
