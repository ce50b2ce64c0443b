// tavren: the command-line enhancer.
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("tavren %s\n", TAVREN_VERSION_TEXT);
    return 0;
  }
  std::fprintf(stderr, "usage: tavren enhance|info PICTURE...\n");
  return 2;
}
