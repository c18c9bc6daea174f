#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstring>
#include <locale>

#include "scene_test_util.h"
#include "test_support.h"

namespace {

constexpr double kDeg = 0.0174532925199399995;

LoadOptions CorpusOptions() {
  LoadOptions options;
  CopyName(options.contentDirectory, CorpusPath("").c_str());
  return options;
}

std::string FolderOf(const std::string& path) { return path.substr(0, path.find_last_of('/')); }

TEST(LwsHeader, VersionsAndFirstLines) {
  struct Case {
    const char* text;
    int error;
    int items;
  };
  const Case cases[] = {
      {"LWSC\n2\nAddNullObject X\n", 7, 0}, {"LWSX\n3\nAddNullObject X\n", 7, 0}, {"", 7, 0},
      {"LWSC\n", 7, 0},  {"LWSC\n6\nAddNullObject X\n", 7, 0}, {"\n\nLWSC\n\n1\nAddNullObject X\n", 0, 1},
      {"LWSC\n3\nAddNullObject X\n", 0, 1}, {"LWSC\n4\nAddNullObject X\n", 0, 1}, {"LWSC\n5\nAddNullObject X\n", 0, 1},
  };
  for (const Case& c : cases) {
    ScenePtr s = SceneFromText(c.text);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->error, c.error) << c.text;
    EXPECT_EQ(int(Items(s.get()).size()), c.items) << c.text;
    if (c.error) {
      EXPECT_EQ(s->errorPath, "test.lws");
    }
  }
  SceneDb* missing = CreateSceneDb("/nonexistent/scene.lws", SCENE_LOAD_OBJECTS, nullptr);
  ASSERT_NE(missing, nullptr);
  EXPECT_EQ(missing->error, 2);
  EXPECT_EQ(missing->errorPath, "/nonexistent/scene.lws");
  CloseSceneDb(&missing);
  EXPECT_EQ(missing, nullptr);
}

TEST(LwsHeader, VersionOnePreviewFramesDefaultToTheRenderRange) {
  ScenePtr plain = SceneFromText("LWSC\n1\nFirstFrame 5\nLastFrame 90\nFrameStep 2\nFramesPerSecond 25\n");
  EXPECT_EQ(plain->previewFirstFrame, 5);
  EXPECT_EQ(plain->previewLastFrame, 90);
  EXPECT_EQ(plain->previewFrameStep, 2);
  EXPECT_EQ(plain->framesPerSecond, 25);
  ScenePtr given = SceneFromText("LWSC\n1\nFirstFrame 5\nPreviewFirstFrame 7\nFramesPerSecond 0\n");
  EXPECT_EQ(given->previewFirstFrame, 7);
  EXPECT_EQ(given->previewLastFrame, 60);
  EXPECT_EQ(given->framesPerSecond, 30);  // a rate of 0 is not taken
  ScenePtr v3 = SceneFromText("LWSC\n3\nFirstFrame 5\nCurrentFrame 12\n");
  EXPECT_EQ(v3->previewFirstFrame, 1);
  EXPECT_EQ(v3->currentFrame, 12);
}

TEST(LwsObjects, NamesAndPathsWithoutLoading) {
  struct Case {
    int version;
    const char* line;
    const char* name;
    const char* fileName;
    int isNull;
  };
  const Case cases[] = {
      {3, "LoadObjectLayer 2 Objects/Robot.lwo", "Robot:Layer2", "Objects\\Robot.lwo", 0},
      {3, "LoadObjectLayer 1 Objects/Robot.lwo", "Robot", "Objects\\Robot.lwo", 0},
      {3, "LoadObjectLayer 1 C:Objects/my robot.v2.lwo", "my robot.v2", "C:\\Objects\\my robot.v2.lwo", 0},
      {3, "LoadObjectLayer 1 10000000 x.lwo", "10000000 x", "10000000 x.lwo", 0},
      {5, "LoadObjectLayer 1 10000000 simple_cube.lwo", "simple_cube", "simple_cube.lwo", 0},
      {4, "LoadObjectLayer 3 1000000A Objects/a b.lwo", "a b:Layer3", "Objects\\a b.lwo", 0},
      {3, "LoadObjectLayer", "", "", 0},
      {1, "LoadObject HD:Objects:cow.lwo", "cow.lwo", "Objects\\cow.lwo", 0},
      {1, "LoadObject Objects/cow.lwo", "cow.lwo", "Objects\\cow.lwo", 0},
      {1, "LoadObject C:\\Objects\\cow.lwo", "cow.lwo", "C:\\Objects\\cow.lwo", 0},
      {3, "AddNullObject 10000001 Null (1)", "10000001 Null (1)", "", 1},
      {5, "AddNullObject 10000001 Null (1)", "Null (1)", "", 1},
      {5, "AddNullObject 10000001", "10000001", "", 1},
      {3, "AddNullObject", "", "", 1},
  };
  for (const Case& c : cases) {
    ScenePtr s = SceneFromText("LWSC\n" + std::to_string(c.version) + "\n" + c.line + "\n");
    ASSERT_EQ(s->error, 0) << c.line;
    ASSERT_NE(s->items, nullptr) << c.line;
    EXPECT_EQ(s->items->name, c.name) << c.line;
    const ObjectItemData* d = s->ops.GetObjectData(s.get(), s->items);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->fileName, c.fileName) << c.line;
    EXPECT_EQ(d->isNull, c.isNull) << c.line;
    EXPECT_EQ(d->objectDb, nullptr);
  }
}

TEST(LwsObjects, LoadingSharingLayersAndMissingFiles) {
  LoadOptions options = CorpusOptions();
  ScenePtr s = SceneFromText(
      "LWSC\n3\n"
      "LoadObjectLayer 1 lws/assimp-move/simple_cube.lwo\n"
      "LoadObjectLayer 1 lws/assimp-move/simple_cube.lwo\n"
      "LoadObjectLayer 3 lwo2/assimp/hierarchy.lwo\n"
      "LoadObjectLayer 5 lwo2/assimp/hierarchy.lwo\n"
      "LoadObjectLayer 1 missing/nothing.lwo\n"
      "LoadObjectLayer 1 lwo2/assimp/hierarchy.lwo\n"
      "AddNullObject After\n",
      SCENE_LOAD_OBJECTS, &options);
  auto items = Items(s.get());
  ASSERT_EQ(items.size(), 7u);
  auto data = [&](int i) { return s->ops.GetObjectData(s.get(), items[size_t(i)]); };
  EXPECT_EQ(s->error, 2);
  EXPECT_EQ(s->errorPath, "lwo2\\assimp\\hierarchy.lwo");  // the last object that failed

  ObjectDb* a = data(0)->objectDb;
  ObjectDb* b = data(1)->objectDb;
  ASSERT_TRUE(a && b);
  EXPECT_NE(a, b);
  EXPECT_EQ(a->store, b->store);
  EXPECT_TRUE(b->flags & 1);
  EXPECT_EQ(items[0]->name, "simple_cube");  // one layer: no suffix

  ObjectDb* h3 = data(2)->objectDb;
  ObjectDb* h5 = data(3)->objectDb;
  ASSERT_TRUE(h3 && h5);
  EXPECT_EQ(h3->store, h5->store);
  EXPECT_EQ(h3->currentLayer->number, 2);
  EXPECT_EQ(h5->currentLayer->number, 4);
  EXPECT_EQ(items[2]->name, "hierarchy:Layer3");
  EXPECT_EQ(items[3]->name, "hierarchy:Layer5");

  EXPECT_EQ(items[4]->loadState, 2);
  EXPECT_EQ(data(4)->objectDb, nullptr);
  EXPECT_EQ(items[5]->loadState, 2);  // the file has no layer numbered 0
  EXPECT_EQ(data(5)->objectDb, nullptr);
  EXPECT_EQ(items[5]->name, "hierarchy");
  EXPECT_EQ(items[6]->name, "After");
  EXPECT_EQ(items[0]->loadState, 0);
}

TEST(LwsEnvelopes, MalformedBlocksSetErrorSevenAndReadingGoesOn) {
  struct Case {
    const char* name;
    const char* block;
  };
  const Case cases[] = {
      {"nine-token key", "{ Envelope\n  1\n  Key 1 0 0 0 0 0 0 0\n  Behaviors 1 1\n}\n"},
      {"eleven-token key", "{ Envelope\n  1\n  Key 1 0 0 0 0 0 0 0 0 0\n  Behaviors 1 1\n}\n"},
      {"wrong header", "{ Envelop\n  1\n  Key 1 0 0 0 0 0 0 0 0\n  Behaviors 1 1\n}\n"},
      {"negative count", "{ Envelope\n  -1\n  Behaviors 1 1\n}\n"},
      {"huge count", "{ Envelope\n  1000000000\n  Key 1 0 0 0 0 0 0 0 0\n}\n"},
  };
  for (const Case& c : cases) {
    ScenePtr s = SceneFromText(std::string("LWSC\n3\nAddNullObject A\nObjectMotion\nNumChannels 1\nChannel 0\n") +
                               c.block + "AddNullObject B\nShowObject 4 2\n");
    EXPECT_EQ(s->error, 7) << c.name;
    auto items = Items(s.get());
    ASSERT_EQ(items.size(), 2u) << c.name;
    EXPECT_EQ(items[0]->channels, nullptr) << c.name;
    EXPECT_EQ(items[1]->name, "B") << c.name;
    EXPECT_EQ(items[1]->refresh, 4) << c.name;
  }
}

TEST(LwsEnvelopes, MissingBehavioursLineDoesNotSwallowTheNextBlock) {
  ScenePtr s = SceneFromText(
      "LWSC\n3\nAddNullObject A\nObjectMotion\nNumChannels 2\n"
      "Channel 0\n{ Envelope\n  1\n  Key 3 0 0 0 0 0 0 0 0\n}\n"
      "Channel 1\n{ Envelope\n  1\n  Key 4 0 0 0 0 0 0 0 0\n  Behaviors 2 3\n}\n"
      "AddNullObject B\n");
  ASSERT_EQ(s->error, 0);
  auto items = Items(s.get());
  ASSERT_EQ(items.size(), 2u);
  Envelope* c0 = s->ops.FindItemChannel(s.get(), items[0], 0);
  Envelope* c1 = s->ops.FindItemChannel(s.get(), items[0], 1);
  ASSERT_TRUE(c0 && c1);
  EXPECT_EQ(c0->preBehavior, 1);
  EXPECT_EQ(c1->firstKey->value, 4);
  EXPECT_EQ(c1->postBehavior, 3);
  EXPECT_EQ(items[0]->numChannels, 2);
}

TEST(LwsEnvelopes, ChannelHandlersInsideAnEnvelope) {
  ScenePtr s = SceneFromText(
      "LWSC\n3\nAddNullObject A\nObjectMotion\nNumChannels 1\nChannel 0\n{ Envelope\n  1\n"
      "  Key 3 0 0 0 0 0 0 0 0\n  Behaviors 1 1\n  { ChannelHandler\n    \"Noise Channel\"\n    2\n"
      "    amplitude 0.5\n    { Nested\n      inner\n    }\n    speed\n  }\n}\nAddNullObject B\n");
  ASSERT_EQ(s->error, 0);
  Envelope* env = s->ops.FindItemChannel(s.get(), s->items, 0);
  ASSERT_NE(env, nullptr);
  PluginBlock* p = env->channelPlugins;
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->pluginClass, PLUGIN_CHANNEL);
  EXPECT_EQ(p->serverName, "Noise Channel");
  EXPECT_EQ(p->index, 2);
  EXPECT_EQ(std::string(p->data.begin(), p->data.end()), std::string("amplitude\0inner\0speed\0", 22));
  EXPECT_EQ(p->dataSize, 22);
  EXPECT_EQ(Items(s.get()).size(), 2u);
}

TEST(LwsEnvelopes, ValuesColoursAndAnglesOfBothVersions) {
  ScenePtr v3 = SceneFromText(
      "LWSC\n3\nAddLight\nLightColor (envelope)\n"
      "{ Envelope\n 1\n Key 0.5 0 0 0 0 0 0 0 0\n}\n{ Envelope\n 1\n Key 0.25 0 0 0 0 0 0 0 0\n}\n"
      "{ Envelope\n 1\n Key 1 0 0 0 0 0 0 0 0\n}\nLightConeAngle 45\nLightEdgeAngle (envelope)\n"
      "{ Envelope\n 1\n Key 10 0 0 0 0 0 0 0 0\n}\nAddLight\nLightColor (envelope)\n"
      "{ Envelope\n 1\n Key 0.5 0 0 0 0 0 0 0 0\n}\n{ Envelope\n 1\n Key 0.25\n}\nLightIntensity 2.5\n");
  EXPECT_EQ(v3->error, 7);  // the second light's green envelope
  auto items = Items(v3.get());
  ASSERT_EQ(items.size(), 2u);
  LightData* first = v3->ops.GetLightData(v3.get(), items[0]);
  ASSERT_TRUE(first->colorEnvelope && first->colorEnvelope->next && first->colorEnvelope->next->next);
  EXPECT_EQ(first->colorEnvelope->next->firstKey->value, 0.25);
  EXPECT_EQ(first->colorEnvelope->next->next->next, nullptr);
  EXPECT_NEAR(first->coneAngle, 45 * kDeg, 1e-15);
  EXPECT_EQ(first->edgeAngleEnvelope->firstKey->value, 10);  // envelope values stay as written
  LightData* second = v3->ops.GetLightData(v3.get(), items[1]);
  ASSERT_NE(second->colorEnvelope, nullptr);
  EXPECT_EQ(second->colorEnvelope->next, nullptr);  // a short chain, not a dangling one
  EXPECT_EQ(second->intensity, 2.5);

  ScenePtr v1 = SceneFromText(
      "LWSC\n1\nFramesPerSecond 10\nAddLight\nLightColor 255 51 0\nConeAngle 30\nEdgeAngle (envelope)\n"
      "  1\n  2\n  10\n  0 0 0 0 0\n  20\n  20 1 0 0 0\nEndBehavior 4\nLgtIntensity 0.5\nNoDiffuse 1\n");
  ASSERT_EQ(v1->error, 0);
  LightData* l = v1->ops.GetLightData(v1.get(), v1->items);
  EXPECT_FLOAT_EQ(l->color[0], 1.0f);
  EXPECT_FLOAT_EQ(l->color[1], 0.2f);
  EXPECT_NEAR(l->coneAngle, 30 * kDeg, 1e-15);
  Envelope* edge = l->edgeAngleEnvelope;
  ASSERT_NE(edge, nullptr);
  EXPECT_NEAR(edge->firstKey->value, 10 * kDeg, 1e-15);
  EXPECT_NEAR(edge->lastKey->value, 20 * kDeg, 1e-15);
  EXPECT_EQ(edge->lastKey->time, 2);
  EXPECT_EQ(edge->lastKey->shape, SHAPE_LINEAR);
  EXPECT_EQ(edge->postBehavior, 4);
  EXPECT_EQ(l->intensity, 0.5);
  EXPECT_EQ(l->affectDiffuse, 0);
}

TEST(LwsReferences, ParentsTargetsAndGoals) {
  ScenePtr v3 = SceneFromText("LWSC\n3\nAddNullObject A\nAddNullObject B\nParentItem 10000000\nGoalObject 1\n");
  auto items = Items(v3.get());
  EXPECT_EQ(v3->ops.GetParentItem(v3.get(), items[1]), items[0]);
  EXPECT_EQ(items[1]->goal, 1);
  EXPECT_EQ(items[1]->hController, 0);

  ScenePtr v1 = SceneFromText(
      "LWSC\n1\nAddNullObject A\nAddNullObject B\nParentObject 1\nTargetObject 2\n"
      "AddBone\nBoneName B0\nAddBone\nBoneName B1\nParentObject 1\nAddBone\nBoneName B2\nParentObject 2\n"
      "AddBone\nBoneName B3\nParentObject 9\nAddLight\nParentObject 2\nGoalObject 1\nShowCamera 1 2\nPathAlignment 1\n"
      "ParentObject 7\n");
  ASSERT_EQ(v1->error, 0);
  auto it = Items(v1.get());
  ASSERT_EQ(it.size(), 8u);
  auto parent = [&](int i) { return v1->ops.GetParentItem(v1.get(), it[size_t(i)]); };
  EXPECT_EQ(parent(0), nullptr);
  EXPECT_EQ(parent(1), it[0]);
  EXPECT_EQ(it[1]->target, 2);
  EXPECT_EQ(it[1]->pController, 1);
  EXPECT_EQ(parent(2), it[1]);  // no ParentObject: the bone's own object
  EXPECT_EQ(parent(3), it[2]);  // the first bone
  EXPECT_EQ(parent(4), it[3]);  // the second bone
  EXPECT_EQ(parent(5), nullptr);
  EXPECT_EQ(parent(6), it[1]);
  EXPECT_EQ(it[6]->bController, 3);
  EXPECT_EQ(it[7]->name, "Camera");
  EXPECT_EQ(it[7]->hController, 2);
  EXPECT_EQ(parent(7), nullptr);
  EXPECT_EQ(v1->ops.GetBoneData(v1.get(), it[4])->ownerId, it[1]->id);
}

TEST(LwsBlocks, PluginsAndClips) {
  ScenePtr s = SceneFromText(
      "LWSC\n3\nAddNullObject A\nPlugin DisplacementHandler 1 Twist\n  angle 30\nEndPlugin\n"
      "Plugin MasterHandler 4 Some Master\n  one two\n  three\n  EndPlugin  \n"
      "Plugin ChannelHandler 1 Loose\nEndPlugin\nPlugin LightHandler 1 DistantLight\nEndPlugin\n"
      "BGImage\n{ Clip\n  { Still\n    \"Images/back drop.tga\"\n  }\n  { Brightness\n    0.5\n    1\n"
      "{ Envelope\n 1\n Key 2 0 0 0 0 0 0 0 0\n}\n  }\n  Flags 1f\n  Times 0 1 24 2 3\n}\n"
      "FGImage\nAddNullObject B\n");
  ASSERT_EQ(s->error, 0);
  auto items = Items(s.get());
  ASSERT_EQ(items.size(), 2u);
  PluginBlock* twist = s->ops.GetObjectData(s.get(), items[0])->plugins;
  ASSERT_NE(twist, nullptr);
  EXPECT_EQ(twist->serverName, "Twist");
  EXPECT_EQ(std::string(twist->data.data()), "angle");
  PluginBlock* master = s->masterPlugins;
  ASSERT_NE(master, nullptr);
  EXPECT_EQ(master->index, 4);
  EXPECT_EQ(master->serverName, "Some Master");
  EXPECT_EQ(master->dataSize, 10);  // "one", "three"
  EXPECT_EQ(master->next, nullptr);
  ClipRef* clip = s->composite->bgImage;
  ASSERT_NE(clip, nullptr);
  ASSERT_NE(clip->still, nullptr);
  EXPECT_EQ(clip->still->imageName, "Images\\back drop.tga");
  ASSERT_NE(clip->adjustments[ADJUST_BRIGHTNESS], nullptr);
  EXPECT_EQ(clip->adjustments[ADJUST_BRIGHTNESS]->value, 0.5f);
  EXPECT_EQ(clip->adjustments[ADJUST_BRIGHTNESS]->envelopeCount, 1);
  EXPECT_EQ(clip->flags, 0x1f);
  ASSERT_NE(clip->times, nullptr);
  EXPECT_EQ(clip->times->frameRate, 24);
  EXPECT_EQ(clip->times->behaviors[1], 3);
  EXPECT_EQ(s->composite->fgImage, nullptr);  // no clip block followed

  ScenePtr v1 = SceneFromText("LWSC\n1\nPlugin MasterHandler 1 M\n  whole line\nEndPlugin\nBGImage Images/x.tga\n");
  ASSERT_EQ(v1->error, 0);
  EXPECT_EQ(v1->masterPlugins, nullptr);  // version 1 does not know the class
  ASSERT_NE(v1->composite->bgImage, nullptr);
  EXPECT_EQ(v1->composite->bgImage->still->imageName, "Images/x.tga");
}

TEST(LwsHostile, EndOfFileInsideEveryBlockKind) {
  const char* cases[] = {
      "LWSC\n3\nAddNullObject A\nObjectMotion\n",
      "LWSC\n3\nAddNullObject A\nObjectMotion\nNumChannels 9\nChannel 0\n",
      "LWSC\n3\nAddNullObject A\nObjectMotion\nNumChannels 1\nChannel 0\n{ Envelope\n",
      "LWSC\n3\nAddNullObject A\nObjectMotion\nNumChannels 1\nChannel 0\n{ Envelope\n 2\n Key 0 0 0 0 0 0 0 0 0\n",
      "LWSC\n3\nAddNullObject A\nObjectMotion\nNumChannels 1\nChannel 0\n{ Envelope\n 0\n Behaviors 1 1\n",
      "LWSC\n3\nAddNullObject A\nObjectMotion\nNumChannels 1\nChannel 0\n{ Envelope\n 0\n{ ChannelHandler\n",
      "LWSC\n3\nAddNullObject A\nMorphAmount (envelope)\n{ Envelope\n 0\n{ ChannelHandler\n \"x\"\n 1\n data\n",
      "LWSC\n3\nAddNullObject A\nPlugin DisplacementHandler 1 Twist\n angle\n",
      "LWSC\n3\nAddNullObject A\nBGImage\n{ Clip\n",
      "LWSC\n3\nAddNullObject A\nBGImage\n{ Clip\n { Still\n",
      "LWSC\n3\nAddNullObject A\nBGImage\n{ Clip\n { Sequence\n 1\n 2\n",
      "LWSC\n3\nAddNullObject A\nBGImage\n{ Clip\n { Gamma\n 1\n 2\n{ Envelope\n 0\n}\n",
      "LWSC\n1\nAddNullObject A\nObjectMotion\n 9\n",
      "LWSC\n1\nAddNullObject A\nObjectMotion\n 9\n 2\n 1 2 3 4 5 6 7 8 9\n 0 0 0 0 0\n 1 2 3\n",
      "LWSC\n1\nAddLight\nLgtIntensity (envelope)\n 1\n 3\n 1\n",
  };
  for (const char* text : cases) {
    ScenePtr s = SceneFromText(text);
    EXPECT_EQ(s->error, 7) << text;
    ASSERT_NE(s->items, nullptr) << text;
  }
  // What was read is kept: the first key of a truncated motion.
  ScenePtr s = SceneFromText(cases[13]);
  ASSERT_NE(s->items->motion, nullptr);
  EXPECT_EQ(s->items->motion->keyCount, 1);
}

TEST(LwsHostile, CountsLinesAndCycles) {
  // A version-1 key of twenty values keeps the first nine.
  ScenePtr wide = SceneFromText("LWSC\n1\nAddNullObject A\nObjectMotion\n 20\n 1\n"
                                " 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20\n 0 0 0 0 0\n");
  ASSERT_EQ(wide->error, 0);
  EXPECT_EQ(wide->items->numChannels, 20);
  EXPECT_EQ(wide->items->motion->keys->scale[2], 9);
  // Hostile counts of every counted block.
  const char* counts[] = {
      "LWSC\n3\nAddNullObject A\nObjectMotion\nNumChannels -5\n",
      "LWSC\n3\nAddNullObject A\nObjectMotion\nNumChannels 1000000000\nChannel 0\n{ Envelope\n 0\n}\nLOL\n",
      "LWSC\n1\nAddNullObject A\nObjectMotion\n 9\n -1\n",
      "LWSC\n1\nAddNullObject A\nObjectMotion\n -9\n 1\n",
      "LWSC\n1\nAddNullObject A\nObjectMotion\n 9\n 1000000000\n 1\n 1\n",
      "LWSC\n3\nAddNullObject A\nBGImage\n{ Clip\n { Hue\n 1\n -1\n }\n}\n",
  };
  for (const char* text : counts) {
    ScenePtr s = SceneFromText(text);
    EXPECT_EQ(s->error, 7) << text;
  }
  // A 5,000-character key line.
  ScenePtr longKey = SceneFromText("LWSC\n3\nAddNullObject A\nObjectMotion\nNumChannels 1\nChannel 0\n{ Envelope\n 1\n"
                                   " Key 1 2 3 4 5 6 7 8 " + std::string(5000, '9') + "\n}\nAddNullObject B\n");
  EXPECT_EQ(Items(longKey.get()).size(), 2u);
  // Bones parented to themselves through two objects.
  ScenePtr cycle = SceneFromText("LWSC\n3\nAddNullObject A\nAddBone\nParentItem 40000001\nAddNullObject B\nAddBone\n"
                                 "ParentItem 40000000\n");
  EXPECT_EQ(cycle->error, 0);
}

std::vector<std::string> CorpusScenes() { return FilesUnder(CorpusPath("lws"), ".lws"); }

// One test per corpus scene, so each stays well inside the test timeout.
class TruncatedCorpusScene : public testing::TestWithParam<std::string> {};

TEST_P(TruncatedCorpusScene, EveryPrefixReads) {
  const std::string path = CorpusPath(GetParam());
  std::vector<uint8_t> bytes = ReadFileBytes(path);
  ASSERT_FALSE(bytes.empty()) << path;
  const char* text = reinterpret_cast<const char*>(bytes.data());
  ScenePtr whole(CreateSceneDbFromMemory("whole.lws", text, bytes.size(), 0, nullptr));
  const int wholeItems = whole->numItems;
  for (size_t n = 0; n < bytes.size(); ++n) {
    ScenePtr s(CreateSceneDbFromMemory("prefix.lws", text, n, 0, nullptr));
    ASSERT_TRUE(s);
    ASSERT_TRUE(s->error == 0 || s->error == 7) << path << " cut at " << n << ": " << s->error;
    ASSERT_LE(s->numItems, wholeItems) << path << " cut at " << n;
  }
}

std::vector<std::string> CorpusSceneNames() {
  std::vector<std::string> names;
  const std::string root = CorpusPath("");
  for (const std::string& path : CorpusScenes()) names.push_back(path.substr(root.size()));
  return names;
}

INSTANTIATE_TEST_SUITE_P(Corpus, TruncatedCorpusScene, testing::ValuesIn(CorpusSceneNames()),
                         [](const testing::TestParamInfo<std::string>& info) {
                           std::string name = info.param.substr(info.param.find_last_of('/') + 1);
                           for (char& c : name)
                             if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                           return name;
                         });

TEST(LwsCorpus, EveryCorpusSceneReads) {
  for (const std::string& path : CorpusScenes()) {
    LoadOptions options;
    CopyName(options.contentDirectory, FolderOf(path).c_str());
    ScenePtr s(CreateSceneDb(path.c_str(), SCENE_LOAD_OBJECTS, &options));
    ASSERT_TRUE(s);
    bool version2 = path.find("oldformat_56") != std::string::npos;
    EXPECT_EQ(s->error, version2 ? 7 : 0) << path << ": " << s->errorPath;
    if (version2) {
      EXPECT_EQ(s->items, nullptr);
      continue;
    }
    for (SceneItem* it = s->items; it; it = it->next) {
      const ObjectItemData* d = s->ops.GetObjectData(s.get(), it);
      if (d && !d->isNull) {
        EXPECT_NE(d->objectDb, nullptr) << path << ": " << it->name;
      }
    }
  }
}

TEST(LwsCorpus, QuickDrawItemsAndParents) {
  std::string path = CorpusPath("lws/quickdraw/LWS/QuickDraw v.2.2.lws");
  LoadOptions options;
  CopyName(options.contentDirectory, FolderOf(path).c_str());
  ScenePtr s(CreateSceneDb(path.c_str(), SCENE_LOAD_OBJECTS, &options));
  ASSERT_EQ(s->error, 0) << s->errorPath;
  SceneDb* db = s.get();
  auto& o = db->ops;
  int loaded = 0, nulls = 0, links = 0;
  for (SceneItem* it = db->items; it; it = it->next) {
    if (const ObjectItemData* d = o.GetObjectData(db, it)) (d->isNull ? nulls : loaded) += 1;
    if (o.GetParentItem(db, it)) ++links;
  }
  EXPECT_EQ(loaded, 11);
  EXPECT_EQ(nulls, 9);
  EXPECT_EQ(links, 19);
  EXPECT_EQ(o.CountItems(db, ITEM_LIGHT, nullptr), 1);
  EXPECT_EQ(o.CountItems(db, ITEM_CAMERA, nullptr), 1);
  const std::pair<const char*, const char*> parents[] = {
      {"QuickDraw--Chasis", "Quick Draw == HANDLE == MASTER"},
      {"QuickDraw--Wheels-Back", "QuickDraw--Chasis"},
      {"QuickDraw--Arm-ForeArm", "QuickDraw--Arm-Shoulder"},
      {"QuickDraw--Arm-Tip", "QuickDraw--Arm-ForeArm"},
      {"QuickDraw--GP-Gun", "QuickDraw--GP-Pod"},
      {"Quick Draw -- magnet -- Portals", "QuickDraw--CabinPortals"},
      {"Quick Draw -- magnet -- Arm", "QuickDraw--Arm-Tip"},
      {"Quick Draw == HANDLE == Pod Lid", "Quick Draw == HANDLE == MASTER"},
      {"QuickDraw--Standin-Driver", "QuickDraw--Chasis"},
  };
  for (auto& [child, parent] : parents) {
    SceneItem* c = o.FindItemByName(db, ITEM_OBJECT, nullptr, child);
    ASSERT_NE(c, nullptr) << child;
    SceneItem* p = o.GetParentItem(db, c);
    ASSERT_NE(p, nullptr) << child;
    EXPECT_EQ(p->name, parent) << child;
  }
  SceneItem* master = o.FindItemByName(db, ITEM_OBJECT, nullptr, "Quick Draw == HANDLE == MASTER");
  EXPECT_EQ(o.GetParentItem(db, master), nullptr);
  EXPECT_EQ(o.GetTargetItem(db, master), nullptr);
  SceneItem* magnet = o.FindItemByName(db, ITEM_OBJECT, nullptr, "Quick Draw -- magnet -- Portals");
  EXPECT_EQ(magnet->goal, 16);
  EXPECT_EQ(db->lastFrame, 30);
  CameraData* cam = o.GetCameraData(db, o.FindFirstItem(db, ITEM_CAMERA, nullptr));
  EXPECT_NEAR(cam->verticalFov, 2 * std::atan(1 / 3.2), 1e-12);
  SceneItem* arm = o.FindItemByName(db, ITEM_OBJECT, nullptr, "QuickDraw--Arm-Shoulder");
  EXPECT_NEAR(arm->pLimits[1], 123 * kDeg, 1e-12);
  EXPECT_EQ(arm->hController, 3);
}

TEST(LwsCorpus, MotionOfTheMoveScenes) {
  // Channel 0 of the cube: keys 0 at 0 s, 2.069 at 0.667 s, -2.375 at 1.333 s.
  for (const char* name : {"move_x.lws", "move_x_oldformat_6.lws"}) {
    std::vector<uint8_t> bytes = ReadFileBytes(CorpusPath(std::string("lws/assimp-move/") + name));
    ScenePtr s = SceneFromText(std::string(bytes.begin(), bytes.end()));
    ASSERT_EQ(s->error, 0) << name;
    SceneItem* cube = s->items;
    double p[3];
    ASSERT_EQ(s->ops.EvaluateItemVector(s.get(), cube, VECTOR_POSITION, 2.0 / 3.0, p), 0);
    EXPECT_NEAR(p[0], 2.0691125392913818, 1e-9) << name;
    EXPECT_NEAR(p[1], -0.04, 1e-7) << name;
    ASSERT_EQ(s->ops.EvaluateItemVector(s.get(), cube, VECTOR_POSITION, 5, p), 0);
    EXPECT_NEAR(p[0], -2.3748657703399658, 1e-9) << name;
    ASSERT_EQ(s->ops.EvaluateItemVector(s.get(), cube, VECTOR_SCALE, 0, p), 0);
    EXPECT_NEAR(p[0], 0.97975808382034302, 1e-9) << name;
    SceneItem* light = s->ops.FindFirstItem(s.get(), ITEM_LIGHT, nullptr);
    ASSERT_EQ(s->ops.EvaluateItemVector(s.get(), light, VECTOR_ROTATION, 0, p), 0);
    EXPECT_NEAR(p[0], 0.78539814, 1e-8) << name;
  }
}

TEST(LwsLocale, NumbersReadTheSameUnderADecimalCommaLocale) {
  const char* text = "LWSC\n3\nFramesPerSecond 24.5\nAddLight\nLightIntensity 0.75\nLightConeAngle 12.5\n"
                     "AddNullObject N\nObjectMotion\nNumChannels 1\nChannel 0\n{ Envelope\n 1\n"
                     " Key 1.5e-3 0.25 0 0 0 0 0 0 0\n}\n";
  const char* chosen = nullptr;
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"})
    if (setlocale(LC_ALL, name)) {
      chosen = name;
      break;
    }
  if (!chosen) GTEST_SKIP() << "no decimal-comma locale installed (de_DE.UTF-8 or fr_FR.UTF-8)";
  std::locale::global(std::locale(chosen));
  ASSERT_EQ(localeconv()->decimal_point[0], ',');
  ScenePtr s = SceneFromText(text);
  setlocale(LC_ALL, "C");
  std::locale::global(std::locale::classic());
  ASSERT_EQ(s->error, 0);
  EXPECT_EQ(s->framesPerSecond, 24.5);
  LightData* l = s->ops.GetLightData(s.get(), s->items);
  EXPECT_EQ(l->intensity, 0.75);
  EXPECT_NEAR(l->coneAngle, 12.5 * kDeg, 1e-15);
  Envelope* env = s->ops.FindItemChannel(s.get(), s->items->next, 0);
  ASSERT_NE(env, nullptr);
  EXPECT_EQ(env->firstKey->value, 1.5e-3);
  EXPECT_EQ(env->firstKey->time, 0.25);
}

}  // namespace
