// tamarind-convert: saves an object through the library's writer, in the
// layout it was read in or in the other one.
//
//   tamarind-convert IN.lwo OUT.lwo --format lwo2|lwob [--layer N] [--log FILE]
//
// IN is read the way the viewer reads it (as LWO2, then as LWOB). An LWOB
// file holds a single layer: the first one, or layer N (0-based position)
// with --layer. Exit status 0 on success, 1 when IN cannot be read or OUT
// cannot be written (OUT is then left as it was), 2 for a usage error.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "object_writer.h"
#include "objectdb.h"

namespace {

int Usage() {
  fprintf(stderr,
          "usage: tamarind-convert IN.lwo OUT.lwo --format lwo2|lwob [--layer N] [--log FILE]\n");
  return 2;
}

struct Options {
  const char* in = nullptr;
  const char* out = nullptr;
  int format = 0;
  int layer = 0;
  bool layerGiven = false;
  const char* logPath = nullptr;
};

bool ParseLayer(const char* text, int* out) {
  char* end = nullptr;
  long v = strtol(text, &end, 10);
  if (!*text || *end || v < 0 || v > 1000000) return false;
  *out = int(v);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Options opt;
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    const bool hasValue = i + 1 < argc;
    if (!strcmp(a, "--format") && hasValue) {
      const char* f = argv[++i];
      if (!strcmp(f, "lwo2"))
        opt.format = 2;
      else if (!strcmp(f, "lwob"))
        opt.format = 1;
      else
        return Usage();
    } else if (!strcmp(a, "--layer") && hasValue) {
      if (!ParseLayer(argv[++i], &opt.layer)) return Usage();
      opt.layerGiven = true;
    } else if (!strcmp(a, "--log") && hasValue) {
      opt.logPath = argv[++i];
    } else if (a[0] == '-' && a[1] == '-') {
      return Usage();
    } else if (!opt.in) {
      opt.in = a;
    } else if (!opt.out) {
      opt.out = a;
    } else {
      return Usage();
    }
  }
  if (!opt.in || !opt.out || !opt.format) return Usage();

  FILE* log = nullptr;
  if (opt.logPath && !(log = fopen(opt.logPath, "w"))) {
    fprintf(stderr, "%s: cannot write the log\n", opt.logPath);
    return 1;
  }
  ObjectDb* db = CreateObjectDb(0);
  if (!db) {
    fprintf(stderr, "%s: memory error\n", opt.in);
    return 1;
  }
  db->logFile = log;
  int status = 0;
  if (OpenObjectDbInto(db, opt.in, nullptr) != 0) {
    const char* error = db->ops.TakeErrorText(db);
    if (!*error || !strcmp(error, "no error")) error = "unknown type";
    fprintf(stderr, "%s: %s\n", opt.in, error);
    status = 1;
  } else if (opt.layerGiven && db->ops.SelectLayer(db, opt.layer) != 0) {
    fprintf(stderr, "%s: no layer %d (it has %d)\n", opt.in, opt.layer, db->ops.GetLayerCount(db));
    status = 1;
  } else {
    std::string problem;
    if (SaveObject(db, opt.out, opt.format, &problem) != 0) {
      fprintf(stderr, "%s: %s: %s\n", opt.out, db->ops.TakeErrorText(db), problem.c_str());
      status = 1;
    } else if (opt.format == 1 && db->ops.GetLayerCount(db) > 1) {
      fprintf(stderr, "%s: LWOB holds one layer; wrote layer %d of %d\n", opt.out, opt.layer,
              db->ops.GetLayerCount(db));
    }
  }
  CloseObjectDb(&db);
  if (log) fclose(log);
  return status;
}
