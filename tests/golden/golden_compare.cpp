// golden-compare: checks a rendered PNG against its baseline.
//
//   golden-compare BASELINE.png ACTUAL.png TOLERANCE
//
// Passes (status 0) when both have the same size and no channel of any
// pixel differs by more than TOLERANCE; otherwise prints how many pixels
// differ, the largest difference and the first differing pixel, status 1.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "png_file.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: golden-compare BASELINE.png ACTUAL.png TOLERANCE\n");
    return 2;
  }
  std::string why;
  auto baseline = ReadPng(argv[1], &why);
  if (!baseline) {
    std::fprintf(stderr, "%s: %s\n", argv[1], why.c_str());
    return 1;
  }
  auto actual = ReadPng(argv[2], &why);
  if (!actual) {
    std::fprintf(stderr, "%s: %s\n", argv[2], why.c_str());
    return 1;
  }
  if (baseline->width != actual->width || baseline->height != actual->height) {
    std::fprintf(stderr, "size %dx%d, baseline %dx%d\n", actual->width, actual->height, baseline->width,
                 baseline->height);
    return 1;
  }
  const int tolerance = std::atoi(argv[3]);
  long differing = 0;
  int largest = 0;
  long first = -1;
  for (size_t p = 0; p < baseline->pixels.size() / 3; ++p) {
    int worst = 0;
    for (size_t c = 0; c < 3; ++c) worst = std::max(worst, std::abs(int(baseline->pixels[p * 3 + c]) - int(actual->pixels[p * 3 + c])));
    if (worst > tolerance) {
      ++differing;
      if (first < 0) first = long(p);
    }
    largest = std::max(largest, worst);
  }
  if (differing == 0) return 0;
  const size_t f = size_t(first) * 3;
  std::fprintf(stderr,
               "%ld pixels differ by more than %d (largest %d); first at (%ld, %ld): %d,%d,%d, baseline %d,%d,%d\n",
               differing, tolerance, largest, first % actual->width, first / actual->width, actual->pixels[f],
               actual->pixels[f + 1], actual->pixels[f + 2], baseline->pixels[f], baseline->pixels[f + 1],
               baseline->pixels[f + 2]);
  return 1;
}
