#include <cstdio>

int main() {
    std::puts("velox-player");
    return 0;
}
