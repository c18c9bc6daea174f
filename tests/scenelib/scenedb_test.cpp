#include "scenedb.h"

#include <gtest/gtest.h>

#include <cmath>

#include "scene_test_util.h"

namespace {

TEST(SceneDb, DefaultsOfEveryRecord) {
  ScenePtr s = SceneFromText("LWSC\n3\nAddNullObject N\nAddLight\nAddCamera\nAddBone\n");
  ASSERT_EQ(s->error, 0);
  SceneDb* db = s.get();
  auto& o = db->ops;
  struct Check {
    const char* what;
    double got, want;
  };
  auto items = Items(db);
  ASSERT_EQ(items.size(), 4u);
  const ObjectItemData* obj = o.GetObjectData(db, items[0]);
  const LightData* light = o.GetLightData(db, items[1]);
  const CameraData* cam = o.GetCameraData(db, items[2]);
  const BoneData* bone = o.GetBoneData(db, items[3]);
  ASSERT_TRUE(obj && light && cam && bone);
  const Check checks[] = {
      {"firstFrame", double(db->firstFrame), 1},
      {"lastFrame", double(db->lastFrame), 60},
      {"previewFrameStep", double(db->previewFrameStep), 1},
      {"framesPerSecond", db->framesPerSecond, 30},
      {"item goalStrength", items[0]->goalStrength, 1},
      {"item pathAlignLookAhead", items[0]->pathAlignLookAhead, 1.0 / 30},
      {"item bStiffness", items[0]->bStiffness, 1},
      {"object isNull", double(obj->isNull), 1},
      {"object morphTarget", double(obj->morphTarget), -1},
      {"light color", light->color[2], 1},
      {"light intensity", light->intensity, 1},
      {"light afterCaustics", double(light->afterCaustics), 1},
      {"light lightType", double(light->lightType), 1},
      {"light coneAngle", light->coneAngle, 30},
      {"light edgeAngle", light->edgeAngle, 5},
      {"light lightQuality", double(light->lightQuality), 4},
      {"light range", light->range, 1},
      {"light affectOpenGL", double(light->affectOpenGL), 1},
      {"light affectCaustics", double(light->affectCaustics), 0},
      {"camera blurLength", cam->blurLength, 0.5},
      {"camera zoomFactor", cam->zoomFactor, 3.2},
      {"camera focalDistance", cam->focalDistance, 1},
      {"camera lensFStop", cam->lensFStop, 4},
      {"camera width", double(cam->width), 640},
      {"camera height", double(cam->height), 480},
      {"camera segmentMemory", double(cam->segmentMemory), 2200000},
      {"camera adaptiveSampling", double(cam->adaptiveSampling), 1},
      {"camera apertureHeight", cam->apertureHeight, 0.15},
      {"camera adaptiveThreshold", cam->adaptiveThreshold, 0.1},
      {"bone falloffType", double(bone->falloffType), 3},
      {"bone active", double(bone->active), 1},
      {"bone restLength", bone->restLength, 1},
      {"bone strength", bone->strength, 1},
      {"bone muscleFlexParent", bone->muscleFlexParent, 1},
      {"fog maxDist", db->fog->maxDist, 1},
      {"backdrop solidBackdrop", double(db->backdrop->solidBackdrop), 1},
      {"backdrop skyColor", db->backdrop->skyColor[1], 0.7059f},
      {"backdrop nadirColor", db->backdrop->nadirColor[2], 0.2353f},
      {"processing ditherIntensity", double(db->processing->ditherIntensity), 1},
      {"processing glowRadius", db->processing->glowRadius, 8},
      {"illuminate ambientIntensity", db->illuminate->ambientIntensity, 0.25},
      {"illuminate radiosityTolerance", db->illuminate->radiosityTolerance, 0.3},
      {"illuminate radiosityRays", double(db->illuminate->radiosityRays), 192},
      {"illuminate causticAccuracy", double(db->illuminate->causticAccuracy), 100},
      {"illuminate causticSoftness", double(db->illuminate->causticSoftness), 20},
  };
  for (const Check& c : checks) EXPECT_DOUBLE_EQ(c.got, c.want) << c.what;
  EXPECT_STREQ(o.GetLibraryVersion(db), "1.0b22");
}

// Objects A (bones A0, A1), B, C (bones C0, C1), a light and a camera.
const char* kCodes =
    "LWSC\n3\nAddNullObject A\nAddBone\nBoneName A0\nAddBone\nBoneName A1\nAddNullObject B\n"
    "AddNullObject C\nAddBone\nBoneName C0\nAddBone\nBoneName C1\nAddLight\nAddCamera\n";

TEST(ItemCodes, RoundTripAndExamples) {
  ScenePtr s = SceneFromText(kCodes);
  ASSERT_EQ(s->error, 0);
  SceneDb* db = s.get();
  auto& o = db->ops;
  auto items = Items(db);
  ASSERT_EQ(items.size(), 9u);
  EXPECT_EQ(o.MakeItemCode(db, items[6]), 0x40010002);  // second bone of the third object
  EXPECT_EQ(o.MakeItemCode(db, items[4]), 0x10000002);
  EXPECT_EQ(o.MakeItemCode(db, items[2]), 0x40010000);
  EXPECT_EQ(o.MakeItemCode(db, items[7]), 0x20000000);
  EXPECT_EQ(o.MakeItemCode(db, items[8]), 0x30000000);
  for (SceneItem* it : items) {
    ItemCode c = o.MakeItemCode(db, it);
    EXPECT_EQ(o.ItemFromCode(db, CodeType(c), CodeIndex(c), CodeBone(c)), it) << it->name;
  }
  EXPECT_EQ(o.ItemFromCode(db, ITEM_BONE, 0, 2), nullptr);  // past the run
  EXPECT_EQ(o.ItemFromCode(db, ITEM_BONE, 1, 0), nullptr);  // B has no bones
  for (int type : {0, 5, 15}) EXPECT_EQ(o.ItemFromCode(db, type, 0, 0), nullptr) << type;
  EXPECT_EQ(o.ItemFromCode(db, ITEM_OBJECT, 3, 0), nullptr);
  SceneItem foreign;
  EXPECT_EQ(o.MakeItemCode(db, &foreign), 0);
  EXPECT_EQ(o.MakeItemCode(db, nullptr), 0);

  EXPECT_EQ(o.BoneOwner(db, items[6]), items[4]);
  EXPECT_EQ(o.FindFirstItem(db, ITEM_BONE, items[4]), items[5]);
  EXPECT_EQ(o.FindFirstItem(db, ITEM_BONE, items[3]), nullptr);
  EXPECT_EQ(o.NextItemOfType(db, items[6]), nullptr);  // the run ends at the light
  EXPECT_EQ(o.NextItemOfType(db, items[3]), items[4]);
  EXPECT_EQ(o.FindNthItem(db, nullptr, 3, ITEM_OBJECT), items[4]);
  EXPECT_EQ(o.FindNthItem(db, items[3], 2, ITEM_OBJECT), items[4]);
  EXPECT_EQ(o.FindNthItem(db, nullptr, 0, ITEM_OBJECT), nullptr);
  EXPECT_EQ(o.CountItems(db, ITEM_BONE, nullptr), 4);
  EXPECT_EQ(o.CountItems(db, ITEM_BONE, items[3]), 2);
  EXPECT_EQ(o.FindLastItemBefore(db, items[4]->id, ITEM_BONE), items[2]);
  EXPECT_EQ(o.FindLastItemBefore(db, items[5]->id, ITEM_BONE), items[5]);
  EXPECT_EQ(o.FindItemById(db, items[7]->id), items[7]);
  EXPECT_EQ(o.FindItemById(db, 0), nullptr);
  EXPECT_EQ(o.FindItemById(db, 10), nullptr);
}

TEST(ItemCodes, OrphanBonesAndParents) {
  ScenePtr s = SceneFromText("LWSC\n3\nAddBone\nBoneName Orphan\nParentItem 10000000\nAddNullObject A\n"
                             "ParentItem f0000000\nAddLight\nParentItem 40000000\n");
  ASSERT_EQ(s->error, 0);
  auto items = Items(s.get());
  auto& o = s->ops;
  EXPECT_EQ(o.MakeItemCode(s.get(), items[0]), 0);
  EXPECT_EQ(o.BoneOwner(s.get(), items[0]), nullptr);
  EXPECT_EQ(o.GetParentItem(s.get(), items[0]), items[1]);
  EXPECT_EQ(o.GetParentItem(s.get(), items[1]), nullptr);  // unknown type nibble
  EXPECT_EQ(o.GetParentItem(s.get(), items[2]), nullptr);  // A has no bones
  EXPECT_EQ(o.SetParentItem(s.get(), items[2], items[1]), 0);
  EXPECT_EQ(o.GetParentItem(s.get(), items[2]), items[1]);
  EXPECT_EQ(o.SetParentItem(s.get(), items[2], nullptr), ERR_PARAM);
}

TEST(ItemNames, DisplayNamesNumberSharedNames) {
  const std::string longName(255, 'n');
  ScenePtr s = SceneFromText("LWSC\n3\nAddLight\nLightName Light\nAddLight\nLightName Light\nAddLight\nLightName Key\n"
                             "AddNullObject A\nAddBone\nBoneName B\nAddNullObject C\nAddBone\nBoneName B\nAddBone\n"
                             "BoneName B\nAddNullObject " + longName + "\nAddNullObject " + longName + "\n");
  ASSERT_EQ(s->error, 0);
  SceneDb* db = s.get();
  auto& o = db->ops;
  auto items = Items(db);
  EXPECT_STREQ(o.ItemDisplayName(db, items[0]), "Light (1)");
  EXPECT_STREQ(o.ItemDisplayName(db, items[1]), "Light (2)");
  EXPECT_STREQ(o.ItemDisplayName(db, items[2]), "Key");
  EXPECT_STREQ(o.ItemDisplayName(db, items[4]), "B");  // bones count per object
  EXPECT_STREQ(o.ItemDisplayName(db, items[7]), "B (2)");
  EXPECT_EQ(std::string(o.ItemDisplayName(db, items[9])), longName + " (2)");
  // The shared buffer itself as the name looked for.
  EXPECT_EQ(o.FindItemByName(db, ITEM_LIGHT, nullptr, o.ItemDisplayName(db, items[1])), items[1]);
  EXPECT_EQ(o.FindItemByName(db, ITEM_BONE, items[5], "B (2)"), items[7]);
  EXPECT_EQ(o.FindItemByName(db, ITEM_LIGHT, nullptr, "Light"), nullptr);
}

TEST(SceneText, SplitTokens) {
  ScenePtr s = SceneFromText("LWSC\n3\n");
  struct Case {
    const char* line;
    int k, count;
    std::vector<std::string> out;
  };
  const Case cases[] = {
      {"Key 1 2", 2, 2, {"Key", "1 2"}},
      {"  \tKey\t 1  2  ", 2, 2, {"Key", "1  2  "}},
      {"Key 1 2", 5, 3, {"Key", "1", "2", "", ""}},
      {"Key", 2, 1, {"Key", ""}},
      {"   ", 2, 0, {"", ""}},
      {"a b", 1, 1, {"a"}},
      {"a b", 0, 0, {}},
  };
  std::vector<std::string> out;
  for (const Case& c : cases) {
    EXPECT_EQ(s->ops.SplitTokens(s.get(), c.line, c.k, &out), c.count) << c.line;
    EXPECT_EQ(out, c.out) << c.line;
  }
}

TEST(SceneText, LineEndsBlankLinesAndLongLines) {
  const std::string longLine = "AddNullObject " + std::string(5000, 'x');
  ScenePtr s = SceneFromText("LWSC\r\n3\r\r\n\n  \t\nAddNullObject A\rAddNullObject B\n" + longLine +
                             "\nAddNullObject C\r\n\tAddNullObject D\n");
  ASSERT_EQ(s->error, 0);
  auto items = Items(s.get());
  ASSERT_EQ(items.size(), 5u);
  EXPECT_EQ(items[0]->name, "A");
  EXPECT_EQ(items[1]->name, "B");
  EXPECT_EQ(items[2]->name.size(), 1023u - 14u);  // cut to the line buffer
  EXPECT_EQ(items[3]->name, "C");
  EXPECT_EQ(items[4]->name, "D");
  std::vector<char> data;
  EXPECT_EQ(s->ops.AppendText(s.get(), &data, "ab"), 3);
  EXPECT_EQ(s->ops.AppendText(s.get(), &data, "c"), 5);
  EXPECT_EQ(std::string(data.begin(), data.end()), std::string("ab\0c\0", 5));
}

TEST(SceneDb, EmptySceneHasNoItems) {
  ScenePtr s = SceneFromText("LWSC\n3\n");
  ASSERT_EQ(s->error, 0);
  EXPECT_EQ(s->items, nullptr);
  for (int type = 1; type <= 4; ++type) {
    EXPECT_EQ(s->ops.CountItems(s.get(), type, nullptr), 0);
    EXPECT_EQ(s->ops.FindFirstItem(s.get(), type, nullptr), nullptr);
  }
  EXPECT_NE(s->ops.GetFog(s.get()), nullptr);
  EXPECT_NE(s->ops.GetIlluminate(s.get()), nullptr);
}

TEST(SceneDb, CameraFieldOfView) {
  ScenePtr s = SceneFromText("LWSC\n3\nAddCamera\nZoomFactor 3.2\nAddCamera\nFrameSize 640 0\nZoomFactor 0\n");
  ASSERT_EQ(s->error, 0);
  auto items = Items(s.get());
  CameraData* cam = s->ops.GetCameraData(s.get(), items[0]);
  EXPECT_NEAR(cam->horizontalFov, 2 * std::atan((640.0 / 480.0) / 3.2), 1e-12);
  EXPECT_NEAR(cam->verticalFov, 2 * std::atan(1 / 3.2), 1e-12);
  CameraData* flat = s->ops.GetCameraData(s.get(), items[1]);
  EXPECT_EQ(flat->horizontalFov, 0);
  EXPECT_EQ(flat->verticalFov, 0);
}

TEST(SceneDb, PluginListsByClass) {
  ScenePtr s = SceneFromText("LWSC\n3\nAddNullObject N\n");
  SceneDb* db = s.get();
  auto& o = db->ops;
  SceneItem* item = db->items;
  ObjectItemData* data = o.GetObjectData(db, item);
  Envelope env;
  struct Case {
    int cls;
    void* owner;
    PluginBlock** list;
  };
  const Case cases[] = {
      {PLUGIN_ITEM_MOTION, item, &item->motionPlugins},
      {PLUGIN_DISPLACEMENT, data, &data->plugins},
      {PLUGIN_CHANNEL, &env, &env.channelPlugins},
      {PLUGIN_VOLUMETRIC, nullptr, &db->fog->volumetricPlugins},
      {PLUGIN_ENVIRONMENT, nullptr, &db->backdrop->environmentPlugins},
      {PLUGIN_PIXEL_FILTER, nullptr, &db->processing->pixelFilters},
      {PLUGIN_IMAGE_FILTER, nullptr, &db->processing->imageFilters},
      {PLUGIN_CUSTOM_OBJECT, data, &data->plugins},
      {PLUGIN_OBJ_REPLACEMENT, data, &data->plugins},
      {PLUGIN_MASTER, nullptr, &db->masterPlugins},
  };
  for (const Case& c : cases) {
    PluginBlock* b = o.AddPlugin(db, c.owner, c.cls, 7, "server");
    PluginBlock* last = nullptr;
    for (PluginBlock* p = o.NextPlugin(db, *c.list, nullptr); p; p = o.NextPlugin(db, *c.list, p)) last = p;
    EXPECT_EQ(last, b) << c.cls;
  }
  const int objectClasses[] = {PLUGIN_DISPLACEMENT, PLUGIN_CUSTOM_OBJECT, PLUGIN_OBJ_REPLACEMENT};
  int count = 0;
  for (PluginBlock* p = data->plugins; p && count < 3; p = p->next) EXPECT_EQ(p->pluginClass, objectClasses[count++]);
  EXPECT_EQ(count, 3);
  PluginBlock* loose = o.AddPlugin(db, nullptr, 11, 1, "x");
  EXPECT_EQ(loose->next, nullptr);
  EXPECT_EQ(o.AddPlugin(db, nullptr, PLUGIN_ITEM_MOTION, 1, "y")->pluginClass, PLUGIN_ITEM_MOTION);
  EXPECT_EQ(item->motionPlugins->next, nullptr);
}

TEST(SceneDb, ExcludedLights) {
  ScenePtr s = SceneFromText("LWSC\n3\nAddLight\nAddLight\nAddNullObject N\nExcludeLight 20000001\n");
  ASSERT_EQ(s->error, 0);
  auto items = Items(s.get());
  auto& o = s->ops;
  EXPECT_EQ(o.LightAffectsObject(s.get(), items[2], items[0]), 1);
  EXPECT_EQ(o.LightAffectsObject(s.get(), items[2], items[1]), 0);
  EXPECT_EQ(o.IsLightExcluded(s.get(), items[2], 0x20000001), 1);
  EXPECT_EQ(o.AddExcludedLight(s.get(), items[0], 0x20000000), ERR_PARAM);
}

}  // namespace
