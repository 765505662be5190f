#include <cstdio>

int main() {
    std::fputs("dedivirede: the game shell is not built yet\n", stderr);
    return 1;
}
