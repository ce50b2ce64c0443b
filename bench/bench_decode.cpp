// Decodes one picture file as the program opens it (LoadPicture: decode,
// samples to 8-bit blue, green, red, turned upright) and exits.  Used by
// bench/formats.sh, which times the whole program against each format's
// own command-line decoder.
//   bench_decode PICTURE
#include <cstdio>

#include "picture_io/picture_files.h"
#include "system/error.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: bench_decode PICTURE\n");
    return 2;
  }
  try {
    const tavren::Image picture = tavren::LoadPicture(argv[1]);
    return picture.ByteSize() > 0 ? 0 : 1;
  } catch (const tavren::TavrenError& e) {
    std::fprintf(stderr, "bench_decode: %s\n", e.what());
    return 1;
  }
}
