#include <cstdio>

int main() {
  std::puts("epd: not built yet");
  return 1;
}
