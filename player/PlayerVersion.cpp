namespace velox::player {
const char* Version() {
    return VELOX_VERSION;
}
} // namespace velox::player
