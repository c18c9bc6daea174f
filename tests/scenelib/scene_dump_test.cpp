#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "scene_test_util.h"
#include "scenedb.h"
#include "test_support.h"

namespace {

std::string DumpText(SceneDb* db, const char* name) {
  const std::string path = WriteTempFile(name, {});
  FILE* f = fopen(path.c_str(), "w");
  EXPECT_EQ(0, db->ops.DumpScene(db, f));
  fclose(f);
  auto bytes = ReadFileBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

// Compares with tests/golden-dumps/<name>; TAMARIND_UPDATE_GOLDEN rewrites it.
void ExpectGolden(const std::string& text, const std::string& name) {
  const std::string path = SourcePath("tests/golden-dumps/" + name);
  if (getenv("TAMARIND_UPDATE_GOLDEN")) {
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(nullptr, f);
    fwrite(text.data(), 1, text.size(), f);
    fclose(f);
    return;
  }
  auto golden = ReadFileBytes(path);
  EXPECT_EQ(std::string(golden.begin(), golden.end()), text) << "dump differs from " << path;
}

const char* kScene =
    "LWSC\n3\n\nFirstFrame 1\nLastFrame 30\nFramesPerSecond 30\n"
    "AddNullObject Null%sName\nObjectMotion\nNumChannels 1\nChannel 0\n{ Envelope\n  3\n"
    "  Key 0 0 0 0 0 0 0 0 0\n  Key 1 1 5 0 0 0 0 0 0\n  Key 2 2 9 0 0 0 0 0 0\n  Behaviors 1 1\n"
    "  { ChannelHandler\n    \"Noise Channel\"\n    2\n    amplitude 0.5\n  }\n}\n"
    "AddBone\nBoneName Bone1\nBoneWeightMapName weights\n"
    "AddLight\nParentItem 10000000\nLightIntensity 0.75\n"
    "AddCamera\nZoomFactor 3.2\n"
    "FogType 7\n"
    "BGImage\n{ Clip\n  { Still\n    \"Images/back.tga\"\n  }\n  { Brightness\n    0.5\n    1\n"
    "{ Envelope\n 1\n Key 2 0 0 0 0 0 0 0 0\n}\n  }\n  Flags 1f\n  Times 0 1 24 2 3\n}\n"
    "Plugin MasterHandler 1 Some Master\n  one two\nEndPlugin\n";

TEST(SceneDump, GoldenVersion3Scene) {
  ScenePtr s = SceneFromText(kScene);
  ASSERT_EQ(0, s->error);
  const std::string text = DumpText(s.get(), "scene.dump");
  ExpectGolden(text, "small_v3_scene.txt");

  // Points the golden file pins down, spelled out.
  EXPECT_NE(std::string::npos, text.find("\"Null%sName\"\n"));  // % survives as text
  EXPECT_NE(std::string::npos, text.find("\t\tParent               00000000\n"));
  EXPECT_NE(std::string::npos, text.find("\t\tParent               10000000\t\t// Item Index 1\n"));
  EXPECT_NE(std::string::npos, text.find("Type                 NullObject\n"));
  EXPECT_EQ(std::string::npos, text.find("Obj2"));
  EXPECT_EQ(std::string::npos, text.find("Weight \n"));  // its object is not loaded
  EXPECT_NE(std::string::npos, text.find("Shape       Bezier2D\n"));
  EXPECT_NE(std::string::npos, text.find("Shape       Unknown\n"));
  EXPECT_NE(std::string::npos, text.find("FogType               Unknown\n"));
  EXPECT_NE(std::string::npos, text.find("Type          ChannelHandler\n"));
  EXPECT_NE(std::string::npos, text.find("Type          MasterHandler\n"));
  EXPECT_NE(std::string::npos, text.find("Times {\n"));
  EXPECT_NE(std::string::npos, text.find("Brightness {\n"));

  EXPECT_EQ(0, s->ops.DumpScene(s.get(), nullptr));
}

TEST(SceneDump, LoadedObjectAndBoneWeights) {
  IffBuilder f("LWO2");
  f.Chunk("TAGS", Body().S0("S"))
      .Chunk("LAYR", Body().U2(0).U2(0).Vec(0, 0, 0).S0("l"))
      .Chunk("PNTS", Body().Vec(0, 0, 0).Vec(1, 0, 0).Vec(0, 1, 0))
      .Chunk("VMAP", Body().Id("WGHT").U2(1).S0("weights").VX(0).F4(0.5f).VX(2).F4(1))
      .Chunk("POLS", Body().Id("FACE").U2(3).VX(0).VX(1).VX(2))
      .Chunk("PTAG", Body().Id("SURF").VX(0).U2(0))
      .Chunk("SURF", Body().S0("S").S0(""));
  const std::string object = WriteTempFile("weighted.lwo", f.Bytes());
  const std::string scene = "LWSC\n3\nLoadObjectLayer 1 " + object +
                            "\nAddBone\nBoneName B\nBoneWeightMapName weights\n";
  ScenePtr s = SceneFromText(scene, SCENE_LOAD_OBJECTS);
  ASSERT_EQ(0, s->error) << s->errorPath;
  const std::string text = DumpText(s.get(), "weights.dump");
  EXPECT_NE(std::string::npos, text.find("\t\t\tObj2 \n"));
  EXPECT_NE(std::string::npos, text.find("NumberOfPolygons  1\n"));
  EXPECT_NE(std::string::npos, text.find("NumberOfWeights   1\n"));
  EXPECT_NE(std::string::npos, text.find("\t\t\tWeight \n\t\t\t{\n\t\t\t\t0    0.500000\n\t\t\t\t2    1.000000\n\t\t\t}\n"));
}

}  // namespace
