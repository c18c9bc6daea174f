#include "info_scene.h"

#include <gtest/gtest.h>

#include <string>

#include "test_support.h"

namespace {

struct Printed {
  int status;
  std::string out, err;
};

std::string Contents(FILE* f) {
  std::string s;
  rewind(f);
  for (int c; (c = fgetc(f)) != EOF;) s += char(c);
  fclose(f);
  return s;
}

Printed Print(const std::string& path, bool json) {
  FILE* out = tmpfile();
  FILE* err = tmpfile();
  int status = PrintSceneInfo(path.c_str(), json, out, err);
  return {status, Contents(out), Contents(err)};
}

size_t Count(const std::string& s, const std::string& what) {
  size_t n = 0;
  for (size_t at = s.find(what); at != std::string::npos; at = s.find(what, at + 1)) ++n;
  return n;
}

std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

TEST(SceneInfo, QuickDrawAsJson) {
  std::string path = CorpusPath("lws/quickdraw/LWS/QuickDraw v.2.2.lws");
  Printed p = Print(path, true);
  ASSERT_EQ(p.status, 0) << p.err;
  EXPECT_EQ(Count(p.out, "\n"), 1u);
  EXPECT_EQ(p.out.rfind("{\"file\": \"" + path + "\", \"format\": \"LWS\", \"version\": 3, \"first_frame\": 1, "
                        "\"last_frame\": 30, \"items\": [",
                        0),
            0u);
  EXPECT_NE(p.out.find("{\"type\": \"object\", \"name\": \"QuickDraw--Chasis\", \"parent\": 14, \"object\": "
                       "\"..\\\\LWO\\\\LWO2\\\\LWSReferences\\\\QuickDraw--Chasis.lwo\"}"),
            std::string::npos);
  EXPECT_NE(p.out.find("{\"type\": \"object\", \"name\": \"Quick Draw == HANDLE == MASTER\", \"parent\": null, "
                       "\"object\": null}"),
            std::string::npos);
  EXPECT_EQ(Count(p.out, "\"type\": \"object\""), 20u);
  EXPECT_EQ(Count(p.out, "\"object\": null"), 11u);  // 9 nulls, the light and the camera
  EXPECT_EQ(Count(p.out, "\"parent\": null"), 3u);
  EXPECT_NE(p.out.find("{\"type\": \"camera\", \"name\": \"Camera\", \"parent\": null, \"object\": null}]}"),
            std::string::npos);
}

TEST(SceneInfo, TextEscapingAndFailures) {
  std::string odd = WriteTempFile("info/odd.lws", Bytes("LWSC\n3\nAddNullObject Say \"hi\" \\ \x01 now\nAddLight\n"
                                                        "LightName Key\nParentItem 10000000\n"));
  Printed json = Print(odd, true);
  ASSERT_EQ(json.status, 0) << json.err;
  EXPECT_NE(json.out.find("\"name\": \"Say \\\"hi\\\" \\\\ \\u0001 now\""), std::string::npos) << json.out;
  EXPECT_NE(json.out.find("{\"type\": \"light\", \"name\": \"Key\", \"parent\": 0, \"object\": null}"),
            std::string::npos);
  Printed text = Print(odd, false);
  EXPECT_EQ(text.status, 0);
  EXPECT_NE(text.out.find("format: LWS version 3"), std::string::npos);
  EXPECT_NE(text.out.find("  1 light \"Key\" parent 0, 0 channels\n"), std::string::npos) << text.out;

  std::string old = CorpusPath("lws/assimp-move/move_x_oldformat_56.lws");
  Printed bad = Print(old, true);
  EXPECT_EQ(bad.status, 1);
  EXPECT_EQ(bad.out, "{\"file\": \"" + old + "\", \"error\": \"bad file format\"}\n");
  EXPECT_EQ(bad.err, old + ": bad file format\n");

  std::string missing = WriteTempFile("info/missing.lws", Bytes("LWSC\n3\nLoadObjectLayer 1 Objects/gone.lwo\n"));
  Printed gone = Print(missing, false);
  EXPECT_EQ(gone.status, 1);
  EXPECT_EQ(gone.out, "");
  EXPECT_EQ(gone.err, missing + ": file open error: Objects\\gone.lwo\n");
}

}  // namespace
