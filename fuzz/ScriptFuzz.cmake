# The story checker lives in the player's library.
target_link_libraries(ScriptFuzz PRIVATE velox_player_core)
